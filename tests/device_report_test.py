#!/usr/bin/env python3
"""`vantrel device`: what the handheld gets of a database, and each loss.

Databases made with `vantrel create` hit each rule of the desktop's
conversion (31/32-character and colliding table names, four indexes, a
three-column index, OLE, a long memo, Decimal, Currency a double cannot hold)
and each loss of Vantrel's own (Nulls the null-fill leaves, characters code
page 1252 lacks); the text report is checked line by line, the JSON against
it. `device` only reads the file; `convert` ends by pointing at the report
when something is lost. With the shared corpus: every file reported, exit 0
and JSON that parses (the wrongpw-* files are refused, exit 1), and the Nulls
it says convert leaves are, column by column, those a real convert leaves.

usage: device_report_test.py --vantrel PATH [--shared DIR]
"""
import argparse
import glob
import hashlib
import json
import os
import shutil
import subprocess
import sys
import tempfile

FAILURES = []
COLLIDE = "Collide_long_table_name_number_"  # 31 characters


def check(cond, what):
    if not cond:
        FAILURES.append(what)
        print("FAIL:", what)


def run(vantrel, *args, env=None):
    r = subprocess.run([vantrel, *args], capture_output=True, timeout=600, env=env)
    return r.returncode, r.stdout.decode("utf-8", "replace"), r.stderr.decode("utf-8", "replace")


def names_sql():
    lines = ["CREATE TABLE T234567890123456789012345678901 (Id LONG)",   # 31: kept
             "CREATE TABLE T2345678901234567890123456789012 (Id LONG)"]  # 32: meets the 31
    for i in range(12):  # the cut name, then ten digits, then nothing left
        name = COLLIDE + chr(ord("a") + i)
        lines.append(f"CREATE TABLE {name.lower() if i == 2 else name} (Id LONG)")
    return lines


def renamed(letter, digit):
    name = COLLIDE + letter
    return (f"{name}: 1 loss", f'  table: renamed "{name[:30]}{digit}": its device name "{COLLIDE}" is an '
            "earlier table's (letter case aside)")


NAMES_REPORT = [
    "13 of 14 tables lose something on the way to the device (script file in CP1252)",
    f"{COLLIDE}a: 1 loss", f'  table: name cut to 31 characters: "{COLLIDE}"',
    *renamed("b", 0),
    "collide_long_table_name_number_c: 1 loss",
    '  table: renamed "collide_long_table_name_number1": its device name "Collide_long_table_name_number_" is an '
    "earlier table's (letter case aside)",
    *renamed("d", 2), *renamed("e", 3), *renamed("f", 4), *renamed("g", 5), *renamed("h", 6), *renamed("i", 7),
    *renamed("j", 8), *renamed("k", 9),
    f"{COLLIDE}l: 1 loss",
    f'  table: not copied: its device name "{COLLIDE}" and the ten names ending in a digit are earlier tables\'',
    "T234567890123456789012345678901: nothing lost",
    "T2345678901234567890123456789012: 1 loss",
    '  table: renamed "T234567890123456789012345678900": its device name "T234567890123456789012345678901" is an '
    "earlier table's (letter case aside)",
]

INDEX_SQL = [
    "CREATE TABLE Indexed (A LONG, B LONG, C LONG, D LONG, CONSTRAINT pk PRIMARY KEY (A))",
    "CREATE INDEX ix_z ON Indexed (D)",  # made before a unique one, but dropped for it
    "CREATE UNIQUE INDEX ix_b ON Indexed (B) WITH IGNORE NULL",
    "CREATE INDEX ix_multi ON Indexed (C, D DESC, B)",
    "CREATE TABLE Plain (Id LONG, Name TEXT(20), Price DOUBLE, Seen DATETIME, Ok BIT)",
    "INSERT INTO Plain VALUES (1, 'caf\u00e9', 2.5, #2024-01-02#, True)",
]

INDEX_REPORT = [
    "1 of 2 tables lose something on the way to the device (script file in CP1252)",
    "Indexed: 4 losses",
    "  index pk: Primary lost: only Ascending/Descending is kept",
    "  index ix_z: dropped: the device keeps three indexes a table (unique ones first, then by name)",
    "  index ix_b: Unique, IgnoreNulls lost: only Ascending/Descending is kept",
    "  index ix_multi: only its first column, C, is indexed (D, B dropped)",
    "Plain: nothing lost",
]

KINDS_SQL = [
    "CREATE TABLE Kinds (Id LONG, Pic LONGBINARY, Note MEMO, Amount DECIMAL(10,2), Cash CURRENCY, Word TEXT(10), G GUID)",
    "INSERT INTO Kinds VALUES (1, 0x0102, '" + "m" * 32735 + "', 1.50, 922337203685477.5807, '\u4e2d\u6587', "
    "'{12345678-1234-1234-1234-123456789012}')",
    "INSERT INTO Kinds VALUES (2, Null, 'short', Null, 12.34, 'a\"b', Null)",
    "INSERT INTO Kinds VALUES (3, Null, Null, Null, -900719925474.0993, 'x\u20acy', Null)",
]

KIND = {"Pic": "Pic (OLE Object -> varbinary)", "Note": "Note (Memo -> text)", "Amount": "Amount (Decimal, not sent)",
        "Cash": "Cash (Currency -> double)", "Word": "Word (Text -> varchar)", "G": "G (Replication ID -> varbinary)"}
KINDS_REPORT = [
    "1 of 1 table lose something on the way to the device (script file in CP1252)",
    "Kinds: 12 losses",
    f"  column {KIND['Pic']}: not sent unless the user selects the column (then varbinary)",
    f"  column {KIND['Pic']}: 2 Nulls left after convert: type does not convert",
    f"  column {KIND['Pic']}: left out of the script file (1 value)",
    f"  column {KIND['Note']}: 1 value longer than 32734 characters, the device's largest string: not sent (longest 32735)",
    f"  column {KIND['Amount']}: not sent: the conversion has no device type for it",
    f"  column {KIND['Amount']}: 2 Nulls left after convert: the null-fill skips the column "
    "(Error Number [13] Error Description [Type mismatch])",
    f"  column {KIND['Amount']}: no form in the script file: the script stops at the first of its 1 value (error 13)",
    f"  column {KIND['Cash']}: 2 values change in the device's double, e.g. 922337203685477.5807",
    f"  column {KIND['Word']}: 2 characters in 1 value become \"?\" in the script file (CP1252 lacks them)",
    f"  column {KIND['Word']}: 1 value has line breaks or double quotes, written as blanks in the script file",
    f"  column {KIND['G']}: 2 Nulls left after convert: type does not convert",
    f"  column {KIND['G']}: left out of the script file (1 value)",
]

CASES = [("names", names_sql(), NAMES_REPORT), ("indexes", INDEX_SQL, INDEX_REPORT), ("kinds", KINDS_SQL, KINDS_REPORT)]


def compare_lines(case, got, expected):
    got = got.splitlines()
    for k in range(max(len(got), len(expected))):
        g = got[k] if k < len(got) else "<none>"
        e = expected[k] if k < len(expected) else "<none>"
        check(g == e, f"{case} line {k + 1}:\n  got      {g!r}\n  expected {e!r}")


def json_agrees(case, text, report):
    """The JSON says what the text says: the same losses, table by table."""
    lines = [line for line in text.splitlines()[1:] if line.startswith("  ")]
    texts = []
    for t in report["tables"]:
        texts += [loss["text"] for loss in t["losses"]]
        texts += [loss["text"] for c in t["columns"] for loss in c["losses"]]
        texts += [loss["text"] for i in t["indexes"] for loss in i["losses"]]
    check([line.split(": ", 1)[1] for line in lines] == texts, f"{case}: JSON losses differ from the text's")
    check(report["losses"] == len(texts), f"{case}: JSON loss count {report['losses']} != {len(texts)}")


def digest(path):
    return hashlib.sha256(open(path, "rb").read()).hexdigest()


def rule_databases(v, tmp):
    for case, sql, expected in CASES:
        db = os.path.join(tmp, case + ".mdb")
        with open(os.path.join(tmp, case + ".sql"), "w", encoding="utf-8") as f:
            f.write("\n".join(sql) + "\n")
        code, _, err = run(v, "create", db, "-f", os.path.join(tmp, case + ".sql"))
        check(code == 0, f"{case}: create: {code} {err}")
        before = digest(db)
        code, text, err = run(v, "device", db, "--charset", "CP1252")
        check(code == 0, f"{case}: device exit {code}: {err}")
        compare_lines(case, text, expected)
        code, out, err = run(v, "device", db, "--charset", "CP1252", "--json")
        check(code == 0, f"{case}: device --json exit {code}: {err}")
        report = json.loads(out)
        json_agrees(case, text, report)
        if case == "kinds":  # Note's Null is filled; Amount's column is skipped
            left = {c["name"]: c["nullsLeft"] for c in report["tables"][0]["columns"]}
            check(left == {"Id": 0, "Pic": 2, "Note": 0, "Amount": 2, "Cash": 0, "Word": 0, "G": 2}, f"kinds: Nulls left {left}")
        check(digest(db) == before and sorted(os.listdir(tmp)).count(case + ".ldb") == 0,
              f"{case}: device changed the database or left a lock file")
    # One table: its device name still reckons with the others.
    code, text, _ = run(v, "device", os.path.join(tmp, "names.mdb"), "--charset", "CP1252",
                        "--table", "T2345678901234567890123456789012")
    compare_lines("names --table", text, ["1 of 1 table lose something on the way to the device (script file in CP1252)",
                                          *NAMES_REPORT[-2:]])
    # convert points at the report only when something is lost (UTF-8
    # loses no character: one loss fewer than in CP1252).
    for case, lost in (("kinds", True), ("plain", False)):
        db = os.path.join(tmp, case + "-convert.mdb")
        if case == "plain":
            code, _, _ = run(v, "create", db, "-f", "/dev/null")
        else:
            shutil.copy(os.path.join(tmp, "kinds.mdb"), db)
        code, _, err = run(v, "convert", db, env=dict(os.environ, LC_ALL="C"))  # the script file in UTF-8
        pointer = [line for line in err.splitlines() if "on the way to the device" in line]
        want = [f"vantrel: 11 losses on the way to the device, in 1 table: see `vantrel device {db}`"] if lost else []
        check(code == 0 and pointer == want, f"convert {case}: {code} {pointer!r}")
    code, _, err = run(v, "device", os.path.join(tmp, "absent.mdb"))
    check(code == 1 and "Error Number" in err, f"device on a missing file: {code} {err!r}")


def nulls_after_convert(v, db, tmp):
    """Per (table, column), the Nulls a real convert of a copy leaves; None
    when convert fails."""
    copy = os.path.join(tmp, "copy" + os.path.splitext(db)[1])
    shutil.copyfile(db, copy)
    os.chmod(copy, 0o644)
    try:
        code, _, _ = run(v, "convert", copy, env=dict(os.environ, LC_ALL="C"))
        if code != 0:
            return None
        code, out, _ = run(v, "dump", copy)
        left = {}
        for t in json.loads(out)["tables"]:
            for k, c in enumerate(t["columns"]):
                left[(t["name"], c["name"])] = sum(1 for row in t["rows"] if row[k] is None)
        return left
    finally:
        for leftover in glob.glob(copy[:-3] + "*"):
            os.remove(leftover)


def corpus(v, shared):
    """Every file reported; the Nulls the report says convert leaves are the
    ones a real convert leaves, column by column."""
    files = sorted(glob.glob(os.path.join(shared, "corpus", "*.mdb")) + glob.glob(os.path.join(shared, "corpus-ace", "*.accdb")))
    compared = 0
    with tempfile.TemporaryDirectory() as tmp:
        for db in files:
            refused = os.path.basename(db).startswith("wrongpw-")
            code, out, err = run(v, "device", db, "--json")
            if refused:
                check(code == 1, f"{db}: a wrong password gives {code}")
                continue
            check(code == 0, f"{db}: exit {code}: {err[-300:]}")
            try:
                report = json.loads(out)
            except ValueError as e:
                check(False, f"{db}: --json does not parse: {e}")
                continue
            left = nulls_after_convert(v, db, tmp)
            if left is None:
                check(report["fillFailure"] is not None, f"{db}: convert fails, the report says it runs through")
                continue
            compared += 1
            for t in report["tables"]:
                for c in t["columns"]:
                    want = left.get((t["name"], c["name"]))
                    check(c["nullsLeft"] == want, f"{db}: {t['name']}.{c['name']}: {c['nullsLeft']} Nulls left, convert leaves {want}")
    print(f"corpus: {len(files)} files reported, {compared} compared with a real convert")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    ap.add_argument("--shared", default="")
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        rule_databases(a.vantrel, tmp)
    if a.shared and os.path.isdir(os.path.join(a.shared, "corpus")):
        corpus(a.vantrel, a.shared)
    else:
        print("corpus: skipped, the shared folder is absent")
    print(f"{len(FAILURES)} failed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
