#!/usr/bin/env python3
"""Failures of the file end a command-line run: a damaged data page makes
`convert`, `dump` and `script` exit non-zero with Jet's two lines on standard
error (3049, naming the table and the page) and `convert` writes no end
marker; a read-only folder is 3051 before anything changes, and so is a
file with two names (hard links); `create` refuses
a statement nested too deep (3360) and leaves no file.

usage: cli_failure_test.py --vantrel PATH
"""
import argparse
import os
import re
import stat
import struct
import subprocess
import sys
import tempfile

PAGE = 4096
SQL = """CREATE TABLE Parts (Zqxid LONG PRIMARY KEY, Zqxname TEXT(20), Zqxqty SHORT)
INSERT INTO Parts (Zqxid, Zqxname) VALUES (1, 'bolt')
INSERT INTO Parts (Zqxid, Zqxqty) VALUES (2, 5)
"""


def run(*args, stdin=None):
    return subprocess.run(list(args), input=stdin, capture_output=True)


def make(vantrel, path):
    r = run(vantrel, "create", path, "--password", "bluefinchtea", stdin=SQL.encode())
    if r.returncode != 0:
        raise SystemExit(f"create failed: {r.stderr!r}")


def zero_table_pages(path):
    """Zeroes the data pages of the table whose definition names column Zqxid."""
    data = bytearray(open(path, "rb").read())
    marker = "Zqxid".encode("utf-16-le")
    tdefs = {n for n in range(len(data) // PAGE) if data[n * PAGE] == 0x02 and marker in data[n * PAGE:(n + 1) * PAGE]}
    zeroed = []
    for n in range(len(data) // PAGE):
        at = n * PAGE
        if data[at] == 0x01 and struct.unpack_from("<I", data, at + 4)[0] in tdefs:
            data[at:at + PAGE] = bytes(PAGE)
            zeroed.append(n)
    open(path, "wb").write(data)
    return zeroed


def date_beyond_9999(vantrel, path):
    """A table whose one date is moved past 9999-12-31 in its stored bytes, as
    another tool or damage could leave it."""
    sql = "CREATE TABLE Visits (Zqvid LONG, Zqvwhen DATETIME)\nINSERT INTO Visits VALUES (1, #2000-01-01#)\n"
    r = run(vantrel, "create", path, "--password", "bluefinchtea", stdin=sql.encode())
    if r.returncode != 0:
        raise SystemExit(f"create failed: {r.stderr!r}")
    data = bytearray(open(path, "rb").read())
    stored, beyond = struct.pack("<d", 36526.0), struct.pack("<d", 3.0e6)
    pages = [n * PAGE for n in range(len(data) // PAGE) if data[n * PAGE] == 0x01]
    hits = [at + data[at:at + PAGE].find(stored) for at in pages if stored in data[at:at + PAGE]]
    if len(hits) != 1:
        raise SystemExit(f"the stored date was found {len(hits)} times")
    data[hits[0]:hits[0] + 8] = beyond
    open(path, "wb").write(data)


def two_lines(stderr, number):
    return re.fullmatch(rf"Error Number \[{number}\]\nError Description \[[^\n]*\]\n", stderr) is not None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    a = ap.parse_args()
    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        db = os.path.join(tmp, "Parts.mdb")
        make(a.vantrel, db)
        zeroed = zero_table_pages(db)
        if not zeroed:
            raise SystemExit("no data page of Parts found")
        for cmd in (["convert", db], ["dump", db], ["script", db, "-o", os.path.join(tmp, "out.tdb")]):
            r = run(a.vantrel, *cmd)
            err = r.stderr.decode("utf-8", "replace")
            # convert ends with the two-line error; dump and script name the
            # table they were reading before Jet's number and description.
            said = two_lines(err, 3049) if cmd[0] == "convert" else "Error Number [3049] Error Description [" in err
            if r.returncode == 0 or not said or f"table 'Parts': page {zeroed[0]}" not in err:
                failures.append(f"{cmd[0]} on a zeroed page: exit {r.returncode}, {err!r}")
            if cmd[0] == "convert" and r.stdout:
                failures.append(f"convert printed column messages: {r.stdout!r}")
        script = os.path.join(tmp, "Parts.tdb")
        if os.path.exists(script) and b"End Of File" in open(script, "rb").read():
            failures.append("convert wrote the end marker after a damaged page")

        # A value that cannot be read is reported with its table and column,
        # never a crash (the failure used to name a column already freed).
        db4 = os.path.join(tmp, "Visits.mdb")
        date_beyond_9999(a.vantrel, db4)
        for cmd in (["dump", db4], ["export", db4, "Visits"], ["export", db4, "Visits", "--format", "jsonl"]):
            r = run(a.vantrel, *cmd)
            err = r.stderr.decode("utf-8", "replace")
            if r.returncode != 1 or "Visits.Zqvwhen" not in err:
                failures.append(f"{' '.join(cmd[:1] + cmd[2:])} of a date past 9999: exit {r.returncode}, {err!r}")

        folder = os.path.join(tmp, "ro")
        os.mkdir(folder)
        db2 = os.path.join(folder, "Parts.mdb")
        make(a.vantrel, db2)
        before = open(db2, "rb").read()
        os.chmod(folder, stat.S_IRUSR | stat.S_IXUSR)
        try:
            r = run(a.vantrel, "convert", db2)
        finally:
            os.chmod(folder, stat.S_IRWXU)
        err = r.stderr.decode("utf-8", "replace")
        if r.returncode == 0 or not two_lines(err, 3051) or r.stdout or open(db2, "rb").read() != before:
            failures.append(f"convert in a read-only folder: exit {r.returncode}, {err!r}, {r.stdout!r}")

        # A file with a second name is read but never written: a change cut
        # short under one name would not be found under the other.
        db5 = os.path.join(tmp, "Linked.mdb")
        make(a.vantrel, db5)
        os.link(db5, os.path.join(tmp, "Other.mdb"))
        before = open(db5, "rb").read()
        r = run(a.vantrel, "convert", db5)
        err = r.stderr.decode("utf-8", "replace")
        if r.returncode == 0 or not two_lines(err, 3051) or "2 names" not in err or open(db5, "rb").read() != before:
            failures.append(f"convert of a file with two names: exit {r.returncode}, {err!r}")
        # A name too long for its journal's name cannot have a journal: read.
        db6 = os.path.join(tmp, "n" * 251 + ".mdb")
        os.rename(os.path.join(tmp, "Other.mdb"), db6)
        for name in (db5, db6):
            r = run(a.vantrel, "dump", name)
            if r.returncode != 0 or b"bolt" not in r.stdout:
                failures.append(f"dump of {os.path.basename(name)[:20]}...: exit {r.returncode}, {r.stderr!r}")
        if open(db6, "rb").read() != before:
            failures.append("dump changed the file")

        db3 = os.path.join(tmp, "Deep.mdb")
        deep = "CREATE TABLE T (A LONG)\nDELETE FROM T WHERE " + "(" * 100000 + "A=1" + ")" * 100000 + "\n"
        r = run(a.vantrel, "create", db3, stdin=deep.encode())
        err = r.stderr.decode("utf-8", "replace")
        if r.returncode == 0 or not two_lines(err, 3360) or os.path.exists(db3):
            failures.append(f"create with 100,000 parentheses: exit {r.returncode}, {err!r}, file left: {os.path.exists(db3)}")
    for f in failures:
        print("FAIL", f)
    print(f"{'no' if not failures else len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
