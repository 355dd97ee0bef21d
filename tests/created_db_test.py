#!/usr/bin/env python3
"""Databases made by `vantrel create`, read back by independent readers.

1. A generated database (bench/make_db.py's rows, then deletes, long memos and
   text beyond ASCII): mdb-reader (npm) and mdbtools must read exactly the rows
   the statements leave, our dump the same, and `vantrel check` must find every
   index consistent.
2. The demo database (`vantrel demo`): the same readers agree with our dump.
3. With the shared corpus: every database rebuilt from `vantrel sql` through
   `vantrel create` dumps as the original (ours and mdb-reader's reading of the
   copy), passes the index check, and the null-fill gives the same messages and
   data on the copy as on the original (the copy carries the columns'
   AllowZeroLength, Required, validation rules and defaults).

usage: created_db_test.py --vantrel PATH [--shared DIR]
"""
import argparse
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
from decimal import Decimal

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "bench"))
import make_db  # noqa: E402
from corpus_nullfill import load_checker  # noqa: E402

PASSWORD = "bluefinchtea"
failures = []


def fail(what):
    failures.append(what)
    print("FAIL:", what)


def run(cmd, **kw):
    return subprocess.run(cmd, capture_output=True, **kw)


def must(cmd, **kw):
    r = run(cmd, **kw)
    if r.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd)}: {r.stderr.decode(errors='replace')[-500:]}")
    return r.stdout


def mdb_reader(db, password=None):
    cmd = ["node", os.path.join(HERE, "mdb_reader_rows.mjs"), db] + ([password] if password else [])
    return json.loads(must(cmd))


def mdbtools(db, table):
    out = must(["mdb-export", "-D", "%Y-%m-%d %H:%M:%S", db, table]).decode("utf-8")
    rows = list(csv.reader(io.StringIO(out)))
    return rows[0], rows[1:]


def norm(v):
    """One form for a value from any reader."""
    if v is None or v == "":
        return v
    if isinstance(v, bool):
        return "1" if v else "0"
    if isinstance(v, str) and len(v) == 24 and v[10] == "T" and v.endswith(".000Z"):
        return v[:10] + " " + v[11:19]  # mdb-reader's dates
    try:
        return str(Decimal(str(v)).normalize())
    except Exception:
        return str(v)


def generated_case(vantrel, tmp):
    n = 3000
    sql = os.path.join(tmp, "gen.sql")
    make_db.write_scripts(n, 7, sql)
    model = []
    for i, r in enumerate(make_db.rows(n, 7), 1):
        code, customer, city, qty, price, disc, when, shipped, note = r
        date = None if when is None else "%04d-%02d-%02d %02d:%02d:00" % when
        model.append([i, code, customer, city, qty, price, disc, date, shipped, note])
    long1 = "Lange Notiz – " + "x" * 5000
    long2 = "".join(chr(0x4E00 + k % 500) for k in range(12000))  # a chain of long-value rows
    with open(sql, "a", encoding="utf-8") as f:
        f.write("DELETE FROM OrderLines WHERE Quantity < 50;\n")
        f.write("DELETE FROM OrderLines WHERE City = 'Oslo' AND Shipped = True;\n")
        f.write(f"INSERT INTO OrderLines (Code, Customer, Note) VALUES ('LONG1', 'Émile Zoë', '{long1}');\n")
        f.write(f"INSERT INTO OrderLines (Code, Note) VALUES ('LONG2', '{long2}');\n")
    model = [r for r in model if not (r[4] is not None and r[4] < 50)]
    model = [r for r in model if not (r[3] == "Oslo" and r[8])]
    model.append([n + 1, "LONG1", "Émile Zoë", None, None, None, None, None, False, long1])
    model.append([n + 2, "LONG2", None, None, None, None, None, None, False, long2])
    db = os.path.join(tmp, "gen.mdb")
    must([vantrel, "create", db, "-f", sql])
    want = sorted(json.dumps([norm(v) for v in r], ensure_ascii=False) for r in model)

    ours = json.loads(must([vantrel, "dump", db]))["tables"][0]["rows"]
    if sorted(json.dumps([norm(v) for v in r], ensure_ascii=False) for r in ours) != want:
        fail("generated: our dump differs from the rows the statements leave")
    mr = mdb_reader(db)["OrderLines"]["rows"]
    if sorted(json.dumps([norm(v) for v in r], ensure_ascii=False) for r in mr) != want:
        fail("generated: mdb-reader does not read the rows the statements leave")
    head, rows = mdbtools(db, "OrderLines")
    # mdbtools: every text and number column as inserted (it prints Null as nothing).
    cols = ["LineID", "Code", "Customer", "City", "Quantity", "Note"]
    idx = [head.index(c) for c in cols]
    got = sorted(json.dumps([norm(r[k]) or None for k in idx], ensure_ascii=False) for r in rows)
    pick = [0, 1, 2, 3, 4, 9]
    exp = sorted(json.dumps([norm(r[k]) or None for k in pick], ensure_ascii=False) for r in model)
    if got != exp:
        fail("generated: mdbtools does not read the rows the statements leave")
    check = must([vantrel, "check", db]).decode()
    if "0 problems" not in check:
        fail("generated: index check: " + check)
    print(f"generated: {len(model)} rows read alike by us, mdb-reader and mdbtools; {check.strip().splitlines()[-1]}")


def demo_case(vantrel, tmp):
    out = must([vantrel, "demo", tmp]).decode().strip()
    ours = json.loads(must([vantrel, "dump", out]))
    mr = mdb_reader(out, PASSWORD)
    for t in ours["tables"]:
        a = sorted(json.dumps([norm(v) for v in r], ensure_ascii=False) for r in t["rows"])
        b = sorted(json.dumps([norm(v) for v in r], ensure_ascii=False) for r in mr[t["name"]]["rows"])
        if a != b:
            fail(f"demo: mdb-reader reads table {t['name']} differently")
        _, rows = mdbtools(out, t["name"])
        if len(rows) != len(t["rows"]):
            fail(f"demo: mdbtools reads {len(rows)} rows of {t['name']}, we {len(t['rows'])}")
    if "0 problems" not in must([vantrel, "check", out]).decode():
        fail("demo: index check")
    print(f"demo: {sum(len(t['rows']) for t in ours['tables'])} rows in {len(ours['tables'])} tables read alike")


def cli_case(vantrel, tmp):
    """create: refused rows are reported by line and make the status 1; a
    statement that cannot run leaves no file; an existing file is not touched."""
    db = os.path.join(tmp, "cli.mdb")
    script = "CREATE TABLE T (A LONG PRIMARY KEY)\nINSERT INTO T VALUES (1)\nINSERT INTO T VALUES (1)\n"
    r = run([vantrel, "create", db], input=script.encode())
    if r.returncode != 1 or b"line 3: 1 row refused (unique index)" not in r.stderr or not os.path.exists(db):
        fail(f"cli: refused rows: status {r.returncode}, {r.stderr[-200:]!r}")
    before = open(db, "rb").read()
    r = run([vantrel, "create", db], input=b"CREATE TABLE U (B LONG)\n")
    if r.returncode == 0 or b"3204" not in r.stderr or open(db, "rb").read() != before:
        fail("cli: an existing database was not refused untouched")
    bad = os.path.join(tmp, "bad.mdb")
    r = run([vantrel, "create", bad], input=b"CREATE TABLE T (A LONG)\nINSERT INTO Nowhere VALUES (1)\n")
    if r.returncode == 0 or b"(line 2)" not in r.stderr or os.path.exists(bad):
        fail(f"cli: a failing statement: status {r.returncode}, file left: {os.path.exists(bad)}")
    print("cli: refusals reported by line, failures leave no file")


def dump(vantrel, db):
    return json.loads(must([vantrel, "dump", db]))


def round_trip(vantrel, shared, node_modules, tmp):
    corpus = os.path.join(shared, "corpus")
    cc = load_checker(shared)
    reader = os.path.join(shared, "tools", "mdb-reader-dump.mjs")
    env = dict(os.environ, ORACLE_NODE_MODULES=os.path.abspath(node_modules))
    rebuilt = refused = same_fill = 0
    differing_fill = []
    for name in sorted(os.listdir(corpus)):
        root, ext = os.path.splitext(name)
        if ext != ".mdb" or root.startswith("wrongpw-"):
            continue
        orig = os.path.join(corpus, name)
        sql = os.path.join(tmp, root + ".sql")
        with open(sql, "wb") as f:
            f.write(must([vantrel, "sql", orig]))
        copy = os.path.join(tmp, root + ".copy.mdb")
        made = run([vantrel, "create", copy, "-f", sql])
        if made.returncode != 0:
            err = made.stderr.decode(errors="replace")
            # Text beyond U+00FF in an indexed column has no sort codes here: refused, with no file left.
            if "sort order" in err and not os.path.exists(copy):
                refused += 1
                print(f"{root}: refused as it should be ({err.strip().splitlines()[-1]})")
                continue
            fail(f"{root}: create failed: {err[-300:]}")
            continue
        # The copy says the same of itself: tables, column kinds (fixed-length
        # text included), indexes, properties and rows.
        with open(sql, "rb") as f:
            if must([vantrel, "sql", copy]) != f.read():
                fail(f"{root}: sql of the copy differs from sql of the original")
        a, b = dump(vantrel, orig), dump(vantrel, copy)
        b["format"] = a["format"]
        diffs = cc.compare(a, b)
        if diffs:
            fail(f"{root}: copy dumps differently: {diffs[:2]}")
            continue
        expected = json.load(open(os.path.join(corpus, root + ".expected.json"), encoding="utf-8"))
        r = run(["node", reader, copy], env=env)
        theirs = json.loads(r.stdout) if r.returncode == 0 else None
        if theirs is None:
            fail(f"{root}: mdb-reader cannot read the copy")
            continue
        theirs["format"] = expected["format"]
        diffs = cc.compare(expected, theirs)
        if diffs:
            fail(f"{root}: mdb-reader reads the copy differently: {diffs[:2]}")
        if "0 problems" not in must([vantrel, "check", copy]).decode():
            fail(f"{root}: index check of the copy")
        rebuilt += 1
        # The null-fill on both.
        o = os.path.join(tmp, root + ".orig.mdb")
        shutil.copyfile(orig, o)
        mo, mc = run([vantrel, "convert", o]), run([vantrel, "convert", copy])
        fo, fc = dump(vantrel, o), dump(vantrel, copy)
        fc["format"] = fo["format"]
        if mo.stdout == mc.stdout and not cc.compare(fo, fc):
            same_fill += 1
        else:
            differing_fill.append(root)
    for root in differing_fill:
        fail(f"{root}: the null-fill differs between the original and its copy")
    print(f"round trip: {rebuilt} rebuilt and equal, {refused} refused, null-fill equal on {same_fill}, "
          f"different on {len(differing_fill)} ({', '.join(differing_fill)})")
    return differing_fill


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    ap.add_argument("--shared", default=os.path.join(HERE, "..", "..", "shared"))
    ap.add_argument("--node-modules", default=os.path.join(HERE, "..", "node_modules"))
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        cli_case(a.vantrel, tmp)
        generated_case(a.vantrel, tmp)
        demo_case(a.vantrel, os.path.join(tmp, "demo"))
        if os.path.isdir(os.path.join(a.shared, "corpus")):
            round_trip(a.vantrel, a.shared, a.node_modules, tmp)
        else:
            print(f"round trip skipped: {a.shared}/corpus is absent (the shared folder is not beside the project)")
    if failures:
        print(f"{len(failures)} failure(s)")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
