#!/usr/bin/env python3
"""Every Python program of the project answers --help: a usage text on standard output,
exit status 0, promptly, and nothing else done (a report that would run for minutes, a
check that would read a missing image). A program is a .py file with a __main__ block.

    PythonHelpTest.py [ROOT]
"""
import argparse
import os
import subprocess
import sys

SKIP_DIRS = {"build", ".git"}


def programs(root):
    for folder, dirs, files in os.walk(root):
        dirs[:] = sorted(d for d in dirs if d not in SKIP_DIRS and not d.startswith("."))
        for name in sorted(files):
            path = os.path.join(folder, name)
            if name.endswith(".py"):
                with open(path, encoding="utf-8") as f:
                    if 'if __name__ == "__main__":' in f.read():
                        yield path


def main():
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("root", nargs="?", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", ".."))
    root = os.path.abspath(parser.parse_args().root)
    failed = checked = 0
    for path in programs(root):
        checked += 1
        name = os.path.relpath(path, root)
        try:
            run = subprocess.run([sys.executable, path, "--help"], capture_output=True, text=True, timeout=30, cwd=root)
        except subprocess.TimeoutExpired:
            print(f"FAIL {name}: --help still running after 30 s")
            failed += 1
            continue
        if run.returncode != 0 or not run.stdout.startswith("usage: "):
            print(f"FAIL {name}: exit status {run.returncode}, output {(run.stdout + run.stderr)[:120]!r}")
            failed += 1
        else:
            print(f"ok   {name}: {run.stdout.splitlines()[0]}")
    print(f"{checked - failed} of {checked} Python programs answer --help")
    return 1 if failed or checked < 10 else 0


if __name__ == "__main__":
    sys.exit(main())
