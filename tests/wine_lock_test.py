#!/usr/bin/env python3
"""Two Windows programs on one database, under Wine: while one vantrel-cli.exe
holds the database open (reading it for `sql`, its output stalled in a full
pipe), a second one that wants to change it gets 3045 and changes nothing.

usage: wine_lock_test.py --wine WINE --exe vantrel-cli.exe
"""
import argparse
import os
import subprocess
import sys
import tempfile


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--exe", required=True)
    a = ap.parse_args()
    with tempfile.TemporaryDirectory() as tmp:
        db = os.path.join(tmp, "big.mdb")
        rows = "".join(f"INSERT INTO T VALUES ({i}, '{'x' * 200}', Null)\n" for i in range(3000))
        made = subprocess.run([a.wine, a.exe, "create", db], input=("CREATE TABLE T (ID LONG, S TEXT(255), N LONG)\n" + rows).encode(),
                              capture_output=True)
        if made.returncode != 0:
            print("create failed:", made.stderr.decode(errors="replace"))
            return 1
        before = open(db, "rb").read()
        # The reader's output goes to a pipe nobody reads: it stalls with the file open.
        reader = subprocess.Popen([a.wine, a.exe, "sql", db], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        try:
            reader.stdout.readline()  # its first statement: the database is open
            if reader.poll() is not None:
                print("the reader ended before the test could use it")
                return 1
            second = subprocess.run([a.wine, a.exe, "convert", db], capture_output=True, timeout=120)
        finally:
            reader.kill()
            reader.wait()
        err = second.stderr.decode("utf-8", "replace")
        ok = second.returncode != 0 and "Error Number [3045]" in err and open(db, "rb").read() == before
        print(("ok  " if ok else "FAIL") + f" second program: exit {second.returncode}, {err.strip()[:200]!r}")
        print(f"{int(ok)} passed, {int(not ok)} failed")
        return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
