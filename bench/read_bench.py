#!/usr/bin/env python3
"""Reading speed: `vantrel dump` (every row of every user table, as JSON)
against mdbtools' `mdb-export` (every row of the same tables, as CSV), in the
same run, on the same files. Prints the best of N wall times and the peak
resident memory of each side.

usage: bench/read_bench.py [--vantrel build/vantrel] [--runs 3] DB...
Without DB it takes a database of 200,000 rows made by make_db.py, the largest corpus files and, when unpacked, the
benchmark database (see ../shared/bench/README.md; unpack it into /tmp).
"""
import argparse
import os
import subprocess

from bench_util import BENCH_DB, DEFAULT_VANTREL, SHARED, best, made_db


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", default=DEFAULT_VANTREL)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("dbs", nargs="*")
    a = ap.parse_args()
    dbs = a.dbs or [made_db(200_000, a.vantrel)] + [p for p in [
        os.path.join(SHARED, "corpus", "nw-lordkarnak.mdb"),
        os.path.join(SHARED, "corpus", "jk-V1997-testIndexCodesV1997.mdb"),
        os.path.join(SHARED, "corpus", "jk-V2003-testIndexPropertiesV2003.mdb"),
        BENCH_DB,
    ] if os.path.exists(p)]
    print(f"{'database':40} {'MB':>7} {'vantrel s':>10} {'RSS MB':>7} {'mdb-export s':>13} {'RSS MB':>7} {'ratio':>6}")
    for db in dbs:
        tables = subprocess.run([a.vantrel, "tables", db], capture_output=True, text=True, check=True).stdout.splitlines()
        ours, our_rss = best([[a.vantrel, "dump", db]], a.runs)
        theirs, their_rss = best([["mdb-export", db, t] for t in tables], a.runs)
        size = os.path.getsize(db) / 1e6
        print(f"{os.path.basename(db):40} {size:7.1f} {ours:10.3f} {our_rss / 1024:7.1f} {theirs:13.3f} {their_rss / 1024:7.1f} {theirs / ours:6.1f}")


if __name__ == "__main__":
    main()
