#!/usr/bin/env python3
"""Every test ctest knows in a build tree has a TIMEOUT of its own, so that a
test that hangs fails by itself instead of holding the whole run.

usage: test_timeouts.py --ctest CTEST --build BUILD_DIR
"""
import argparse
import json
import subprocess
import sys


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--ctest", required=True)
    ap.add_argument("--build", required=True)
    a = ap.parse_args()
    listed = subprocess.run([a.ctest, "--show-only=json-v1"], cwd=a.build, capture_output=True, check=True, text=True)
    tests = json.loads(listed.stdout)["tests"]
    missing = []
    # A suite that is not built stands in as NAME_NOT_BUILT, a test that fails by itself.
    tests = [t for t in tests if not t["name"].endswith("_NOT_BUILT")]
    for test in tests:
        limits = [p["value"] for p in test.get("properties", []) if p["name"] == "TIMEOUT"]
        if not limits or float(limits[0]) <= 0:
            missing.append(test["name"])
    for name in missing:
        print("no TIMEOUT:", name)
    print(f"{len(tests) - len(missing)} of {len(tests)} tests have a TIMEOUT")
    return 1 if missing or not tests else 0


if __name__ == "__main__":
    sys.exit(main())
