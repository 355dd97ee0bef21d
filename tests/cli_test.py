#!/usr/bin/env python3
"""The vantrel command line end to end, as a user runs it: exit statuses (0
done, 1 the job failed, 2 usage), usage errors and typo suggestions,
--version and help, tables, script (to a file and to standard output through
a pipe, and its Decimal failure), dump --table, export as CSV and JSON Lines;
with the shared corpus, every table's CSV export read back by Python's csv
module equals its dump. The Windows zip's README.txt names every command and
option of the help.

usage: cli_test.py --vantrel PATH --source DIR --shared DIR
"""
import argparse
import csv
import glob
import hashlib
import io
import json
import math
import os
import re
import subprocess
import sys
import tempfile

FAILURES = []
PASSED = [0]


def check(cond, what):
    if cond:
        PASSED[0] += 1
    else:
        FAILURES.append(what)
        print("FAIL:", what)


def run(vantrel, *args, stdin=None):
    r = subprocess.run([vantrel, *args], capture_output=True, input=stdin)
    return r.returncode, r.stdout.decode("utf-8", "replace"), r.stderr.decode("utf-8", "replace")


def usage_errors(v, db, version):
    code, out, err = run(v, "--version")
    check(code == 0 and out == f"vantrel {version}\n" and err == "", f"--version: {code} {out!r} {err!r}")
    code, out, err = run(v, "--help")
    check(code == 0 and "convert" in out and "export" in out and err == "", f"--help: {code} {err!r}")
    code, out, err = run(v, "help")
    check(code == 0 and "Usage: vantrel" in out and "script" in out, f"help: {code} {out[:80]!r}")
    code, out, err = run(v, "help", "convert")
    check(code == 0 and "Usage: vantrel convert" in out and "--copy" in out, f"help convert: {code} {out[:80]!r}")
    code, out, err = run(v, "help", "convrt")
    check(code == 2 and out == "" and "did you mean 'convert'" in err, f"help convrt: {code} {err!r}")
    code, out, err = run(v, "convrt", db)
    check(code == 2 and out == "" and "'convrt' is not a vantrel command; did you mean 'convert'?" in err
          and "vantrel --help" in err, f"convrt: {code} {err!r}")
    code, out, err = run(v, "tables", "--pasword", "x", db)
    check(code == 2 and out == "" and "'tables' has no option '--pasword'; did you mean '--password'?" in err
          and "vantrel tables --help" in err, f"--pasword: {code} {err!r}")
    code, out, err = run(v, "--verison")
    check(code == 2 and "did you mean '--version'" in err, f"--verison: {code} {err!r}")
    code, out, err = run(v, "tables")
    check(code == 2 and out == "" and "DB is required" in err and "vantrel tables --help" in err, f"no DB: {code} {err!r}")
    code, out, err = run(v, "tables", db, "extra")
    check(code == 2 and out == "" and "extra" in err, f"extra argument: {code} {err!r}")
    code, out, err = run(v, "export", db, "Customers", "--format", "xml")
    check(code == 2 and out == "", f"bad format: {code} {err!r}")
    code, out, err = run(v, "tables", "--password", "-secret", db)  # a value that looks like an option
    check(code == 1 and "Error Number [3031]" in err, f"password value with a dash: {code} {err!r}")
    code, out, err = run(v, "tables", db + ".missing")
    check(code == 1 and err.startswith("Error Number [3024]\nError Description [Could not find file"), f"missing: {code} {err!r}")
    # Started under another name (a link), the hints and the help name it.
    with tempfile.TemporaryDirectory() as d:
        other = os.path.join(d, "vt")
        os.symlink(os.path.abspath(v), other)
        code, out, err = run(other, "tables", "--pasword", "x", db)
        check(code == 2 and "Try 'vt tables --help'" in err, f"hint as started: {code} {err!r}")
        code, out, err = run(other, "help", "convert")
        check(code == 0 and "Usage: vt convert" in out, f"help as started: {code} {out[:80]!r}")


def windows_readme(v, source):
    """The zip's README.txt names every command and option the help names,
    and the exit statuses."""
    code, out, _ = run(v, "--help")
    commands = re.findall(r"^  (\w+) ", out.split("Subcommands:")[1], re.M)
    text = open(os.path.join(source, "packaging", "windows", "README.txt"), encoding="utf-8").read()
    check(len(commands) >= 10, f"commands in --help: {commands}")
    for c in commands:
        check(f"vantrel-cli {c} " in text, f"README.txt lacks the command {c}")
        _, help_out, _ = run(v, c, "--help")
        for short, option in re.findall(r"^  (?:(-\w),)?(--[\w-]+)", help_out, re.M):
            named = [re.search(r"[\s\[]" + re.escape(o) + r"[\s\]]", text) for o in (short, option) if o]
            check(option == "--help" or any(named), f"README.txt lacks {c} {option}")
    check("vantrel-cli --version" in text, "README.txt lacks --version")
    check(re.search(r"Exit status: 0 done; 1 .*; 2 usage", text.replace("\n", " ")) is not None,
          "README.txt lacks the exit statuses")


def tables_and_script(v, tmp, db):
    code, out, err = run(v, "tables", db)
    check(code == 0 and out == "Customers\nOrders\nProducts\n" and err == "", f"tables: {code} {out!r} {err!r}")
    code, out, err = run(v, "script", db)
    beside = db[:-3] + "tdb"
    check(code == 0 and out == "" and re.fullmatch(r"vantrel: wrote \d+ lines to " + re.escape(beside) + "\n", err) is not None,
          f"script: {code} {out!r} {err!r}")
    script = open(beside, "rb").read()
    check(script.endswith(b"End Of File\r\n") and script.startswith(b"INSERT INTO ["), f"script file: {script[:60]!r}")
    lines = script.count(b"\r\n")
    check(f"wrote {lines} lines" in err, f"script counts its lines: {lines} {err!r}")
    # -o -: standard output, piped into another program.
    p1 = subprocess.Popen([v, "script", db, "-o", "-"], stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    p2 = subprocess.Popen([sys.executable, "-c", "import sys, hashlib; d = sys.stdin.buffer.read(); "
                           "print(len(d), hashlib.sha256(d).hexdigest())"], stdin=p1.stdout, stdout=subprocess.PIPE)
    p1.stdout.close()
    piped = p2.communicate()[0].decode().split()
    err1 = p1.stderr.read().decode()
    p1.wait()
    check(p1.returncode == 0 and piped == [str(len(script)), hashlib.sha256(script).hexdigest()],
          f"script -o - | program: {p1.returncode} {piped} {err1!r}")
    check(f"wrote {lines} lines to standard output" in err1, f"script -o - says where: {err1!r}")
    check(os.path.exists(beside), "script -o - leaves the file beside the database alone")
    code, out, err = run(v, "script", db, "-o", "-", "--table", "Customers")
    check(code == 0 and out.startswith("INSERT INTO [Customers]") and "[Orders]" not in out
          and out.endswith("End Of File\r\n"), f"script --table -o -: {code} {out[:60]!r}")

    # A Decimal column has no script form: the message names table, column and type.
    dec = os.path.join(tmp, "dec.mdb")
    code, out, err = run(v, "create", dec, "--password", "bluefinchtea", stdin=(
        "CREATE TABLE Aa (X LONG)\nINSERT INTO Aa VALUES (5)\n"
        "CREATE TABLE Customers (ID LONG, Balance DECIMAL(10,2), [Name] TEXT(10))\n"
        "INSERT INTO Customers VALUES (1, Null, 'a')\nINSERT INTO Customers VALUES (2, 3.5, 'b')\n").encode())
    check(code == 0, f"create dec: {code} {err!r}")
    code, out, err = run(v, "script", dec)
    want = ("vantrel: Customers.Balance: type 20 (Decimal) has no script form: Error Number [13] "
            "Error Description [Type mismatch]\n"
            f"vantrel: 2 lines stayed in {dec[:-3]}tdb (no \"End Of File\")\n")
    check(code == 1 and err == want, f"Decimal failure: {code} {err!r}")
    code, out, err = run(v, "script", dec, "-o", "-")
    check(code == 1 and out == 'INSERT INTO [Aa] ([X]) values (5)\r\nINSERT INTO [Customers] ([ID], [Name]) values (1, "a")\r\n'
          and err.endswith('vantrel: 2 lines went to standard output (no "End Of File")\n'), f"Decimal failure to -: {code} {err!r}")
    check(open(dec[:-3] + "tdb", "rb").read() ==
          b'INSERT INTO [Aa] ([X]) values (5)\r\nINSERT INTO [Customers] ([ID], [Name]) values (1, "a")\r\n',
          "the lines before the failure stay")
    # dump and export read the same table without trouble.
    code, out, err = run(v, "export", dec, "Customers")
    check(code == 0 and out == 'ID,Balance,Name\n1,,"a"\n2,3.50,"b"\n', f"export Decimal: {code} {out!r} {err!r}")


def outputs_never_replace_the_database(v, tmp, db):
    """An output that is the database itself, through any name, is refused
    and the database stays whole; "-" and /dev/stdout are the stream that
    standard output is, never a file to replace."""
    folder = os.path.join(tmp, "own")
    os.mkdir(folder)
    own = os.path.join(folder, "data.tdb")
    x = os.path.join(folder, "x.mdb")
    for path in (own, x):
        with open(db, "rb") as f, open(path, "wb") as g:
            g.write(f.read())
    os.symlink(x, os.path.join(folder, "link.tdb"))
    os.link(x, os.path.join(folder, "hard.tdb"))
    before = {p: open(p, "rb").read() for p in (own, x)}
    for args in (["convert", own], ["script", own], ["script", x, "-o", x],
                 ["script", x, "-o", os.path.join(folder, "link.tdb")], ["script", x, "-o", os.path.join(folder, "hard.tdb")]):
        code, out, err = run(v, *args)
        check(code == 1 and err.startswith("Error Number [75]\nError Description [") and "itself" in err,
              f"{' '.join(args)}: {code} {err!r}")
    check(all(open(p, "rb").read() == b for p, b in before.items()), "the databases stay whole")
    check(sorted(os.listdir(folder)) == ["data.tdb", "hard.tdb", "link.tdb", "x.mdb"], f"nothing else: {os.listdir(folder)}")

    want = open(db[:-3] + "tdb", "rb").read()
    for target in ("-", "/dev/stdout"):
        redirected = os.path.join(tmp, "redirected.txt")
        with open(redirected, "wb") as f:
            code = subprocess.run([v, "script", db, "-o", target], stdout=f, stderr=subprocess.PIPE).returncode
        got = open(redirected, "rb").read()
        check(code == 0 and got == want, f"script -o {target} > file: {code}, {len(got)} of {len(want)} bytes")
        check(os.path.islink("/dev/stdout") or not os.path.exists("/dev/stdout"), f"/dev/stdout left as it was ({target})")


def dump_and_export(v, tmp):
    db = os.path.join(tmp, "odd.mdb")
    code, out, err = run(v, "create", db, "--password", "bluefinchtea", stdin=(
        "CREATE TABLE Odd (ID LONG, T TEXT(40), M MEMO, D DATETIME, B BIT, C CURRENCY, F DOUBLE, S SINGLE, "
        "Bin BINARY(4), G GUID)\n"
        "INSERT INTO Odd VALUES (1, 'say \"hi\", then go', 'two\nlines', #2024-05-01 10:30:00#, True, 12.5, 0.1, 1.5, "
        "0x00FF10AB, {guid {6C2F1C1E-3B0A-4E7F-9A11-2B3C4D5E6F70}})\n"
        "INSERT INTO Odd (ID, T) VALUES (2, '')\n"
        "CREATE TABLE Other (X LONG)\nINSERT INTO Other VALUES (7)\n").encode())
    if code != 0:  # GUID literals may be outside the SQL subset: the same rows without one
        os.remove(db) if os.path.exists(db) else None
        code, out, err = run(v, "create", db, "--password", "bluefinchtea", stdin=(
            "CREATE TABLE Odd (ID LONG, T TEXT(40), M MEMO, D DATETIME, B BIT, C CURRENCY, F DOUBLE, S SINGLE, "
            "Bin BINARY(4))\n"
            "INSERT INTO Odd VALUES (1, 'say \"hi\", then go', 'two\nlines', #2024-05-01 10:30:00#, True, 12.5, 0.1, 1.5, "
            "0x00FF10AB)\n"
            "INSERT INTO Odd (ID, T) VALUES (2, '')\n"
            "CREATE TABLE Other (X LONG)\nINSERT INTO Other VALUES (7)\n").encode())
    check(code == 0, f"create odd: {code} {err!r}")
    code, out, err = run(v, "dump", db, "--table", "Other")
    d = json.loads(out) if code == 0 else {}
    check(code == 0 and [t["name"] for t in d["tables"]] == ["Other"] and d["tables"][0]["rows"] == [[7]],
          f"dump --table: {code} {out[:80]!r}")
    code, out, err = run(v, "dump", db, "--table", "Nope")
    check(code == 1 and "Error Number [3265]" in err and "(Nope)" in err, f"dump --table Nope: {code} {err!r}")

    code, out, err = run(v, "export", db, "Odd")
    rows = list(csv.reader(io.StringIO(out, newline="")))
    check(code == 0 and rows[0][:9] == ["ID", "T", "M", "D", "B", "C", "F", "S", "Bin"], f"export header: {out[:80]!r}")
    check(rows[1][:9] == ["1", 'say "hi", then go', "two\nlines", "2024-05-01 10:30:00", "1", "12.5000", "0.1", "1.5",
                          "00FF10AB"], f"export row: {rows[1]!r}")
    check(rows[2][:5] == ["2", "", "", "", "0"] and all(c == "" for c in rows[2][5:]), f"export Nulls: {rows[2]!r}")
    check(out.splitlines()[1].startswith('1,"say ""hi"", then go","two'), f"quoting: {out.splitlines()[1]!r}")
    code, out, err = run(v, "export", db, "Odd", "-d", ";", "-H", "-D", "%d/%m/%Y")
    check(code == 0 and out.startswith('1;"say ""hi"", then go";"two\nlines";"01/05/2024";1;12.5000;'), f"-d -H -D: {out[:80]!r}")
    code, out, err = run(v, "export", db, "Other", "-Q", "-R", "|")
    check(code == 0 and out == "X|7|", f"-Q -R: {out!r}")
    code, out, err = run(v, "export", db, "Odd", "-d", "\\t", "-R", "\\r\\n", "-H")
    check(code == 0 and out.startswith('1\t"say ""hi"", then go"\t') and out.endswith("\r\n") and out.count("\r\n") == 2,
          f"-d '\\t' -R '\\r\\n': {out!r}")
    code, out, err = run(v, "export", db, "Odd", "--format", "jsonl")
    objs = [json.loads(line) for line in out.splitlines()]
    check(code == 0 and len(objs) == 2 and objs[0]["ID"] == 1 and objs[0]["B"] is True and objs[0]["F"] == 0.1
          and objs[0]["Bin"] == "00FF10AB" and objs[0]["D"] == "2024-05-01 10:30:00" and objs[1]["M"] is None
          and objs[1]["T"] == "", f"jsonl: {out[:120]!r}")


def progress_on_a_terminal(v, db):
    """With standard error on a terminal, script, dump and export draw a bar
    there (and clear it); standard output stays the same."""
    import pty
    for args in (["script", db, "-o", "-"], ["dump", db], ["export", db, "Orders"]):
        plain = subprocess.run([v, *args], capture_output=True)
        master, slave = pty.openpty()
        r = subprocess.run([v, *args], stdout=subprocess.PIPE, stderr=slave)
        os.close(slave)
        drawn = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            drawn += chunk
        os.close(master)
        check(r.returncode == 0 and r.stdout == plain.stdout, f"{args[0]} on a terminal: same output")
        check(b"\r[" in drawn and b"100%" in drawn and b"\r" + b" " * 78 + b"\r" in drawn,
              f"{args[0]}: progress on the terminal: {drawn[:120]!r}")
        check(b"\r[" not in plain.stderr, f"{args[0]}: no progress when standard error is not a terminal")


def cell_matches(value, cell):
    if value is None:
        return cell == ""
    if isinstance(value, bool):
        return cell == ("1" if value else "0")
    if isinstance(value, int):
        return cell == str(value)
    if isinstance(value, float):
        try:
            return float(cell) == value or (math.isnan(value) and math.isnan(float(cell)))
        except ValueError:
            return False
    if isinstance(value, dict):
        try:
            data = bytes.fromhex(cell)
        except ValueError:
            return False
        return len(data) == value["len"] and hashlib.sha256(data).hexdigest() == value["sha256"]
    return cell == value


def corpus_exports(v, shared):
    files = sorted(glob.glob(os.path.join(shared, "corpus", "*.mdb")) + glob.glob(os.path.join(shared, "corpus-ace", "*.accdb")))
    if not files:
        print(f"skipped: the corpus exports ({shared} has no corpus)")
        return
    tables = 0
    for path in files:
        name = os.path.basename(path)
        if name.startswith("wrongpw-"):
            continue
        code, out, err = run(v, "dump", path)
        if code != 0:
            continue  # files the dump refuses are the corpus check's business
        for t in json.loads(out)["tables"]:
            code, text, err = run(v, "export", path, t["name"])
            rows = list(csv.reader(io.StringIO(text, newline="")))
            what = f"{name} {t['name']}"
            if code != 0 or not rows:
                check(False, f"export {what}: {code} {err!r}")
                continue
            check(rows[0] == [c["name"] for c in t["columns"]], f"{what}: header {rows[0]!r}")
            check(len(rows) - 1 == len(t["rows"]), f"{what}: {len(rows) - 1} rows, dump has {len(t['rows'])}")
            bad = [(i, j) for i, (want, got) in enumerate(zip(t["rows"], rows[1:]))
                   for j, (x, c) in enumerate(zip(want, got)) if not cell_matches(x, c)]
            check(not bad, f"{what}: cells differ from the dump at {bad[:3]}: "
                           + (f"{t['rows'][bad[0][0]][bad[0][1]]!r} vs {rows[bad[0][0] + 1][bad[0][1]]!r}" if bad else ""))
            tables += 1
    print(f"corpus: {tables} tables exported and compared with the dump")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    ap.add_argument("--source", required=True)
    ap.add_argument("--shared", required=True)
    a = ap.parse_args()
    version = re.search(r"project\(vantrel VERSION (\S+)", open(os.path.join(a.source, "CMakeLists.txt")).read()).group(1)
    with tempfile.TemporaryDirectory() as tmp:
        code, out, err = run(a.vantrel, "demo", tmp)
        db = os.path.join(tmp, "demo.mdb")
        check(code == 0 and out.strip() == db, f"demo: {code} {out!r} {err!r}")
        usage_errors(a.vantrel, db, version)
        windows_readme(a.vantrel, a.source)
        tables_and_script(a.vantrel, tmp, db)
        outputs_never_replace_the_database(a.vantrel, tmp, db)
        dump_and_export(a.vantrel, tmp)
        progress_on_a_terminal(a.vantrel, db)
    corpus_exports(a.vantrel, a.shared)
    print(f"{PASSED[0]} passed, {len(FAILURES)} failed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
