#!/usr/bin/env python3
"""Bulk INSERT: `vantrel create` against sqlite3 loading the same rows.

For each row count, make_db.py writes the rows once as Jet SQL and as a
sqlite3 script (one transaction, the same two indexes); both tools then load
them into a new file, best of --runs. Prints rows per second and the ratio.
usage: insert_bench.py [--rows 1000,100000,2000000] [--runs 2]"""
import argparse
import os
import shutil
import tempfile

import make_db
from bench_util import DEFAULT_VANTREL, run


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("--rows", default="1000,10000,100000,1000000")
    ap.add_argument("--runs", type=int, default=2)
    ap.add_argument("--vantrel", default=DEFAULT_VANTREL)
    ap.add_argument("--sqlite3", default=shutil.which("sqlite3") or "sqlite3")
    a = ap.parse_args()
    print(f"{'rows':>9} {'vantrel s':>10} {'rows/s':>10} {'MB':>6} {'sqlite3 s':>10} {'rows/s':>10} {'ratio':>6}")
    with tempfile.TemporaryDirectory() as tmp:
        for n in [int(x) for x in a.rows.split(",")]:
            jet_sql, lite_sql = os.path.join(tmp, "rows.sql"), os.path.join(tmp, "rows.sqlite.sql")
            make_db.write_scripts(n, 1, jet_sql, lite_sql)
            best_v = best_s = None
            peak = 0
            for _ in range(a.runs):
                db, lite = os.path.join(tmp, "b.mdb"), os.path.join(tmp, "b.sqlite")
                for p in (db, lite):
                    if os.path.exists(p):
                        os.unlink(p)
                t, rss = run([a.vantrel, "create", db, "-f", jet_sql])
                best_v = t if best_v is None else min(best_v, t)
                peak = max(peak, rss)
                t, _ = run(["sh", "-c", f'"{a.sqlite3}" "{lite}" < "{lite_sql}"'])
                best_s = t if best_s is None else min(best_s, t)
            print(f"{n:>9} {best_v:>10.2f} {n / best_v:>10.0f} {peak / 1024:>6.0f} {best_s:>10.2f} {n / best_s:>10.0f} {best_v / best_s:>6.2f}")


if __name__ == "__main__":
    main()
