#!/usr/bin/env python3
"""Every function a shipped Windows program imports must be one Windows XP SP3
exports: the loader refuses to start a program that names a function its
system lacks ("entry point not found"), and a PE header asking for a later
Windows than XP is refused as well.

usage: pe_imports_test.py --lists DIR [--subsystem 5.1] EXE...

DIR holds one list per DLL (kernel32.txt, ...): the functions of that DLL that
XP SP3 has, one per line, '#' starting a comment; each file names the source
of its facts. An import missing from the lists fails the test: add it only
after checking that XP SP3 exports it. The PE file is read here, with no tool.
"""
import argparse
import os
import struct
import sys


class PeFile:
    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ":
            raise ValueError("not an MZ executable")
        pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE signature")
        coff = pe + 4
        sections, opt_size = struct.unpack_from("<H", data, coff + 2)[0], struct.unpack_from("<H", data, coff + 16)[0]
        opt = coff + 20
        magic = struct.unpack_from("<H", data, opt)[0]
        if magic not in (0x10B, 0x20B):
            raise ValueError(f"unknown optional header magic {magic:#x}")
        self.wide = magic == 0x20B
        self.os_version = struct.unpack_from("<HH", data, opt + 40)
        self.subsystem_version = struct.unpack_from("<HH", data, opt + 48)
        dirs = opt + (112 if self.wide else 96)
        count = struct.unpack_from("<I", data, dirs - 4)[0]
        self.directories = [struct.unpack_from("<II", data, dirs + 8 * i) for i in range(count)]
        table = opt + opt_size
        self.sections = []
        for i in range(sections):
            vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((vaddr, max(vsize, rsize), raddr))

    def offset(self, rva):
        for vaddr, size, raddr in self.sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError(f"RVA {rva:#x} lies in no section")

    def string(self, rva):
        at = self.offset(rva)
        return self.data[at:self.data.index(b"\0", at)].decode("ascii")

    def imports(self):
        """{dll (lower case): [function names, '#N' for an ordinal]}"""
        rva, size = self.directories[1]
        out = {}
        at = self.offset(rva) if size else None
        while at is not None:
            lookup, _, _, name, first = struct.unpack_from("<IIIII", self.data, at)
            if not lookup and not name and not first:
                break
            functions = out.setdefault(self.string(name).lower(), [])
            thunk = self.offset(lookup or first)
            step, fmt, flag = (8, "<Q", 1 << 63) if self.wide else (4, "<I", 1 << 31)
            while True:
                entry = struct.unpack_from(fmt, self.data, thunk)[0]
                if not entry:
                    break
                functions.append(f"#{entry & 0xFFFF}" if entry & flag else self.string((entry & 0x7FFFFFFF) + 2))
                thunk += step
            at += 20
        return out


def read_list(path):
    names = set()
    with open(path, encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                names.add(line)
    return names


def check(exe, lists, subsystem):
    """The faults of one program, as lines."""
    with open(exe, "rb") as f:
        pe = PeFile(f.read())
    faults = []
    want = tuple(int(x) for x in subsystem.split(".")) if subsystem else None
    for what, got in (("subsystem version", pe.subsystem_version), ("OS version", pe.os_version)):
        if want and got != want:
            faults.append(f"{what} is {got[0]}.{got[1]}, not {want[0]}.{want[1]}")
    if len(pe.directories) > 13 and pe.directories[13][1]:
        faults.append("has delay-load imports, which this test does not read")
    for dll, functions in sorted(pe.imports().items()):
        listed = os.path.join(lists, dll.removesuffix(".dll") + ".txt")
        if not os.path.exists(listed):
            faults.append(f"imports {dll}, which has no list ({listed})")
            continue
        known = read_list(listed)
        missing = sorted(set(functions) - known)
        faults += [f"imports {dll}!{fn}, not in {listed}: a function Windows XP SP3 lacks, or one to check and add"
                   for fn in missing]
        print(f"{os.path.basename(exe)}: {dll}: {len(functions)} functions, {len(functions) - len(missing)} on XP SP3's list")
    return faults


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--lists", required=True)
    ap.add_argument("--subsystem", help="the PE subsystem and OS version the header must name, e.g. 5.1")
    ap.add_argument("exe", nargs="+")
    a = ap.parse_args()
    failed = False
    for exe in a.exe:
        for fault in check(exe, a.lists, a.subsystem):
            print(f"{exe}: {fault}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
