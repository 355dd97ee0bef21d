#!/usr/bin/env python3
"""`cmake --install` into a staging folder: the binary, the window module,
a man page per command (with the exit statuses), bash and zsh completion, the
desktop entry and its icon; the staged binary runs and the bash completion
completes.

usage: install_test.py --build DIR
"""
import argparse
import os
import subprocess
import sys
import tempfile

WANT = ["bin/vantrel", "lib/vantrel/libvantrel_window.so",
        "share/bash-completion/completions/vantrel", "share/zsh/vendor-completions/_vantrel",
        "share/applications/vantrel.desktop", "share/icons/hicolor/scalable/apps/vantrel.svg"] + \
       [f"share/man/man1/vantrel{c}.1" for c in
        ["", "-tables", "-dump", "-export", "-script", "-convert", "-check", "-create", "-sql", "-device", "-demo"]]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    failures = []
    with tempfile.TemporaryDirectory() as stage:
        r = subprocess.run(["cmake", "--install", a.build, "--prefix", stage], capture_output=True, text=True)
        if r.returncode != 0:
            print(r.stdout, r.stderr)
            return 1
        files = sorted(os.path.relpath(os.path.join(d, f), stage) for d, _, fs in os.walk(stage) for f in fs)
        print("installed:", *files, sep="\n  ")
        failures += [f"missing {w}" for w in WANT if w not in files]
        man = open(os.path.join(stage, "share/man/man1/vantrel-export.1")).read()
        if ".TH VANTREL-EXPORT" not in man or "EXIT STATUS" not in man or "--delimiter" not in man.replace("\\-", "-"):
            failures.append("the export man page lacks its title, exit statuses or options")
        desktop = open(os.path.join(stage, "share/applications/vantrel.desktop")).read()
        if "\nExec=vantrel\n" not in desktop or "\nIcon=vantrel\n" not in desktop:
            failures.append("the desktop entry does not start vantrel with its icon")
        r = subprocess.run([os.path.join(stage, "bin/vantrel"), "--version"], capture_output=True, text=True)
        if r.returncode != 0 or not r.stdout.startswith("vantrel "):
            failures.append(f"staged --version: {r.returncode} {r.stdout!r}")
        completion = os.path.join(stage, "share/bash-completion/completions/vantrel")
        for words, want in [("vantrel conv", "convert"), ("vantrel export db.mdb T --for", "--format"),
                            ("vantrel export db.mdb T --format j", "jsonl"), ("vantrel help scr", "script")]:
            script = (f"source '{completion}'; COMP_WORDS=({words}); COMP_CWORD=$((${{#COMP_WORDS[@]}} - 1)); "
                      "_vantrel; echo \"${COMPREPLY[*]}\"")
            r = subprocess.run(["bash", "-c", script], capture_output=True, text=True)
            if r.stdout.strip() != want:
                failures.append(f"completing '{words}' gives {r.stdout.strip()!r} {r.stderr!r}")
    for f in failures:
        print("FAIL:", f)
    print(f"{len(failures)} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
