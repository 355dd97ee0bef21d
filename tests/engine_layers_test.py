#!/usr/bin/env python3
"""The engine's folders are its layers, from the bottom up; a file may
include headers of its own layer and of the layers below it, never above.
Prints every include that breaks the order and exits 1, else 0."""
import pathlib
import re
import sys

LAYERS = ["base", "file", "format", "rows", "indexes", "catalog", "sql", "tables", "statements", "session"]


def main():
    engine = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent / "engine")
    where = {}
    for rank, layer in enumerate(LAYERS):
        folder = engine / layer
        if not folder.is_dir():
            print(f"missing layer folder {folder}")
            return 1
        for f in folder.iterdir():
            where[f.name] = rank
    strays = [f.name for f in engine.iterdir() if f.is_file() and f.suffix in (".h", ".cpp")]
    bad = [f"{name}: outside the layer folders" for name in strays]
    for name, rank in sorted(where.items()):
        path = engine / LAYERS[rank] / name
        for header in re.findall(r'^#include "([^"]+)"', path.read_text(encoding="utf-8"), re.M):
            if header in where and where[header] > rank:
                bad.append(f"{LAYERS[rank]}/{name} includes {LAYERS[where[header]]}/{header}")
    for line in bad:
        print(line)
    print(f"{len(where)} files in {len(LAYERS)} layers, {len(bad)} includes out of order")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main())
