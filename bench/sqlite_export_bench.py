#!/usr/bin/env python3
"""`vantrel export --sqlite` (copy, indexes and verification, the file
synced once at the end) on the benchmark database, against the mdbtools route
to a SQLite file in the same run: `mdb-schema F sqlite | sqlite3 X` (tables,
no indexes), then for each table `mdb-export -I sqlite -b hex F T` (binary as
X'..' literals: raw bytes break its SQL) wrapped in BEGIN/COMMIT, one
transaction per table as vantrel writes, piped into `sqlite3 X`. The peer runs
twice: with sqlite3's defaults (a rollback journal, each COMMIT synced: the
file is durable at the end, as vantrel's is), and with journal_mode=OFF and
synchronous=OFF as vantrel writes its temporary file. Prints the best of N
wall times and the peak memory of each route (the largest of any one process
of the pipeline).

usage: bench/sqlite_export_bench.py [--vantrel build/vantrel] [--runs 3] [DB]
DB defaults to the shared file, unpacked from ../shared/bench/bench-200k.mdb.xz
into /tmp/vantrel-bench when it is not there yet.
"""
import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

from bench_util import BENCH_DB, DEFAULT_VANTREL, SHARED, run


def unpacked_bench_db():
    if not os.path.exists(BENCH_DB):
        os.makedirs(os.path.dirname(BENCH_DB), exist_ok=True)
        with open(BENCH_DB + ".part", "wb") as out:
            subprocess.run(["xz", "-dc", os.path.join(SHARED, "bench", "bench-200k.mdb.xz")], stdout=out, check=True)
        os.rename(BENCH_DB + ".part", BENCH_DB)
    return BENCH_DB


def timed_shell(script):
    """Wall time and the peak RSS (KiB) of the largest process of a shell pipeline."""
    start = time.perf_counter()
    proc = subprocess.run(["bash", "-c", script], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    elapsed = time.perf_counter() - start
    if proc.returncode != 0:
        sys.exit(f"failed: {script}: {proc.stderr.decode(errors='replace')[-2000:]}")
    peaks = [int(line.split()[-1]) for line in proc.stderr.decode().splitlines() if line.startswith("RSS ")]
    return elapsed, max(peaks)


def mdbtools_script(db, out, pragmas):
    t = "/usr/bin/time -f 'RSS %M'"
    tables = subprocess.run(["mdb-tables", "-1", db], capture_output=True, text=True, check=True).stdout.split("\n")
    lines = [f"set -o pipefail; {t} mdb-schema '{db}' sqlite | {t} sqlite3 '{out}'"]
    for name in filter(None, tables):
        lines.append(f"( echo '{pragmas} BEGIN;'; {t} mdb-export -I sqlite -b hex '{db}' '{name}'; "
                     f"echo 'COMMIT;' ) | {t} sqlite3 '{out}'")
    return "\n".join(lines)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", default=DEFAULT_VANTREL)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("db", nargs="?")
    a = ap.parse_args()
    db = a.db or unpacked_bench_db()
    work = tempfile.mkdtemp(prefix="vantrel-sqlite-bench-")
    peers = {"sqlite3's defaults": "", "journal and syncs off": "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF;"}
    ours, our_rss = [], 0
    theirs = {name: ([], [0]) for name in peers}
    try:
        for _ in range(a.runs):
            out = os.path.join(work, "vantrel.sqlite")
            t, rss = run([a.vantrel, "export", db, "--sqlite", out, "--replace"])
            ours.append(t)
            our_rss = max(our_rss, rss)
            for name, pragmas in peers.items():
                out = os.path.join(work, "mdbtools.sqlite")
                if os.path.exists(out):
                    os.remove(out)
                t, rss = timed_shell(mdbtools_script(db, out, pragmas))
                theirs[name][0].append(t)
                theirs[name][1][0] = max(theirs[name][1][0], rss)
    finally:
        shutil.rmtree(work)
    print(f"database: {db} ({os.path.getsize(db):,} bytes), best of {a.runs}")
    print(f"vantrel export --sqlite (indexes, verified, synced): {min(ours):.2f} s, peak {our_rss / 1024:.0f} MiB")
    for name, (times, rss) in theirs.items():
        print(f"mdb-schema + mdb-export -I sqlite | sqlite3 ({name}): {min(times):.2f} s, peak {rss[0] / 1024:.0f} MiB"
              f" -> vantrel {min(times) / min(ours):.1f}x faster")


if __name__ == "__main__":
    main()
