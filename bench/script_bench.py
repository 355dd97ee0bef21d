#!/usr/bin/env python3
"""Script writing speed: `vantrel script` (INSERT lines, each table's lines
appended in blocks through one open file, synced and renamed at the end)
against `mdb-export -I mysql` (INSERT statements to standard output) for the
same tables, in the same run. Prints the best of N wall times and peak memory.

usage: bench/script_bench.py [--vantrel build/vantrel] [--runs 3] [DB [TABLE...]]
Without DB: Northwind from the corpus (all tables) and, when unpacked, the
benchmark database's Orders, OrderLines and Customer Notes (Customers holds a
Decimal column, which the script writer refuses with error 13).
"""
import argparse
import os
import subprocess
import tempfile

from bench_util import BENCH_DB, DEFAULT_VANTREL, SHARED, best, made_db


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", default=DEFAULT_VANTREL)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("db", nargs="?")
    ap.add_argument("tables", nargs="*")
    a = ap.parse_args()
    cases = [(a.db, a.tables)] if a.db else [
        (made_db(200_000, a.vantrel), ["OrderLines"]),
        (os.path.join(SHARED, "corpus", "nw-lordkarnak.mdb"), []),
        (BENCH_DB, ["Orders", "OrderLines", "Customer Notes"]),
    ]
    out = os.path.join(tempfile.mkdtemp(), "bench.tdb")
    print(f"{'database':28} {'tables':>6} {'vantrel s':>10} {'RSS MB':>7} {'mdb-export s':>13} {'RSS MB':>7} {'ratio':>6}")
    for db, tables in cases:
        if not os.path.exists(db):
            continue
        if not tables:
            tables = subprocess.run([a.vantrel, "tables", db], capture_output=True, text=True, check=True).stdout.splitlines()
        ours_cmd = [a.vantrel, "script", db, "-o", out] + [x for t in tables for x in ("--table", t)]
        ours, our_rss = best([ours_cmd], a.runs)
        theirs, their_rss = best([["mdb-export", "-I", "mysql", db, t] for t in tables], a.runs)
        print(f"{os.path.basename(db):28} {len(tables):6} {ours:10.3f} {our_rss / 1024:7.1f} {theirs:13.3f} {their_rss / 1024:7.1f} {theirs / ours:6.1f}")


if __name__ == "__main__":
    main()
