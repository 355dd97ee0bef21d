#!/usr/bin/env python3
"""A database another program has open is never written: `convert` gets 3045
and the database stays byte for byte as it was, while `dump` reads it as
always. The other program is a second vantrel (reading it for `sql`, its
output stalled in a full pipe), a program holding the database as Access
does (Windows: reading and writing, sharing reading and writing), or one
holding Access's lock file beside it (NAME.ldb; NAME.laccdb for .accdb):
on Windows open as Access keeps it, on POSIX with an fcntl or flock lock.
A lock file nobody holds is stale: ignored, and left as it is.

usage: held_file_test.py --exe VANTREL [--wine WINE --holder vantrel_hold_file.exe]
"""
import argparse
import os
import select
import shutil
import subprocess
import sys
import tempfile

# Holds a file with a lock of the kind given, says "held", waits.
POSIX_HOLDER = r"""
import fcntl, sys, time
f = open(sys.argv[1], "r+b")
if sys.argv[2] == "fcntl":
    fcntl.lockf(f, fcntl.LOCK_SH, 1, 64)  # one byte, as Jet locks ranges
else:
    fcntl.flock(f, fcntl.LOCK_SH)
print("held", flush=True)
time.sleep(float(sys.argv[3]))
"""
HOLD_SECONDS = 120  # a holder ends by itself after this, whatever happens here


class Held:
    """A process holding `path` while the block runs; always ended after."""

    def __init__(self, command):
        self.command = command

    def __enter__(self):
        self.p = subprocess.Popen(self.command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        ready, _, _ = select.select([self.p.stdout], [], [], 60)
        line = self.p.stdout.readline() if ready else b""
        if line.strip() != b"held":
            self.__exit__()
            raise RuntimeError(f"{self.command}: the holder did not start ({line!r})")
        return self

    def __exit__(self, *exc):
        self.p.kill()
        self.p.wait(timeout=60)


def make_db(run, path):
    rows = "".join(f"INSERT INTO T VALUES ({i}, '{'x' * 200}', Null)\n" for i in range(3000))
    made = run(["create", path], input=("CREATE TABLE T (ID LONG, S TEXT(255), N LONG)\n" + rows).encode())
    if made.returncode != 0:
        raise RuntimeError("create failed: " + made.stderr.decode(errors="replace"))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--exe", required=True)
    ap.add_argument("--wine")
    ap.add_argument("--holder", help="vantrel_hold_file.exe (with --wine)")
    a = ap.parse_args()
    prefix = [a.wine] if a.wine else []

    def run(args, **kw):
        return subprocess.run(prefix + [a.exe] + args, capture_output=True, timeout=300, **kw)

    def hold(path, how):
        if a.wine:
            return Held([a.wine, a.holder, path, str(HOLD_SECONDS)])
        return Held([sys.executable, "-c", POSIX_HOLDER, path, how, str(HOLD_SECONDS)])

    def second_program(db):
        # Its output goes to a pipe nobody reads: it stalls with the file open.
        reader = subprocess.Popen(prefix + [a.exe, "sql", db], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
        ready, _, _ = select.select([reader.stdout], [], [], 120)
        # Its first statement: the database is open.
        if not ready or not reader.stdout.readline() or reader.poll() is not None:
            reader.kill()
            reader.wait(timeout=60)
            raise RuntimeError("the reader ended or said nothing before the test could use it")
        return reader

    def convert_while_held(case, folder):
        """convert (and dump) while the case's holder holds what it holds."""
        db = os.path.join(folder, case["db"])
        if case["holder"] == "vantrel":
            reader = second_program(db)
            try:
                return run(["convert", db]), None
            finally:
                reader.kill()
                reader.wait(timeout=60)
        if case["holder"] is None:
            return run(["convert", db]), None
        target = db if case["holder"] == "database" else os.path.join(folder, case["lock"])
        with hold(target, case.get("how", "")):
            return run(["convert", db]), run(["dump", db])

    # holder: "vantrel", "database" (as Access holds it), "lock" (the lock file), None (a stale lock file)
    cases = [dict(name="a second vantrel", db="big.mdb", holder="vantrel")]
    names = [("big.mdb", "big.ldb"), ("big.accdb", "big.laccdb"), ("big.v1.dat", "big.v1.ldb")]
    if a.wine:
        cases.append(dict(name="held as Access holds it", db="big.mdb", holder="database"))
        cases += [dict(name="lock file held", db=db, lock=lock, holder="lock") for db, lock in names]
    else:
        cases += [dict(name=f"lock file held ({how})", db=db, lock=lock, holder="lock", how=how)
                  for how in ("fcntl", "flock") for db, lock in names[:2]]
    cases.append(dict(name="stale lock file", db="big.mdb", lock="big.ldb", holder=None))

    failures, passed = [], 0
    with tempfile.TemporaryDirectory() as tmp:
        source = os.path.join(tmp, "source.mdb")
        make_db(run, source)
        expected_dump = run(["dump", source]).stdout
        for n, case in enumerate(cases):
            folder = os.path.join(tmp, str(n))
            os.mkdir(folder)
            db = os.path.join(folder, case["db"])
            shutil.copyfile(source, db)
            lock = os.path.join(folder, case.get("lock", "none"))
            if "lock" in case:
                with open(lock, "wb") as f:
                    f.write(b"left by a program")
            lock_before = (open(lock, "rb").read(), os.stat(lock).st_mtime_ns) if "lock" in case else None
            before = open(db, "rb").read()
            converted, dumped = convert_while_held(case, folder)
            err = converted.stderr.decode("utf-8", "replace")
            lock_kept = lock_before is None or (open(lock, "rb").read(), os.stat(lock).st_mtime_ns) == lock_before
            if case["holder"] is None:
                ok = converted.returncode == 0 and lock_kept
            else:
                ok = (converted.returncode != 0 and "Error Number [3045]" in err and f"Could not use '{db}'" in err
                      and open(db, "rb").read() == before and lock_kept
                      and (dumped is None or (dumped.returncode == 0 and dumped.stdout == expected_dump)))
            said = f"convert exit {converted.returncode}, {err.strip()[:160]!r}, lock file kept: {lock_kept}"
            if dumped is not None:
                said += f"; dump exit {dumped.returncode}, same rows: {dumped.stdout == expected_dump}"
            print(("ok  " if ok else "FAIL") + f" {case['name']} ({case['db']}): {said}")
            if ok:
                passed += 1
            else:
                failures.append(case["name"])
    print(f"{passed} passed, {len(failures)} failed")
    return 0 if not failures else 1


if __name__ == "__main__":
    sys.exit(main())
