#!/usr/bin/env python3
"""Failures of the file end a command-line run: a damaged data page makes
`convert`, `dump` and `script` exit non-zero with Jet's two lines on standard
error (3049, naming the table and the page) and `convert` writes no end
marker; a read-only folder is 3051 before anything changes, and so is a
file with two names (hard links); `create` refuses a statement nested too
deep (3360) or a date Jet would not read (3075) and leaves no file, nor
when it is killed; a stored date outside 100-9999 is an error naming table
and column; a standard output the system refuses is 61.

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
import time

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


def dates(vantrel, tmp):
    """Date literals as Jet reads them; a stored date outside 100-9999 is an
    error naming table and column in every command that reads it."""
    failures = []
    db = os.path.join(tmp, "Dates.mdb")
    r = run(vantrel, "create", db, stdin=b"CREATE TABLE Visits (ID LONG, [When] DATETIME)\n"
            b"INSERT INTO Visits VALUES (1, #1/1/99#)\nINSERT INTO Visits VALUES (2, #2024-05-01#)\n")
    out = run(vantrel, "export", db, "Visits").stdout.decode()
    if r.returncode != 0 or out != 'ID,When\n1,"1999-01-01 00:00:00"\n2,"2024-05-01 00:00:00"\n':
        failures.append(f"two-digit year: exit {r.returncode}, {r.stderr!r}, {out!r}")
    for k, bad in enumerate(("#1999-02-30#", "#10000-01-01#", "#2/29/2023#")):
        path = os.path.join(tmp, f"BadDate{k}.mdb")
        r = run(vantrel, "create", path, stdin=f"CREATE TABLE T (D DATETIME)\nINSERT INTO T VALUES ({bad})\n".encode())
        err = r.stderr.decode()
        if r.returncode != 1 or not two_lines(err, 3075) or f"query expression '{bad}'" not in err or os.path.exists(path):
            failures.append(f"create with {bad}: exit {r.returncode}, {err!r}, file left: {os.path.exists(path)}")
    # 2024-05-01 (45413 days) stored as 3,000,000 days: after the year 9999.
    data = bytearray(open(db, "rb").read())
    at = data.find(struct.pack("<d", 45413.0), PAGE)
    data[at:at + 8] = struct.pack("<d", 3.0e6)
    open(db, "wb").write(data)
    for cmd in (["dump", db], ["export", db, "Visits"], ["sql", db], ["script", db, "-o", "-"]):
        r = run(vantrel, *cmd)
        err = r.stderr.decode()
        if r.returncode != 1 or "table 'Visits', column 'When' holds a date outside the years 100-9999" not in err:
            failures.append(f"{cmd[0]} of a date after 9999: exit {r.returncode}, {err!r}")
    r = run(vantrel, "check", db)
    if r.returncode != 1 or "Visits: row 2: Overflow (table 'Visits', column 'When' holds a date" not in r.stdout.decode() \
            or "1 problem" not in r.stdout.decode():
        failures.append(f"check of a date after 9999: exit {r.returncode}, {r.stdout!r}, {r.stderr!r}")
    return failures


def standard_output_refused(vantrel, tmp):
    """A command whose standard output the system refuses fails (61 Disk
    full), never exit 0 with the text lost."""
    failures = []
    if not os.path.exists("/dev/full"):
        print("skipped: no /dev/full")
        return failures
    db = os.path.join(tmp, "Out.mdb")
    make(vantrel, db)
    for cmd in (["tables", db], ["dump", db], ["export", db, "Parts"], ["sql", db], ["check", db], ["--help"]):
        with open("/dev/full", "wb") as full:
            r = subprocess.run([vantrel, *cmd], stdout=full, stderr=subprocess.PIPE)
        err = r.stderr.decode()
        if r.returncode != 1 or not two_lines(err, 61):
            failures.append(f"{cmd[0]} > /dev/full: exit {r.returncode}, {err!r}")
    # A date format whose text is longer than any fixed buffer: written whole.
    fmt = "%Y-%m-%d " * 60
    r = run(vantrel, "create", os.path.join(tmp, "Fmt.mdb"), stdin=b"CREATE TABLE T (D DATETIME)\nINSERT INTO T VALUES (#2024-05-01#)\n")
    r = run(vantrel, "export", os.path.join(tmp, "Fmt.mdb"), "T", "-H", "-D", fmt)
    if r.returncode != 0 or r.stdout.decode() != '"' + "2024-05-01 " * 60 + '"\n':
        failures.append(f"export -D with a long format: exit {r.returncode}, {r.stdout[:80]!r}")
    return failures


def create_killed(vantrel, tmp):
    """`create` killed mid-way leaves no database under its name: the rerun
    makes it (no 3204)."""
    failures = []
    db = os.path.join(tmp, "Killed.mdb")
    p = subprocess.Popen([vantrel, "create", db], stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    p.stdin.write(b"CREATE TABLE T (A LONG)\nINSERT INTO T VALUES (1)\n")
    p.stdin.flush()
    # The statements before the end of the input have run once a file is there.
    for _ in range(1000):
        if [n for n in os.listdir(tmp) if n.startswith("Killed.mdb")]:
            break
        time.sleep(0.01)
    time.sleep(0.2)
    p.kill()
    p.communicate()
    if os.path.exists(db):
        failures.append(f"create killed mid-way left {db} ({os.path.getsize(db)} bytes)")
    r = run(vantrel, "create", db, stdin=b"CREATE TABLE T (A LONG)\n")
    if r.returncode != 0:
        failures.append(f"create after a killed one: exit {r.returncode}, {r.stderr!r}")
    left = [n for n in os.listdir(tmp) if n.startswith("Killed.mdb.")]
    if left:
        failures.append(f"the killed create's file stays after the rerun: {left}")
    return failures


def stale_writes(vantrel, tmp):
    """A "X.tdb.writing-PID" left by a process that is gone is removed at the
    next write of X.tdb; one of a running process is left alone."""
    failures = []
    db = os.path.join(tmp, "Stale.mdb")
    make(vantrel, db)
    ended = subprocess.Popen([sys.executable, "-c", "pass"])
    ended.wait()
    gone = os.path.join(tmp, f"Stale.tdb.writing-{ended.pid}")
    live = os.path.join(tmp, f"Stale.tdb.writing-{os.getpid()}")
    for path in (gone, live):
        open(path, "wb").write(b"INSERT INTO [Parts]")
    r = run(vantrel, "script", db)
    if r.returncode != 0 or os.path.exists(gone) or not os.path.exists(live):
        failures.append(f"stale writing files: exit {r.returncode}, gone one kept: {os.path.exists(gone)}, "
                        f"running one kept: {os.path.exists(live)}")
    return failures


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

        # A name whose script file cannot have its temporary name: said so, with the path.
        long_db = os.path.join(tmp, "a" * 241 + ".mdb")
        with open(db4, "rb") as f, open(long_db, "wb") as g:
            g.write(f.read())
        r = run(a.vantrel, "convert", long_db)
        err = r.stderr.decode("utf-8", "replace")
        if r.returncode != 1 or not two_lines(err, 75) or "temporary name" not in err:
            failures.append(f"convert of a 245-byte name: exit {r.returncode}, {err!r}")

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
        failures += dates(a.vantrel, tmp)
        failures += standard_output_refused(a.vantrel, tmp)
        failures += create_killed(a.vantrel, tmp)
        failures += stale_writes(a.vantrel, tmp)
    for f in failures:
        print("FAIL", f)
    print(f"{'no' if not failures else len(failures)} failure(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
