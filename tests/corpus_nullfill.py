#!/usr/bin/env python3
"""The null-fill on every real database, checked from every side we have.

The messages and the data after the pass are compared with the references by
the shared nullfill-check (its own test). Here, for each corpus database with
NAME.messages.txt, on a converted copy:
  - `vantrel check` finds every index consistent with the rows, before the
    pass (the untouched file) and after it;
  - the data after the pass equals NAME.filled.json row for row, where it exists;
  - mdb-reader (npm) reads the converted file and gives exactly our dump,
    telling '' from Null;
  - mdbtools reads every table with the same number of rows and the same
    Nulls in the same places. mdbtools 1.0 prints a zero-length text exactly
    as it prints Null (in CSV, INSERT and JSON output alike), so from it we
    can ask only "Null or ''", and mdb-reader answers which.

usage: corpus_nullfill.py --vantrel PATH [--shared DIR]
Exit 77 (skipped) when the shared folder is absent.
"""
import argparse
import csv
import importlib.machinery
import importlib.util
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
from collections import Counter

HERE = os.path.dirname(os.path.abspath(__file__))


def load_checker(shared):
    path = os.path.join(shared, "tools", "corpus-check")
    loader = importlib.machinery.SourceFileLoader("corpus_check", path)
    module = importlib.util.module_from_spec(importlib.util.spec_from_loader("corpus_check", loader))
    loader.exec_module(module)
    return module


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, **kw)


NULL_MARK = "@VANTREL-NULL@"


def split_record(line):
    """Fields of one mdb-export line: (text, was quoted)."""
    fields, i = [], 0
    while True:
        if i < len(line) and line[i] == '"':
            j, text = i + 1, []
            while j < len(line):
                if line[j] == '"':
                    if j + 1 < len(line) and line[j + 1] == '"':
                        text.append('"')
                        j += 2
                        continue
                    break
                text.append(line[j])
                j += 1
            fields.append(("".join(text), True))
            i = j + 1
        else:
            j = line.find(",", i)
            j = len(line) if j < 0 else j
            fields.append((line[i:j], False))
            i = j
        if i >= len(line):
            return fields
        i += 1  # the comma


def mdbtools_shape(db, table):
    """Rows as tuples of 'empty' flags, from mdb-export (one record a line)."""
    out = run(["mdb-export", "-e", "-b", "strip", "-0", NULL_MARK, db, table])
    if out.returncode != 0:
        raise RuntimeError(out.stderr.decode(errors="replace"))
    lines = out.stdout.decode("utf-8", errors="replace").split("\n")
    shapes = Counter()
    for line in lines[1:]:  # the first line names the columns
        if line == "":
            continue
        shapes[tuple(text == NULL_MARK and not quoted for text, quoted in split_record(line))] += 1
    return shapes


def our_shape(table):
    return Counter(tuple(v is None or v == "" for v in row) for row in table["rows"])


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    ap.add_argument("--shared", default=os.path.join(HERE, "..", "..", "shared"))
    ap.add_argument("--node-modules", default=os.path.join(HERE, "..", "node_modules"))
    a = ap.parse_args()
    corpus = os.path.join(a.shared, "corpus")
    if not os.path.isdir(corpus):
        print(f"skipped: {corpus} is absent (the shared folder is not beside the project)")
        return 77
    cc = load_checker(a.shared)
    reader = os.path.join(a.shared, "tools", "mdb-reader-dump.mjs")
    env = dict(os.environ, ORACLE_NODE_MODULES=os.path.abspath(a.node_modules))
    passed = failed = 0
    for name in sorted(os.listdir(corpus)):
        root, ext = os.path.splitext(name)
        if ext != ".mdb" or not os.path.exists(os.path.join(corpus, root + ".messages.txt")):
            continue
        problem = None
        with tempfile.TemporaryDirectory() as tmp:
            db = os.path.join(tmp, name)
            shutil.copyfile(os.path.join(corpus, name), db)
            conv = run([a.vantrel, "convert", db])
            want = open(os.path.join(corpus, root + ".messages.txt"), encoding="utf-8").read().splitlines()
            if conv.returncode != 0:
                problem = "convert failed: " + conv.stderr.decode(errors="replace").strip()[-300:]
            elif conv.stdout.decode("utf-8").splitlines() != want:
                problem = f"messages differ: {conv.stdout.decode('utf-8').splitlines()[:3]} vs {want[:3]}"
            elif open(db[:-3] + "tdb", "rb").read() != b"End Of File\r\n":
                problem = "script file is not just the end marker"
            if problem is None:
                dump = run([a.vantrel, "dump", db])
                actual = json.loads(dump.stdout)
                filled = os.path.join(corpus, root + ".filled.json")
                if os.path.exists(filled):
                    diffs = cc.compare(json.load(open(filled, encoding="utf-8")), actual)
                    if diffs:
                        problem = "after the pass: " + "; ".join(diffs[:3])
            if problem is None:
                chk = run([a.vantrel, "check", os.path.join(corpus, name)])
                if chk.returncode != 0:
                    problem = "index check of the untouched file: " + chk.stdout.decode(errors="replace").strip()[-300:]
            if problem is None:
                chk = run([a.vantrel, "check", db])
                if chk.returncode != 0:
                    problem = "index check: " + chk.stdout.decode(errors="replace").strip()[-300:]
            if problem is None:
                other = run(["node", reader, "--password", "bluefinchtea", db], env=env)
                if other.returncode != 0:
                    problem = "mdb-reader cannot read the converted file: " + other.stderr.decode(errors="replace")[-300:]
                else:
                    diffs = cc.compare(json.loads(other.stdout), actual)
                    if diffs:
                        problem = "mdb-reader disagrees: " + "; ".join(diffs[:3])
            if problem is None:
                for t in actual["tables"]:
                    try:
                        theirs = mdbtools_shape(db, t["name"])
                    except RuntimeError as e:
                        problem = f"mdbtools cannot read {t['name']}: {e}"
                        break
                    if theirs != our_shape(t):
                        problem = f"mdbtools sees other rows or Nulls in {t['name']}"
                        break
        if problem:
            failed += 1
            print(f"FAIL {name}: {problem}")
        else:
            passed += 1
            print(f"ok   {name}")
        sys.stdout.flush()
    print(f"{passed} passed, {failed} failed")
    return 1 if failed or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
