#!/usr/bin/env python3
"""INSERTs into tables with validation rules, an enforced relationship and
default values, read back by independent readers.

vantrel_make_rules_db builds the database (tests/rules_db.h) and runs INSERTs
Jet lets in and INSERTs it refuses. mdb-reader (npm, through the shared
folder's dump tool) and mdbtools must then read exactly the rows meant: the
refused ones absent, the omitted columns holding their defaults; `vantrel
check` must find every index consistent.

Skips (77) when node, mdb-reader, mdb-export or the shared dump tool is missing.

usage: insert_rules_readers_test.py --vantrel PATH --maker PATH [--shared DIR] [--node-modules DIR]
"""
import argparse
import csv
import io
import json
import os
import shutil
import subprocess
import sys
import tempfile
from decimal import Decimal

HERE = os.path.dirname(os.path.abspath(__file__))
PASSWORD = "bluefinchtea"

OUTCOMES = [
    "affected", "refused relationship", "refused AllowZeroLength", "refused validation rule", "affected",
    "refused validation rule", "affected", "affected", "refused relationship", "refused validation rule",
]
EXPECTED = {
    "Customers": [["ALFKI", "Alfreds Futterkiste"], ["BOLID", "Bólido Comidas"]],
    "Orders": [
        [1, "ALFKI", "A1", "first", "r1", 1, 10, 1],
        [2, "BOLID", "B2", "second", "r2", 2, 20, 2],
        [3, "ALFKI", "C3", "third", "r3", 4, 40, 4],
        [7, None, "C7", "seventh", "r7", None, 10, None],
    ],
    # LineID, OrderID, Qty, Unit, Shipped, Gift, Price, Remark: the first
    # line names only its order, the second also Qty, Unit and Gift.
    "Lines": [
        [1, 1, 1, "pcs", "2001-01-31 00:00:00", True, "-2.5", None],
        [2, 3, 2, "kg", "2001-01-31 00:00:00", False, "-2.5", None],
    ],
}


def norm(v):
    """One form for a value from any reader."""
    if v is None or v == "":
        return None
    if isinstance(v, bool):
        return "1" if v else "0"
    try:
        return str(Decimal(str(v)).normalize())
    except Exception:
        return str(v)


def rows_of(rows):
    return sorted(json.dumps([norm(v) for v in r], ensure_ascii=False) for r in rows)


def must(cmd, **kw):
    r = subprocess.run(cmd, capture_output=True, **kw)
    if r.returncode != 0:
        raise RuntimeError(f"{' '.join(cmd)}: {r.stderr.decode(errors='replace')[-500:]}")
    return r.stdout


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--vantrel", required=True)
    ap.add_argument("--maker", required=True)
    ap.add_argument("--shared", default=os.path.join(HERE, "..", "..", "shared"))
    ap.add_argument("--node-modules", default=os.path.join(HERE, "..", "node_modules"))
    a = ap.parse_args()
    dump_tool = os.path.join(a.shared, "tools", "mdb-reader-dump.mjs")
    missing = [n for n in ("node", "mdb-export") if not shutil.which(n)]
    if not os.path.isfile(dump_tool):
        missing.append(dump_tool)
    if not os.path.isdir(os.path.join(a.node_modules, "mdb-reader")):
        missing.append(os.path.join(a.node_modules, "mdb-reader"))
    if missing:
        print("skipped: missing " + ", ".join(missing))
        return 77

    failures = []
    with tempfile.TemporaryDirectory() as tmp:
        db = os.path.join(tmp, "rules.mdb")
        outcomes = must([a.maker, db]).decode().split("\n")[:-1]
        if outcomes != OUTCOMES:
            failures.append(f"the INSERTs ended {outcomes}, not {OUTCOMES}")

        env = dict(os.environ, ORACLE_NODE_MODULES=os.path.abspath(a.node_modules))
        dump = json.loads(must(["node", dump_tool, "--password", PASSWORD, db], env=env))
        read = {t["name"]: t["rows"] for t in dump["tables"]}
        for table, want in EXPECTED.items():
            if rows_of(read.get(table, [])) != rows_of(want):
                failures.append(f"mdb-reader reads {table} as {read.get(table)}")
            out = must(["mdb-export", "-D", "%Y-%m-%d %H:%M:%S", "-T", "%Y-%m-%d %H:%M:%S", db, table]).decode("utf-8")
            got = list(csv.reader(io.StringIO(out)))[1:]
            if rows_of(got) != rows_of(want):
                failures.append(f"mdbtools reads {table} as {got}")

        check = must([a.vantrel, "check", db]).decode()
        if "0 problems" not in check:
            failures.append("index check: " + check)

    for f in failures:
        print("FAIL:", f)
    if failures:
        return 1
    print("rules database: refused rows absent and defaults in place for mdb-reader, mdbtools and the index check")
    return 0


if __name__ == "__main__":
    sys.exit(main())
