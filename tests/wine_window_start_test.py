#!/usr/bin/env python3
"""The shipped vantrel.exe opens its window under Wine (run inside xvfb-run),
with the form's client area at 96 dpi (7080 x 2970 twips: 472 x 198 pixels),
both with the later Windows functions and with XP's way forced
(VANTREL_WINDOWS_XP_API=1: the screen's DPI and AdjustWindowRectEx).

usage: wine_window_start_test.py --wine WINE --exe vantrel.exe
(WINEPREFIX and WINEDEBUG come from the environment.)
"""
import argparse
import os
import re
import subprocess
import sys
import time

WANT = (472, 198)  # 7080 x 2970 twips at 96 dpi


def window_size(title):
    tree = subprocess.run(["xwininfo", "-root", "-tree"], capture_output=True, text=True).stdout
    m = re.search(r'"' + re.escape(title) + r'": \("vantrel\.exe"[^)]*\)\s+(\d+)x(\d+)', tree)
    return (int(m.group(1)), int(m.group(2))) if m else None


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine", required=True)
    ap.add_argument("--exe", required=True)
    a = ap.parse_args()
    failed = False
    for forced in ("0", "1"):
        env = dict(os.environ, VANTREL_WINDOWS_XP_API=forced)
        proc = subprocess.Popen([a.wine, a.exe], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            # The window is made small, then sized: wait for its final size.
            size = None
            deadline = time.monotonic() + 90
            while size != WANT and time.monotonic() < deadline and proc.poll() is None:
                time.sleep(0.5)
                size = window_size("Vantrel")
        finally:
            proc.kill()
            proc.wait()
        print(f"VANTREL_WINDOWS_XP_API={forced}: window {size}")
        failed |= size != WANT
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
