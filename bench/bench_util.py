"""Shared helpers of the benchmarks: timing commands with their peak memory."""
import os
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SHARED = os.path.join(HERE, "..", "..", "shared")
DEFAULT_VANTREL = os.path.join(HERE, "..", "build", "vantrel")
BENCH_DB = "/tmp/vantrel-bench/bench-200k.mdb"  # the shared 164 MB file, unpacked (../shared/bench/README.md)
MADE_DIR = "/tmp/vantrel-bench"


def made_db(rows, vantrel=DEFAULT_VANTREL):
    """A database of `rows` order lines made by make_db.py (once; kept in MADE_DIR)."""
    path = os.path.join(MADE_DIR, f"made-{rows}.mdb")
    if not os.path.exists(path):
        os.makedirs(MADE_DIR, exist_ok=True)
        subprocess.run([sys.executable, os.path.join(HERE, "make_db.py"), str(rows), path, "--vantrel", vantrel],
                       check=True, stdout=subprocess.DEVNULL)
    return path


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
