#!/usr/bin/env python3
"""The main job's speed: `vantrel convert` (the null-fill of every user table,
in place, each table's column statements in one scan and one journaled unit) on the benchmark database,
against the physical floor of copying the file byte by byte (`cat` into a new
file, then `sync`), in the same run. Prints the best of N wall times and the
peak memory.

usage: bench/convert_bench.py [--vantrel build/vantrel] [--runs 3] [--rows N] [DB]
DB defaults to a database of N (200,000) rows made by make_db.py; the shared
file is /tmp/vantrel-bench/bench-200k.mdb once unpacked (../shared/bench/README.md).
"""
import argparse
import os
import shutil
import subprocess
import tempfile
import time

from bench_util import DEFAULT_VANTREL, made_db, run


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", default=DEFAULT_VANTREL)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--rows", type=int, default=200_000)
    ap.add_argument("db", nargs="?")
    a = ap.parse_args()
    a.db = a.db or made_db(a.rows, a.vantrel)
    work = tempfile.mkdtemp(dir=os.path.dirname(os.path.abspath(a.db)))
    copy_times, conv_times, conv_rss = [], [], 0
    for _ in range(a.runs):
        target = os.path.join(work, "copy.mdb")
        start = time.perf_counter()
        subprocess.run(f"cat '{a.db}' > '{target}' && sync", shell=True, check=True)
        copy_times.append(time.perf_counter() - start)
        os.remove(target)

        db = os.path.join(work, "convert.mdb")
        shutil.copyfile(a.db, db)
        subprocess.run(["sync"], check=True)
        elapsed, rss = run([a.vantrel, "convert", db])
        conv_times.append(elapsed)
        conv_rss = max(conv_rss, rss)
        os.remove(db)
        if os.path.exists(db[:-3] + "tdb"):
            os.remove(db[:-3] + "tdb")
    shutil.rmtree(work)
    size = os.path.getsize(a.db) / 1e6
    print(f"database {os.path.basename(a.db)}: {size:.1f} MB")
    print(f"cat + sync       {min(copy_times):8.2f} s")
    print(f"vantrel convert  {min(conv_times):8.2f} s   peak RSS {conv_rss / 1024:.1f} MB   ({min(conv_times) / min(copy_times):.1f}x the copy)")


if __name__ == "__main__":
    main()
