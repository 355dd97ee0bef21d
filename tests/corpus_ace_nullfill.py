#!/usr/bin/env python3
"""The null-fill on every ACE (.accdb) file of the shared corpus, on copies.

For each file with NAME.expected.json (the encrypted ones must be refused):
  - `vantrel convert` succeeds; each message names a real column of a user
    table once, and every column of a kind the engine does not write
    (attachment, multi-value, extended date: type 101 in the dump) is among
    them; the script file holds only the end marker;
  - every value that was Null in a column whose statement ran is now '' or 0
    (or still Null where the pass reports rows left Null), every other value
    equals the expected dump;
  - `vantrel check` reports no problem;
  - mdb-reader (npm) reads exactly our dump of the converted copy, and
    mdbtools reads every table with the same rows and the same Nulls.

usage: corpus_ace_nullfill.py --vantrel PATH [--shared DIR] [--node-modules DIR]
Before that, `vantrel check` of the untouched file reports no problem, and
leaves unverified only text it cannot place in its sort order.
Exit 77 (skipped) when the shared folder is absent.
"""
import argparse
import json
import os
import re
import shutil
import stat
import subprocess
import sys
import tempfile
from collections import Counter

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import corpus_nullfill as cn  # noqa: E402  (the mdbtools reading and the checker loader)

MESSAGE = re.compile(r"^(.*)表單的 (.*)欄位  錯誤略過$")
TEXT_TYPES = (10, 12)
DATE = 8
UNWRITTEN = 101


def filled(cc, type_code, v):
    if type_code in TEXT_TYPES:
        return v == ""
    if type_code == DATE:
        return isinstance(v, str) and v.startswith("1899-12-30 00:00:00")
    try:
        return cc.canonical(type_code, v) == cc.canonical(type_code, 0)
    except Exception:
        return False


def matches(cc, types, before, now, converted, may_stay_null):
    for ty, v0, v1, conv in zip(types, before, now, converted):
        if v0 is None and conv:
            if not (filled(cc, ty, v1) or (v1 is None and may_stay_null)):
                return False
        elif cc.canonical(ty, v0) != cc.canonical(ty, v1):
            return False
    return True


def check_values(cc, original, actual, failed, left_null_tables):
    """Problems of the data after the pass against the dump before it. Rows
    are matched by content: a row that grew may have moved."""
    after = {t["name"]: t for t in actual["tables"]}
    for t in original["tables"]:
        a = after.get(t["name"])
        if a is None:
            return f"table {t['name']} is gone"
        if len(a["rows"]) != len(t["rows"]):
            return f"table {t['name']}: {len(a['rows'])} rows after the pass, {len(t['rows'])} before"
        types = [c["type"] for c in t["columns"]]
        converted = [ty != UNWRITTEN and (t["name"], c["name"]) not in failed for ty, c in zip(types, t["columns"])]
        unused = list(range(len(a["rows"])))
        for r, before in enumerate(t["rows"]):
            hit = next((i for i in unused if matches(cc, types, before, a["rows"][i], converted, t["name"] in left_null_tables)), None)
            if hit is None:
                return f"{t['name']}: no row after the pass is row {r} {before!r} with its Nulls filled"
            unused.remove(hit)
    return None


# Columns mdbtools 1.0 reads otherwise: it shows the id of an attachment or
# multi-value column, and cannot read a Large Number (BigInt) column.
NOT_COMPARED_WITH_MDBTOOLS = (UNWRITTEN, 16)


def shapes_agree(db, table):
    keep = [i for i, c in enumerate(table["columns"]) if c["type"] not in NOT_COMPARED_WITH_MDBTOOLS]
    theirs = cn.mdbtools_shape(db, table["name"])
    def project(shapes):
        out = Counter()
        for shape, n in shapes.items():
            out[tuple(shape[i] for i in keep)] += n
        return out
    # mdbtools shows a zero-length text or binary value the way it shows Null.
    ours = Counter(tuple(v is None or v == "" or (isinstance(v, dict) and v.get("len") == 0) for v in row) for row in table["rows"])
    return project(theirs) == project(ours)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    ap.add_argument("--shared", default=os.path.join(HERE, "..", "..", "shared"))
    ap.add_argument("--node-modules", default=os.path.join(HERE, "..", "node_modules"))
    a = ap.parse_args()
    corpus = os.path.join(a.shared, "corpus-ace")
    if not os.path.isdir(corpus):
        print(f"skipped: {corpus} is absent (the shared folder is not beside the project)")
        return 77
    cc = cn.load_checker(a.shared)
    reader = os.path.join(a.shared, "tools", "mdb-reader-dump.mjs")
    env = dict(os.environ, ORACLE_NODE_MODULES=os.path.abspath(a.node_modules))
    passed = failed_files = 0
    for name in sorted(os.listdir(corpus)):
        root, ext = os.path.splitext(name)
        if ext != ".accdb" or not os.path.exists(os.path.join(corpus, root + ".expected.json")):
            continue
        original = json.load(open(os.path.join(corpus, root + ".expected.json"), encoding="utf-8"))
        problem = None
        with tempfile.TemporaryDirectory() as tmp:
            db = os.path.join(tmp, name)
            shutil.copyfile(os.path.join(corpus, name), db)
            os.chmod(db, os.stat(db).st_mode | stat.S_IWUSR)
            before = open(db, "rb").read()
            if not name.startswith("wrongpw-"):
                # The untouched file first: no problem, and what cannot be judged is said.
                chk = cn.run([a.vantrel, "check", db])
                out = chk.stdout.decode("utf-8", errors="replace")
                if chk.returncode != 0 or not re.search(r"\b0 problems\b", out):
                    problem = "index check of the untouched file: " + out.strip()[-300:]
                elif any(" not verified: " in l and "cannot place" not in l for l in out.splitlines()):
                    problem = "an index the engine should verify is left unverified: " + out.strip()[-300:]
            conv = cn.run([a.vantrel, "convert", db])
            if problem is not None:
                pass
            elif name.startswith("wrongpw-"):
                # Encrypted with another password: refused, the file as it was.
                if conv.returncode == 0 or b"3031" not in conv.stderr or open(db, "rb").read() != before:
                    problem = "an encrypted file was not refused with 3031 and left unchanged"
            elif conv.returncode != 0:
                problem = "convert failed: " + conv.stderr.decode(errors="replace").strip()[-300:]
            else:
                columns = {(t["name"], c["name"]) for t in original["tables"] for c in t["columns"]}
                failed = []
                for line in conv.stdout.decode("utf-8").splitlines():
                    m = MESSAGE.match(line)
                    if not m or (m.group(1), m.group(2)) not in columns:
                        problem = f"message names no column of a user table: {line!r}"
                        break
                    failed.append((m.group(1), m.group(2)))
                unwritten = {(t["name"], c["name"]) for t in original["tables"] for c in t["columns"] if c["type"] == UNWRITTEN}
                if problem is None and len(set(failed)) != len(failed):
                    problem = "a column is reported twice"
                elif problem is None and not unwritten <= set(failed):
                    problem = f"columns the engine does not write were not refused: {sorted(unwritten - set(failed))}"
                elif problem is None and open(db[:-3] + "tdb", "rb").read() != b"End Of File\r\n":
                    problem = "script file is not just the end marker"
                if problem is None:
                    left = {l.split(":")[0] for l in conv.stderr.decode("utf-8").splitlines() if "left Null" in l}
                    actual = json.loads(cn.run([a.vantrel, "dump", db]).stdout)
                    problem = check_values(cc, original, actual, set(failed), left)
                if problem is None:
                    chk = cn.run([a.vantrel, "check", db])
                    if chk.returncode != 0:
                        problem = "index check: " + chk.stdout.decode(errors="replace").strip()[-300:]
                if problem is None:
                    other = cn.run(["node", reader, db], env=env)
                    if other.returncode != 0:
                        problem = "mdb-reader cannot read the converted file: " + other.stderr.decode(errors="replace")[-300:]
                    else:
                        diffs = cc.compare(json.loads(other.stdout), actual)
                        if diffs:
                            problem = "mdb-reader disagrees: " + "; ".join(diffs[:3])
                if problem is None:
                    for t in actual["tables"]:
                        try:
                            agree = shapes_agree(db, t)
                        except RuntimeError as e:
                            problem = f"mdbtools cannot read {t['name']}: {e}"
                            break
                        if not agree:
                            problem = f"mdbtools sees other rows or Nulls in {t['name']}"
                            break
        if problem:
            failed_files += 1
            print(f"FAIL {name}: {problem}")
        else:
            passed += 1
            print(f"ok   {name}")
        sys.stdout.flush()
    print(f"{passed} passed, {failed_files} failed")
    return 1 if failed_files or not passed else 0


if __name__ == "__main__":
    sys.exit(main())
