#!/usr/bin/env python3
"""The script file written by the Windows program in the ANSI code page of the
system it runs on: under a Western locale (1252) Chinese becomes "?" and the
accents stay; under a Traditional Chinese one (950) the Chinese text stays.
`script -o -` puts the same bytes on standard output, from any current
folder (C: or Z:).

usage: wine_code_page_test.py --wine WINE --exe vantrel-cli.exe
(WINEPREFIX and WINEDEBUG come from the environment.)
"""
import argparse
import os
import subprocess
import sys
import tempfile

STATEMENTS = ("CREATE TABLE Shop (ID LONG, Name TEXT(20))\n"
              "INSERT INTO Shop VALUES (1, '執行')\n"
              "INSERT INTO Shop VALUES (2, 'café')\n")

WANT = {
    "en_US": b'INSERT INTO [Shop] ([ID], [Name]) values (1, "??")\r\n'
             b'INSERT INTO [Shop] ([ID], [Name]) values (2, "caf\xe9")\r\nEnd Of File\r\n',
    "zh_TW": b'INSERT INTO [Shop] ([ID], [Name]) values (1, "\xb0\xf5\xa6\xe6")\r\n'
             b'INSERT INTO [Shop] ([ID], [Name]) values (2, "caf?")\r\nEnd Of File\r\n',
}


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--exe", required=True)
    a = ap.parse_args()
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        db = os.path.join(tmp, "shop.mdb")
        made = subprocess.run([a.wine, a.exe, "create", db], input=STATEMENTS.encode("utf-8"), capture_output=True)
        if made.returncode != 0:
            print("create failed:", made.stderr.decode(errors="replace"))
            return 1
        for lang, want in WANT.items():
            env = dict(os.environ, LANG=f"{lang}.UTF-8", LC_ALL=f"{lang}.UTF-8")
            out = os.path.join(tmp, f"{lang}.tdb")
            r = subprocess.run([a.wine, a.exe, "script", db, "-o", out], env=env, capture_output=True)
            got = open(out, "rb").read() if os.path.exists(out) else b""
            if r.returncode != 0 or got != want:
                failures += 1
                print(f"FAIL {lang}: exit {r.returncode}, {got!r}, {r.stderr.decode(errors='replace')!r}")
            else:
                print(f"ok   {lang}")
            drive_c = os.path.join(os.environ.get("WINEPREFIX", ""), "drive_c")
            # From C: the database is named by its Windows path on Z:.
            for cwd, name in ((tmp, db), (drive_c, "Z:" + db.replace("/", "\\"))):
                r = subprocess.run([a.wine, a.exe, "script", name, "-o", "-"], env=env, capture_output=True, cwd=cwd)
                if r.returncode != 0 or r.stdout != want:
                    failures += 1
                    print(f"FAIL {lang} -o - in {cwd}: exit {r.returncode}, {r.stdout!r}, {r.stderr.decode(errors='replace')!r}")
                else:
                    print(f"ok   {lang} -o - in {cwd}")
    print(f"{3 * len(WANT) - failures} passed, {failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
