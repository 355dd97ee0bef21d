#!/usr/bin/env python3
"""Reading speed: `vantrel dump` (every row of every user table, as JSON)
against mdbtools' `mdb-export` (every row of the same tables, as CSV), in the
same run, on the same files. Prints the best of N wall times and the peak
resident memory of each side.

usage: bench/read_bench.py [--vantrel build/vantrel] [--runs 3] DB...
Without DB it takes the largest corpus files and, when unpacked, the
benchmark database (see ../shared/bench/README.md; unpack it into /tmp).
"""
import argparse
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.join(HERE, "..", "..", "shared")


def run(cmd):
    """Wall time and peak RSS (KiB) of one command, output discarded. The RSS
    comes from GNU time: the forked Python would count in a plain wait4."""
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        proc = subprocess.run(["/usr/bin/time", "-f", "%M"] + cmd, stdout=null, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"failed: {' '.join(cmd)}: {proc.stderr.decode(errors='replace')}")
    return elapsed, int(proc.stderr.decode().strip().splitlines()[-1])


def best(cmds, runs):
    """Best total wall time of a list of commands over `runs` rounds, and the peak RSS."""
    times, peak = [], 0
    for _ in range(runs):
        total = 0.0
        for c in cmds:
            t, rss = run(c)
            total += t
            peak = max(peak, rss)
        times.append(total)
    return min(times), peak


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", default=os.path.join(HERE, "..", "build", "vantrel"))
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("dbs", nargs="*")
    a = ap.parse_args()
    dbs = a.dbs or [p for p in [
        os.path.join(SHARED, "corpus", "nw-lordkarnak.mdb"),
        os.path.join(SHARED, "corpus", "jk-V1997-testIndexCodesV1997.mdb"),
        os.path.join(SHARED, "corpus", "jk-V2003-testIndexPropertiesV2003.mdb"),
        "/tmp/vantrel-bench/bench-200k.mdb",
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
