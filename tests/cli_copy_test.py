#!/usr/bin/env python3
"""`vantrel convert DB --copy`: the conversion, then the copy into the
emulator folder under a Wine prefix made for the test (also with a database
path relative to the current folder); without the folder, the two-line error
naming the folder, and exit status 1.

usage: cli_copy_test.py --vantrel PATH --shared DIR   (exit 77: no shared folder)
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile

FOLDER = "drive_c/Windows CE Tools/wce300/MS Pocket PC/emulation/palm300/My Documents"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    ap.add_argument("--shared", required=True)
    a = ap.parse_args()
    source = os.path.join(a.shared, "corpus", "jk-V2000-delTestV2000.mdb")
    if not os.path.exists(source):
        print(f"skipped: {source} is absent (the shared folder is not beside the project)")
        return 77
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        db = os.path.join(tmp, "Shop.mdb")
        shutil.copyfile(source, db)
        wine = os.path.join(tmp, "wine")
        env = dict(os.environ, WINEPREFIX=wine)
        # No emulator folder yet: refused with Jet's two lines, exit non-zero.
        r = subprocess.run([a.vantrel, "convert", db, "--copy"], capture_output=True, env=env)
        err = r.stderr.decode("utf-8")
        folder = os.path.join(wine, FOLDER) + "/"
        if r.returncode != 1 or f"Error Number [76]\nError Description [Path not found: the emulator folder {folder} " not in err:
            print(f"FAIL without the folder: exit {r.returncode}, {err!r}")
            failures += 1
        os.makedirs(os.path.join(wine, FOLDER))
        shutil.copyfile(source, db)
        r = subprocess.run([a.vantrel, "convert", db, "--copy"], capture_output=True, env=env)
        copied = os.path.join(wine, FOLDER, "Shop.tdb")
        if r.returncode != 0 or not os.path.exists(copied) or open(copied, "rb").read() != b"End Of File\r\n":
            print(f"FAIL copy: exit {r.returncode}, {r.stderr.decode('utf-8', 'replace')!r}")
            failures += 1
        # A relative database path: the script is found from the folder the
        # command was started in, though the copy changes folder.
        os.remove(copied)
        shutil.copyfile(source, db)
        r = subprocess.run([a.vantrel, "convert", "Shop.mdb", "--copy"], capture_output=True, env=env, cwd=tmp)
        if r.returncode != 0 or not os.path.exists(copied) or open(copied, "rb").read() != b"End Of File\r\n":
            print(f"FAIL copy with a relative path: exit {r.returncode}, {r.stderr.decode('utf-8', 'replace')!r}")
            failures += 1
    print(f"{3 - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
