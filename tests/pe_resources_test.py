#!/usr/bin/env python3
"""What Explorer shows of each Windows program: its version resource
(product, versions, description, original file name, taken from the version
in CMakeLists.txt) and its icon (16, 32 and 48 pixels, and 256), read from
the .exe itself with the standard library's struct.

usage: pe_resources_test.py --version 0.9.0 EXE [EXE ...]
"""
import argparse
import os
import struct
import sys

RT_ICON, RT_GROUP_ICON, RT_VERSION = 3, 14, 16


def resources(path):
    """{(type, id): bytes} of the first language of each resource."""
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise ValueError(f"{path}: not a PE file")
    sections, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    optional = pe + 24
    magic = struct.unpack_from("<H", data, optional)[0]
    directories = optional + (96 if magic == 0x10B else 112)
    rsrc_rva, rsrc_size = struct.unpack_from("<II", data, directories + 2 * 8)
    if not rsrc_size:
        return {}
    table = optional + optional_size

    def offset(rva):
        for i in range(sections):
            vsize, vaddr, raw_size, raw = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            if vaddr <= rva < vaddr + max(vsize, raw_size):
                return raw + rva - vaddr
        raise ValueError(f"{path}: RVA {rva:#x} in no section")

    base = offset(rsrc_rva)

    def entries(at):
        named, ids = struct.unpack_from("<HH", data, base + at + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + at + 16 + 8 * i)
            yield name, target

    found = {}
    for rtype, to_names in entries(0):
        for rid, to_langs in entries(to_names & 0x7FFFFFFF):
            _, leaf = next(entries(to_langs & 0x7FFFFFFF))
            rva, size = struct.unpack_from("<II", data, base + leaf)
            found[(rtype, rid)] = data[offset(rva):offset(rva) + size]
    return found


def version_info(block):
    """(fixed file versions as four numbers, {string name: value})."""
    strings = {}
    fixed = None

    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", block, at)
        end = at + length
        key_end = at + 6
        while block[key_end:key_end + 2] != b"\0\0":
            key_end += 2
        key = block[at + 6:key_end].decode("utf-16-le")
        value = (key_end + 2 + 3) & ~3
        value_bytes = value_length * (2 if kind == 1 else 1)
        return key, block[value:value + value_bytes], (value + value_bytes + 3) & ~3, end

    def walk(at, end, depth):
        nonlocal fixed
        while at < end:
            key, value, children, node_end = node(at)
            if key == "VS_VERSION_INFO":
                signature, _, ms, ls = struct.unpack_from("<IIII", value)
                assert signature == 0xFEEF04BD
                fixed = (ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
            elif depth == 3:
                strings[key] = value.decode("utf-16-le").rstrip("\0")
            walk(children, node_end, depth + 1)
            at = (node_end + 3) & ~3

    walk(0, len(block), 0)
    return fixed, strings


def icon_sizes(found, group_id):
    group = found.get((RT_GROUP_ICON, group_id))
    if group is None:
        return []
    count = struct.unpack_from("<H", group, 4)[0]
    sizes = []
    for i in range(count):
        width, _, _, _, _, _, _, icon_id = struct.unpack_from("<BBBBHHIH", group, 6 + 14 * i)
        if (RT_ICON, icon_id) in found:
            sizes.append(width or 256)
    return sorted(sizes)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--version", required=True)
    ap.add_argument("exes", nargs="+")
    a = ap.parse_args()
    failures, passed = [], 0

    def check(cond, what):
        nonlocal passed
        if cond:
            passed += 1
        else:
            failures.append(what)
            print("FAIL:", what)

    want_fixed = tuple(int(n) for n in a.version.split(".")) + (0,)
    for exe in a.exes:
        name = os.path.basename(exe)
        found = resources(exe)
        check((RT_VERSION, 1) in found, f"{name}: a version resource")
        if (RT_VERSION, 1) in found:
            fixed, strings = version_info(found[(RT_VERSION, 1)])
            check(fixed == want_fixed, f"{name}: file version {fixed}, not {want_fixed}")
            for key, want in [("ProductName", "Vantrel"), ("ProductVersion", a.version), ("FileVersion", a.version),
                              ("OriginalFilename", name)]:
                check(strings.get(key) == want, f"{name}: {key} is {strings.get(key)!r}, not {want!r}")
            for key in ("FileDescription", "CompanyName"):
                check(bool(strings.get(key)), f"{name}: {key} is empty")
        sizes = icon_sizes(found, 1)
        check(all(s in sizes for s in (16, 32, 48, 256)), f"{name}: icon 1 has the sizes {sizes}")
    print(f"{passed} passed, {len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
