#!/usr/bin/env python3
"""Makes benchmark databases of any size: `make_db.py ROWS OUT.mdb` writes the
SQL for ROWS rows of a shop's order lines (text, numbers, money, dates, Yes/No,
memo; about one value in eight Null; a unique and a plain index) and runs it
through `vantrel create`. `--sql FILE` keeps the statements, `--sqlite FILE`
writes the same rows as a script for sqlite3. The rows depend only on ROWS
and --seed."""
import argparse
import os
import random
import subprocess
import sys

from bench_util import DEFAULT_VANTREL

SCHEMA = """CREATE TABLE OrderLines (
  LineID COUNTER CONSTRAINT PrimaryKey PRIMARY KEY,
  Code TEXT(12) NOT NULL,
  Customer TEXT(40),
  City TEXT(20),
  Quantity LONG,
  Price CURRENCY,
  Discount DOUBLE,
  Ordered DATETIME,
  Shipped BIT,
  Note MEMO);
CREATE UNIQUE INDEX Code ON OrderLines (Code);
CREATE INDEX Customer ON OrderLines (Customer);
"""

SQLITE_SCHEMA = """CREATE TABLE OrderLines (
  LineID INTEGER PRIMARY KEY,
  Code TEXT NOT NULL,
  Customer TEXT,
  City TEXT,
  Quantity INTEGER,
  Price NUMERIC,
  Discount REAL,
  Ordered TEXT,
  Shipped INTEGER,
  Note TEXT);
CREATE UNIQUE INDEX Code ON OrderLines (Code);
CREATE INDEX Customer ON OrderLines (Customer);
"""

CITIES = ["Berlin", "Madrid", "Lyon", "Graz", "Oslo", "Porto", "Bern", "Turku", "Cork", "Gent", "Mexico D.F.", "São Paulo"]
FIRST = ["Alfreds", "Bólido", "Drachenblut", "Ernst", "Folk och fä", "Galería", "Hungry Owl", "Königlich", "La maison", "Lazy K", "Magazzini", "Océano"]
LAST = ["Futterkiste", "Comidas", "Delikatessen", "Handel", "HB", "del gastrónomo", "All-Night", "Essen", "d'Asie", "Country Store", "Riuniti", "Atlántico"]


def rows(n, seed):
    rnd = random.Random(seed)
    for i in range(1, n + 1):
        def maybe(v):
            return None if rnd.random() < 0.125 else v
        yield (
            f"C{i:09d}",
            maybe(f"{rnd.choice(FIRST)} {rnd.choice(LAST)} {rnd.randrange(1000)}"),
            maybe(rnd.choice(CITIES)),
            maybe(rnd.randrange(1, 500)),
            maybe(f"{rnd.randrange(1, 100000) / 100:.2f}"),
            maybe(round(rnd.random() * 0.25, 4)),
            maybe((2015 + rnd.randrange(10), 1 + rnd.randrange(12), 1 + rnd.randrange(28), rnd.randrange(24), rnd.randrange(60))),
            rnd.random() < 0.5,
            maybe("Leave with the neighbour; ring twice." if rnd.random() < 0.3 else "Urgent"),
        )


def text(v):
    return "NULL" if v is None else "'" + str(v).replace("'", "''") + "'"


def num(v):
    return "NULL" if v is None else str(v)


def jet_line(r):
    code, customer, city, qty, price, disc, when, shipped, note = r
    date = "NULL" if when is None else "#%04d-%02d-%02d %02d:%02d:00#" % when
    return (f"INSERT INTO OrderLines (Code, Customer, City, Quantity, Price, Discount, Ordered, Shipped, Note) VALUES "
            f"({text(code)}, {text(customer)}, {text(city)}, {num(qty)}, {num(price)}, {num(disc)}, {date}, {'True' if shipped else 'False'}, {text(note)});\n")


def sqlite_line(r):
    code, customer, city, qty, price, disc, when, shipped, note = r
    date = "NULL" if when is None else "'%04d-%02d-%02d %02d:%02d:00'" % when
    return (f"INSERT INTO OrderLines (Code, Customer, City, Quantity, Price, Discount, Ordered, Shipped, Note) VALUES "
            f"({text(code)}, {text(customer)}, {text(city)}, {num(qty)}, {num(price)}, {num(disc)}, {date}, {1 if shipped else 0}, {text(note)});\n")


def write_scripts(n, seed, jet_path, sqlite_path=None):
    with open(jet_path, "w", encoding="utf-8") as jet:
        sq = open(sqlite_path, "w", encoding="utf-8") if sqlite_path else None
        jet.write(SCHEMA)
        if sq:
            sq.write(SQLITE_SCHEMA + "BEGIN;\n")
        for r in rows(n, seed):
            jet.write(jet_line(r))
            if sq:
                sq.write(sqlite_line(r))
        if sq:
            sq.write("COMMIT;\n")
            sq.close()


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("rows", type=int)
    ap.add_argument("out")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--sql", help="keep the Jet statements here")
    ap.add_argument("--sqlite", help="also write the rows as a sqlite3 script here")
    ap.add_argument("--vantrel", default=DEFAULT_VANTREL)
    a = ap.parse_args()
    if not 1 <= a.rows <= 10_000_000:
        sys.exit("rows: 1 to 10,000,000")
    sql = a.sql or a.out + ".sql"
    write_scripts(a.rows, a.seed, sql, a.sqlite)
    try:
        subprocess.run([a.vantrel, "create", a.out, "-f", sql], check=True)
    finally:
        if not a.sql:
            os.unlink(sql)


if __name__ == "__main__":
    main()
