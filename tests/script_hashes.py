#!/usr/bin/env python3
"""The script file of every table of every corpus database, byte for byte.

For each database of ../shared/corpus (*.mdb) and ../shared/corpus-ace
(*.accdb), `vantrel script DB --table T -o FILE` is run for every table
`vantrel tables` lists, and once for the whole database. What each run leaves
is kept as its SHA-256 (or "absent" when no file is left), with the exit
status and the standard error text (the line count, the failure message),
the temporary folder's name taken out. tests/script_hashes.json holds what
the writer produced when it still opened and closed the file for every line;
any change to the bytes, to what a failing run leaves behind, or to the line
counts shows up here as a difference.

The runs use the plain C locale, where the script is UTF-8.

usage: script_hashes.py --vantrel PATH --shared DIR [--write]
--write records the current results instead of comparing them.
Exit 77 (skipped) when the shared folder has no corpus.
"""
import argparse
import glob
import hashlib
import json
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
EXPECTED = os.path.join(HERE, "script_hashes.json")


def run(cmd, tmp):
    env = dict(os.environ, LC_ALL="C")
    r = subprocess.run(cmd, capture_output=True, env=env)
    return r.returncode, r.stdout.decode("utf-8", "replace"), r.stderr.decode("utf-8", "replace").replace(tmp, "TMP")


def script_result(vantrel, db, tables, tmp):
    out = os.path.join(tmp, "s.tdb")
    cmd = [vantrel, "script", db, "-o", out] + [x for t in tables for x in ("--table", t)]
    code, _, err = run(cmd, tmp)
    result = {"exit": code, "stderr": err}
    if os.path.exists(out):
        with open(out, "rb") as f:
            result["sha256"] = hashlib.sha256(f.read()).hexdigest()
        os.remove(out)
    else:
        result["sha256"] = "absent"
    return result


def collect(vantrel, shared):
    files = sorted(glob.glob(os.path.join(shared, "corpus", "*.mdb")) +
                   glob.glob(os.path.join(shared, "corpus-ace", "*.accdb")))
    results = {}
    with tempfile.TemporaryDirectory() as tmp:
        for path in files:
            name = os.path.basename(path)
            code, out, err = run([vantrel, "tables", path], tmp)
            if code != 0:
                results[name] = {"exit": code, "stderr": err, "sha256": "absent"}
                continue
            results[name] = script_result(vantrel, path, [], tmp)
            for table in out.splitlines():
                    results[f"{name}/{table}"] = script_result(vantrel, path, [table], tmp)
    return files, results


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    ap.add_argument("--shared", required=True)
    ap.add_argument("--write", action="store_true")
    a = ap.parse_args()
    files, results = collect(a.vantrel, a.shared)
    if not files:
        print(f"skipped: {a.shared} has no corpus")
        return 77
    if a.write:
        with open(EXPECTED, "w", encoding="utf-8") as f:
            json.dump(results, f, indent=1, sort_keys=True, ensure_ascii=False)
            f.write("\n")
        print(f"recorded {len(results)} script runs in {EXPECTED}")
        return 0
    with open(EXPECTED, encoding="utf-8") as f:
        expected = json.load(f)
    failures = 0
    for key in sorted(set(expected) | set(results)):
        want, got = expected.get(key), results.get(key)
        if want != got:
            failures += 1
            print(f"FAIL {key}:\n  expected {want}\n  got      {got}")
    print(f"{len(results) - failures} of {len(set(expected) | set(results))} script runs as recorded")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
