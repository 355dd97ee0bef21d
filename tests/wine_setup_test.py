#!/usr/bin/env python3
"""The setup program under Wine, in a fresh prefix of its own: makensis
builds it from packaging/windows/vantrel.nsi with the built programs; /S
installs them into Program Files with a Start-menu shortcut and an entry in
Add/Remove Programs; the installed vantrel-cli.exe runs (--version, and a
usage hint naming it as started); the entry's QuietUninstallString removes
everything again: the folder, the shortcut and the registry key.

The shipped setup is a 32-bit program (it runs on every Windows); where Wine
has no 32-bit loader, the same script is built for x64 and that is run, and
the output says so. Skips (77) without makensis.

usage: wine_setup_test.py --wine WINE64 --nsi vantrel.nsi --version V
                          --window vantrel.exe --cli vantrel-cli.exe --readme README.txt
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

FAILURES = []
PASSED = [0]
KEY = r"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Vantrel"


def check(cond, what):
    if cond:
        PASSED[0] += 1
    else:
        FAILURES.append(what)
        print("FAIL:", what)


class Prefix:
    def __init__(self, wine, path):
        self.wine, self.path = wine, path
        self.server = os.path.join(os.path.dirname(os.path.realpath(wine)), "wineserver")
        self.env = dict(os.environ, WINEPREFIX=path, WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d")

    def run(self, *args, timeout=120):
        r = subprocess.run([self.wine, *args], env=self.env, capture_output=True, timeout=timeout)
        return r.returncode, r.stdout.decode("utf-8", "replace"), r.stderr.decode("utf-8", "replace")

    def wait(self):
        """Until every program of the prefix has ended (an uninstaller runs
        on from a copy of itself after the one started returns)."""
        subprocess.run([self.server, "-w"], env=self.env, timeout=180)

    def kill(self):
        subprocess.run([self.server, "-k"], env=self.env, timeout=60)

    def drive_c(self, *parts):
        return os.path.join(self.path, "drive_c", *parts)

    def uninstall_entry(self):
        """The key's values in the 64-bit view, from system.reg (flushed once
        the prefix's programs have ended), or None when there is no key."""
        text = open(os.path.join(self.path, "system.reg"), encoding="utf-8", errors="replace").read()
        m = re.search(r"^\[" + re.escape(KEY) + r"\][^\n]*\n(.*?)\n\n", text, re.M | re.S)
        if not m:
            return None
        values = {}
        for line in m.group(1).splitlines():
            v = re.match(r'"([^"]+)"=(?:"(.*)"|dword:([0-9a-f]+))$', line)
            if v:
                values[v.group(1)] = (v.group(2).replace('\\"', '"').replace("\\\\", "\\") if v.group(2) is not None
                                      else int(v.group(3), 16))
        return values


def stage(a, where):
    """A build's folder as the zip holds it."""
    os.makedirs(os.path.join(where, "licences"))
    shutil.copy(a.window, os.path.join(where, "vantrel.exe"))
    shutil.copy(a.cli, os.path.join(where, "vantrel-cli.exe"))
    shutil.copy(a.readme, os.path.join(where, "README.txt"))
    open(os.path.join(where, "licences", "test.txt"), "w").write("licence\r\n")


def install_and_uninstall(a, p, setup):
    code, _, err = p.run(setup, "/S")
    p.wait()
    check(code == 0, f"silent install: {code} {err[-300:]!r}")
    folder = p.drive_c("Program Files", "Vantrel")
    for f in ("vantrel.exe", "vantrel-cli.exe", "README.txt", "uninstall.exe", os.path.join("licences", "test.txt")):
        check(os.path.isfile(os.path.join(folder, f)), f"installed {f}")
    shortcut = p.drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Vantrel.lnk")
    check(os.path.isfile(shortcut), "the Start-menu shortcut")
    entry = p.uninstall_entry() or {}
    want = {"DisplayName": "Vantrel", "DisplayVersion": a.version, "NoModify": 1, "NoRepair": 1,
            "UninstallString": '"C:\\Program Files\\Vantrel\\uninstall.exe"',
            "QuietUninstallString": '"C:\\Program Files\\Vantrel\\uninstall.exe" /S',
            "DisplayIcon": "C:\\Program Files\\Vantrel\\vantrel.exe,0"}
    for k, v in want.items():
        check(entry.get(k) == v, f"Add/Remove Programs {k}: {entry.get(k)!r}, not {v!r}")
    check(bool(entry.get("Publisher")), "Add/Remove Programs Publisher")

    cli = "C:\\Program Files\\Vantrel\\vantrel-cli.exe"
    code, out, err = p.run(cli, "--version")
    check(code == 0 and out.strip() == f"vantrel {a.version}", f"installed --version: {code} {out!r} {err!r}")
    code, out, err = p.run(cli, "convrt")
    check(code == 2 and "Try 'vantrel-cli.exe --help'" in err, f"usage hint as started: {code} {err!r}")
    p.wait()

    quiet = entry.get("QuietUninstallString", "")
    m = re.fullmatch(r'"([^"]+)" (.*)', quiet)
    check(m is not None, f"QuietUninstallString {quiet!r}")
    if m:
        code, _, err = p.run(m.group(1), *m.group(2).split())
        p.wait()
        check(code == 0, f"silent uninstall: {code} {err[-300:]!r}")
    check(not os.path.exists(folder), f"left behind: {os.listdir(folder) if os.path.exists(folder) else ''}")
    check(not os.path.exists(shortcut), "the Start-menu shortcut is left behind")
    check(p.uninstall_entry() is None, "the uninstall key is left behind")


def main():
    ap = argparse.ArgumentParser()
    for name in ("--wine", "--nsi", "--version", "--window", "--cli", "--readme"):
        ap.add_argument(name, required=True)
    ap.add_argument("--makensis", default="makensis")
    a = ap.parse_args()
    makensis = shutil.which(a.makensis)
    if not makensis:
        print("skipped: no makensis (Debian's nsis)")
        return 77
    loader32 = os.path.join(os.path.dirname(os.path.realpath(a.wine)), "wine")
    target = "x86-unicode" if os.path.exists(loader32) else "amd64-unicode"
    if target != "x86-unicode":
        print("note: no 32-bit Wine loader (wine32): the setup is built for x64 to be run here")
    with tempfile.TemporaryDirectory() as tmp:
        build = os.path.join(tmp, "build")
        stage(a, build)
        setup = os.path.join(tmp, f"vantrel-{a.version}-setup.exe")
        r = subprocess.run([makensis, "-V2", f"-DTARGET={target}", f"-DVERSION={a.version}", f"-DWIN32_DIR={build}",
                            f"-DWIN64_DIR={build}", f"-DOUTFILE={setup}", os.path.abspath(a.nsi)],
                           capture_output=True, text=True, timeout=300)
        check(r.returncode == 0 and os.path.isfile(setup), f"makensis: {r.returncode} {r.stdout[-500:]} {r.stderr[-500:]}")
        if os.path.isfile(setup):
            p = Prefix(a.wine, os.path.join(tmp, "prefix"))
            try:
                p.run("wineboot", "-i", timeout=280)
                p.wait()
                install_and_uninstall(a, p, setup)
            finally:
                p.kill()
    print(f"{PASSED[0]} passed, {len(FAILURES)} failed")
    return 1 if FAILURES else 0


if __name__ == "__main__":
    sys.exit(main())
