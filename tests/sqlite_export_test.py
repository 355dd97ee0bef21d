#!/usr/bin/env python3
"""`vantrel export DB --sqlite OUT` end to end; OUT is read with Python's
sqlite3 module. Takes the vantrel program as an argument, so that it also runs
the Windows build under Wine.

1. A database made by `vantrel create` holding every type, Nulls, '' and Null,
   dates before 1900, Currency, Decimal, a memo over 64 KB and binary: the
   copy's declared types, NOT NULL, defaults, keys and descending indexes are
   those README.md states, each value is mdb-reader's reading of the database
   in the stated form, SQLite finds the file sound and each unique index
   refuses a duplicate.
2. OUT is written whole or not at all: an existing OUT is refused without
   --replace and replaced with it; a copy that fails half way leaves no OUT,
   no temporary file, and an old OUT as it was. Usage errors exit 2.
3. With the shared corpus (Jet3, Jet4, ACE): every database copies and
   verifies; its copy holds exactly the rows of NAME.expected.json (mdb-reader's
   reading) in the stated forms; integrity_check and foreign_key_check pass; a
   duplicate of a row is refused where the table has a unique index; the
   Northwind copy has mdbtools' foreign keys and its cascades work.

usage: sqlite_export_test.py --vantrel PATH [--shared DIR] [--node-modules DIR] [--wine LOADER]
"""
import argparse
import base64
import datetime
import glob
import hashlib
import json
import math
import os
import re
import sqlite3
import struct
import subprocess
import sys
import tempfile
from decimal import Decimal

HERE = os.path.dirname(os.path.abspath(__file__))
FAILURES = []
PASSED = [0]
# DAO type codes and the SQLite type each is declared with.
DECLARED = {1: "INTEGER", 2: "INTEGER", 3: "INTEGER", 4: "INTEGER", 16: "INTEGER", 6: "REAL", 7: "REAL",
            5: "TEXT", 20: "TEXT", 8: "TEXT", 10: "TEXT", 12: "TEXT", 15: "TEXT", 9: "BLOB", 11: "BLOB"}


def check(cond, what):
    if cond:
        PASSED[0] += 1
    else:
        FAILURES.append(what)
        print("FAIL:", what)


def run(vantrel, *args, stdin=None):
    r = subprocess.run([*vantrel, *args], capture_output=True, input=stdin)
    return r.returncode, r.stdout.decode("utf-8", "replace"), r.stderr.decode("utf-8", "replace")


def refused(db, sql, args=()):
    """The message SQLite refuses the statement with ('' when it runs)."""
    try:
        db.execute(sql, args)
    except sqlite3.DatabaseError as e:
        return str(e)
    return ""


def sound(path, what):
    """integrity_check and foreign_key_check on the copy."""
    db = sqlite3.connect(path, isolation_level=None)  # each statement on its own, as a user's shell runs it
    check(db.execute("PRAGMA integrity_check").fetchall() == [("ok",)], f"{what}: integrity_check")
    check(db.execute("PRAGMA foreign_key_check").fetchall() == [], f"{what}: foreign_key_check")
    return db


LONG_MEMO = "".join(chr(0x41 + k % 26) if k % 7 else "é" for k in range(70_000))
CREATE_SQL = f"""CREATE TABLE Kinds (ID COUNTER PRIMARY KEY, Flag BIT, Small BYTE, Mid SHORT, Big LONG, Sing SINGLE,
 Dbl DOUBLE, Price CURRENCY, Amount DECIMAL(12,3), Stamp DATETIME, Name TEXT(50) NOT NULL, Notes MEMO,
 Raw BINARY(8), Ole LONGBINARY, G GUID)
CREATE UNIQUE INDEX ByName ON Kinds (Name DESC, Big)
CREATE INDEX ByStamp ON Kinds (Stamp DESC)
INSERT INTO Kinds (Flag, Small, Mid, Big, Sing, Dbl, Price, Amount, Stamp, Name, Notes, Raw, Ole, G) VALUES (True, 255, -32768, 2147483647, 0.1, 0.1, 922337203685477.5807, -123456789.125, #1850-03-04 05:06:07#, 'a', '', 0x00FF, 0x000102, '{{6C2F1C1E-3B0A-4E7F-9A11-2B3C4D5E6F70}}')
INSERT INTO Kinds (Name) VALUES ('b')
INSERT INTO Kinds (Flag, Small, Big, Dbl, Price, Amount, Stamp, Name, Notes) VALUES (False, 0, -2147483648, -1.5e300, -0.0001, 0.5, #0100-01-01#, '', '{LONG_MEMO}')
INSERT INTO Kinds (Stamp, Name, Notes, Price) VALUES (#1899-12-29 06:00:00#, 'quote "and" ''single''', 'zwei
Zeilen', 12.34)
ALTER TABLE Kinds ALTER COLUMN Price SET DefaultValue = "5"
ALTER TABLE Kinds ALTER COLUMN Name SET DefaultValue = "'x'"
ALTER TABLE Kinds ALTER COLUMN Small SET DefaultValue = "Date()"
CREATE TABLE Other (Code TEXT(10) PRIMARY KEY, N LONG)
INSERT INTO Other VALUES ('k', 1)
"""


def reader_form(value, declared):
    """mdb-reader's value as the copy must hold it."""
    if value is None:
        return None
    if isinstance(value, bool):
        return int(value)
    if declared == "BLOB":
        return bytes.fromhex(value)
    if isinstance(value, str) and re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z", value):
        return access_date(datetime.datetime.fromisoformat(value[:19]))
    if isinstance(value, str) and re.fullmatch(r"[0-9a-f]{8}(-[0-9a-f]{4}){3}-[0-9a-f]{12}", value):
        return "{" + value.upper() + "}"
    return value


def access_date(moment):
    """mdb-reader reads a stored date before 1899-12-30 (a negative number) as
    that many days, fraction included, before it; Access takes the fraction as
    the time of the day the whole part names: -1.25 is 1899-12-29 06:00."""
    epoch = datetime.datetime(1899, 12, 30)
    if moment < epoch:
        days = (moment - epoch) / datetime.timedelta(days=1)
        whole = math.trunc(days)
        moment = epoch + datetime.timedelta(days=whole) + datetime.timedelta(days=abs(days - whole))
        moment = moment.replace(microsecond=0) + datetime.timedelta(seconds=round(moment.microsecond / 1e6))
    return moment.strftime("%Y-%m-%d %H:%M:%S").rjust(19, "0")


def copied_value_matches(got, want, column):
    if column == "Price":  # Currency: four decimals, exact
        return re.fullmatch(r"-?\d+\.\d{4}", got) is not None and Decimal(got) == Decimal(str(want))
    if column == "Amount":  # Decimal: exact, with the column's scale
        return re.fullmatch(r"-?\d+\.\d{3}", got) is not None and Decimal(got) == Decimal(str(want))
    if column == "Sing":  # the stored float, widened exactly
        return got == struct.unpack("<f", struct.pack("<f", want))[0]
    if column == "G":
        return got == want.upper()
    return got == want and type(got) is type(want)


def created_database(vantrel, tmp, node):
    db, out = os.path.join(tmp, "kinds.mdb"), os.path.join(tmp, "kinds.sqlite")
    code, _, err = run(vantrel, "create", db, stdin=CREATE_SQL.encode("utf-8"))
    if code != 0:
        check(False, f"create: {err}")
        return
    code, text, err = run(vantrel, "export", db, "--sqlite", out)
    check(code == 0 and text == "Kinds: 4 rows, identical\nOther: 1 rows, identical\n", f"export: {code} {text!r} {err!r}")
    s = sound(out, "created")
    columns = {r[1]: r for r in s.execute("PRAGMA table_info(Kinds)")}
    check([c[2] for c in columns.values()] == ["INTEGER", "INTEGER", "INTEGER", "INTEGER", "INTEGER", "REAL", "REAL",
                                               "TEXT", "TEXT", "TEXT", "TEXT", "TEXT", "BLOB", "BLOB", "TEXT"],
          f"declared types: {[c[2] for c in columns.values()]}")
    check(columns["ID"][5] == 1 and columns["ID"][3] == 1 and columns["Name"][3] == 1 and columns["Big"][3] == 0,
          "primary key and NOT NULL")
    check(columns["Price"][4] == "'5.0000'" and columns["Name"][4] == "'x'" and columns["Small"][4] is None,
          f"defaults: {columns['Price'][4]} {columns['Name'][4]} {columns['Small'][4]}")
    index = {r[1]: r[2] for r in s.execute("PRAGMA index_list(Kinds)")}
    check(index.get("Kinds.ByName") == 1 and index.get("Kinds.ByStamp") == 0, f"indexes: {index}")
    xinfo = [(r[2], r[3]) for r in s.execute("PRAGMA index_xinfo('Kinds.ByName')") if r[5]]
    check(xinfo == [("Name", 1), ("Big", 0)], f"ByName columns and order: {xinfo}")
    check("UNIQUE constraint failed: Kinds.Name, Kinds.Big" in
          refused(s, "INSERT INTO Kinds (ID, Name, Big) VALUES (99, 'a', 2147483647)"), "ByName refuses a duplicate")
    check("UNIQUE constraint failed: Kinds.ID" in refused(s, "INSERT INTO Kinds (ID, Name) VALUES (1, 'new')"),
          "the primary key refuses a duplicate")
    check("UNIQUE constraint failed: Other.Code" in refused(s, "INSERT INTO Other VALUES ('k', 2)"),
          "a text primary key refuses a duplicate")
    rows = s.execute("SELECT * FROM Kinds ORDER BY ID").fetchall()
    check(rows[2][11] == LONG_MEMO and rows[2][10] == "" and rows[1][11] is None and rows[0][11] == "",
          "memo over 64 KB, '' and Null")
    check([r[9] for r in rows] == ["1850-03-04 05:06:07", None, "0100-01-01 00:00:00", "1899-12-29 06:00:00"],
          f"dates: {[r[9] for r in rows]}")
    if not node:
        print("skip: no node_modules/mdb-reader (npm install): values not compared with mdb-reader")
        return
    r = subprocess.run(["node", os.path.join(HERE, "mdb_reader_rows.mjs"), db], capture_output=True, check=True)
    want = json.loads(r.stdout)["Kinds"]
    names = list(columns)
    want_rows = sorted((dict(zip(want["columns"], row)) for row in want["rows"]), key=lambda r: r["ID"])
    check(len(want_rows) == len(rows), "row count against mdb-reader")
    for got, w in zip(rows, want_rows):
        for name, value in zip(names, got):
            expected = reader_form(w[name], columns[name][2])
            ok = value is None if expected is None else value is not None and copied_value_matches(value, expected, name)
            check(ok, f"Kinds row {w['ID']} {name}: copy {str(value)[:60]!r}, mdb-reader {str(expected)[:60]!r}")


def whole_or_nothing(vantrel, tmp):
    db, out = os.path.join(tmp, "two.mdb"), os.path.join(tmp, "two.sqlite")
    code, _, err = run(vantrel, "create", db, stdin=b"CREATE TABLE Aa (X LONG)\nINSERT INTO Aa VALUES (5)\n"
                                                     b"CREATE TABLE Bb (Z TEXT)\nINSERT INTO Bb VALUES ('z')\n"
                                                     b"CREATE TABLE sqlite_x (Y LONG)\nINSERT INTO sqlite_x VALUES (6)\n")
    check(code == 0, f"create: {err}")
    leftovers = lambda: [f for f in os.listdir(tmp) if ".writing-" in f]  # noqa: E731
    code, text, err = run(vantrel, "export", db, "--sqlite", out)
    check(code == 1 and "sqlite_x" in err and not os.path.exists(out) and not leftovers(),
          f"a failed copy leaves nothing: {code} {err!r} {os.listdir(tmp)}")
    code, text, err = run(vantrel, "export", db, "--sqlite", out, "--table", "Aa")
    check(code == 0 and text == "Aa: 1 rows, identical\n", f"--table Aa: {code} {text!r} {err!r}")
    old = open(out, "rb").read()
    code, text, err = run(vantrel, "export", db, "--sqlite", out, "--table", "Aa")
    check(code == 1 and text == "" and "exists" in err and "--replace" in err and open(out, "rb").read() == old,
          f"existing OUT refused: {code} {err!r}")
    code, text, err = run(vantrel, "export", db, "--sqlite", out, "--replace")
    check(code == 1 and open(out, "rb").read() == old and not leftovers(), f"failed --replace keeps the old: {code}")
    code, text, err = run(vantrel, "export", db, "--sqlite", out, "--replace", "--table", "Bb", "--table", "bb")
    check(code == 0 and text == "Bb: 1 rows, identical\n" and not leftovers(), f"--replace: {code} {text!r} {err!r}")
    tables = sqlite3.connect(out).execute("SELECT name FROM sqlite_master").fetchall()
    check(tables == [("Bb",)], f"--replace gives the new copy: {tables}")
    code, text, err = run(vantrel, "export", db, "--sqlite", tmp)
    check(code == 1 and "not a file" in err, f"a folder as OUT: {code} {err!r}")
    for args in (["export", db], ["export", db, "Aa", "--sqlite", out], ["export", db, "Aa", "--replace"]):
        code, text, err = run(vantrel, *args)
        check(code == 2 and text == "" and " export --help" in err, f"usage {args[2:]}: {code} {err!r}")


def expected_form(value, dao, declared):
    """A value of NAME.expected.json, and the copy's, in one comparable form."""
    if value is None:
        return None
    if dao == 1:
        return int(value)
    if dao in (5, 20):
        return str(Decimal(value).normalize())
    if dao == 6:  # the same float32 (the expected files give 9 digits, rounded half away from zero)
        return struct.unpack("<f", struct.pack("<f", float(value)))[0]
    if dao == 7:
        return repr(float(value))
    if dao == 16:
        return int(value)
    if declared == "BLOB":
        if isinstance(value, bytes):
            return hashlib.sha256(value).hexdigest()
        return value["sha256"] if "sha256" in value else hashlib.sha256(base64.b64decode(value["base64"])).hexdigest()
    if dao == 15:
        return value.upper()
    return value


def corpus_file(vantrel, tmp, path, expected):
    out = os.path.join(tmp, os.path.basename(path) + ".sqlite")
    code, text, err = run(vantrel, "export", path, "--sqlite", out)
    name = os.path.basename(path)
    lines = text.splitlines()
    check(code == 0 and all(re.fullmatch(r".+: \d+ rows, identical|.+: no column SQLite can hold, not copied", x)
                            for x in lines), f"{name}: {code} {text[-300:]!r} {err[-300:]!r}")
    if code != 0:
        return None
    s = sound(out, name)
    for table in expected["tables"]:
        kept = [(i, c) for i, c in enumerate(table["columns"]) if c["type"] in DECLARED]
        if not kept:
            continue
        columns = ", ".join('"' + c["name"].replace('"', '""') + '"' for _, c in kept)
        quoted = '"' + table["name"].replace('"', '""') + '"'
        got = s.execute(f"SELECT {columns} FROM {quoted}").fetchall()
        canon = lambda rows: sorted(repr(r) for r in rows)  # noqa: E731
        want = canon(tuple(expected_form(row[i], c["type"], DECLARED[c["type"]]) for i, c in kept)
                     for row in table["rows"])
        mine = canon(tuple(expected_form(v, c["type"], DECLARED[c["type"]]) for v, (_, c) in zip(r, kept)) for r in got)
        check(want == mine, f"{name}: {table['name']}: rows differ from mdb-reader's")
        currency = [i for i, (_, c) in enumerate(kept) if c["type"] == 5]
        check(all(r[i] is None or re.fullmatch(r"-?\d+\.\d{4}", r[i]) for r in got for i in currency),
              f"{name}: {table['name']}: currency with four decimals")
        unique = [r for r in s.execute(f"PRAGMA index_list({quoted})") if r[2]]
        if got and unique:
            check("UNIQUE constraint failed" in refused(s, f"INSERT INTO {quoted} SELECT * FROM {quoted} LIMIT 1"),
                  f"{name}: {table['name']}: a duplicate row is refused")
    return s


def northwind_keys(s, path):
    """The foreign keys mdbtools reads, with their cascades, and SQLite keeping them."""
    schema = subprocess.run(["mdb-schema", path, "postgres"], capture_output=True, text=True).stdout
    theirs = sorted(re.findall(r'ALTER TABLE "([^"]+)" ADD CONSTRAINT "[^"]+" FOREIGN KEY \("(\w+)"\) REFERENCES '
                               r'"([^"]+)"\("(\w+)"\)( ON UPDATE CASCADE)?( ON DELETE CASCADE)?', schema))
    theirs = [(t, c.lower(), rt, rc.lower(), u != "", d != "") for t, c, rt, rc, u, d in theirs]
    ours = sorted((t, r[3].lower(), r[2], r[4].lower(), r[5] == "CASCADE", r[6] == "CASCADE")
                  for (t,) in s.execute("SELECT name FROM sqlite_master WHERE type = 'table'")
                  for r in s.execute(f'PRAGMA foreign_key_list("{t}")'))
    check(len(theirs) == 7 and ours == theirs, f"Northwind foreign keys: {ours} against {theirs}")
    s.execute("PRAGMA foreign_keys = ON")
    check("FOREIGN KEY constraint failed" in refused(s, "DELETE FROM Products WHERE ProductID = 11"),
          "a referenced product is not deleted")
    s.execute("DELETE FROM Orders WHERE OrderID = 10248")
    check(s.execute('SELECT count(*) FROM "Order Details" WHERE OrderID = 10248').fetchone() == (0,),
          "deleting an order deletes its lines")
    s.execute("UPDATE Customers SET CustomerID = 'ZZZZZ' WHERE CustomerID = 'ALFKI'")
    check(s.execute("SELECT count(*) FROM Orders WHERE CustomerID = 'ZZZZZ'").fetchone()[0] > 0,
          "a customer's new key reaches its orders")


def corpus(vantrel, tmp, shared):
    files = sorted(glob.glob(os.path.join(shared, "corpus", "*.mdb")) + glob.glob(os.path.join(shared, "corpus-ace", "*.accdb")))
    if not files:
        print(f"skip: no corpus under {shared}")
        return
    for path in files:
        if os.path.basename(path).startswith("wrongpw-"):
            continue
        expected = json.load(open(os.path.splitext(path)[0] + ".expected.json", encoding="utf-8"))
        s = corpus_file(vantrel, tmp, path, expected)
        if s and os.path.basename(path) == "nw-lordkarnak.mdb":
            northwind_keys(s, path)
    # A table exported without the table it refers to carries no foreign key.
    nw = os.path.join(shared, "corpus", "nw-lordkarnak.mdb")
    out = os.path.join(tmp, "details.sqlite")
    code, _, err = run(vantrel, "export", nw, "--sqlite", out, "--table", "Order Details")
    check(code == 0 and sound(out, "--table").execute('PRAGMA foreign_key_list("Order Details")').fetchall() == [],
          f"--table Order Details: {code} {err!r}")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    ap.add_argument("--shared", default=os.path.join(HERE, "..", "..", "shared"))
    ap.add_argument("--node-modules", default=os.path.join(HERE, "..", "node_modules"))
    ap.add_argument("--wine", help="Wine's loader: run the (Windows) program under it")
    a = ap.parse_args()
    vantrel = ([a.wine] if a.wine else []) + [a.vantrel]
    node = os.path.isdir(os.path.join(a.node_modules, "mdb-reader"))
    with tempfile.TemporaryDirectory() as tmp:
        created_database(vantrel, tmp, node)
        whole_or_nothing(vantrel, tmp)
        corpus(vantrel, tmp, a.shared)
    print(f"{PASSED[0]} passed, {len(FAILURES)} failed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
