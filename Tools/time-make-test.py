#!/usr/bin/env python3
"""How long `make test` takes: measured on a fresh clone, written into the README.

Clones the checkout's HEAD into a scratch directory and runs the parts of `make test` one
after the other there, as `make test` itself runs them, each under `time`: the first
part that needs a build tree builds it. The table of wall and CPU time per part, the
total and the machine it ran on is printed, and with --write it replaces the README's
block of that path between the markers

    <!-- make-test-times native: written by Tools/time-make-test.py -->
    <!-- make-test-times native: end -->

(and the same with "forced" for --forced), so that the figures there are always what this
program measured, with the commit, the path (native, or forced onto qemu-i386 as a
machine whose kernel cannot run IA32 programs) and the load of the machine. Nothing else
in the README states these times.

Usage: Tools/time-make-test.py [--forced] [--write] [--keep DIR]
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
README = os.path.join(ROOT, 'README.md')


def markers(forced):
    """The README markers around the block of one path."""
    path = 'forced' if forced else 'native'
    return (f'<!-- make-test-times {path}: written by Tools/time-make-test.py -->',
            f'<!-- make-test-times {path}: end -->')


def make_test_parts(makefile):
    """The prerequisites of `test:` in the Makefile, in order."""
    with open(makefile, encoding='utf-8') as f:
        for line in f:
            if line.startswith('test:'):
                return line.split(':', 1)[1].split()
    raise SystemExit('time-make-test: the Makefile has no test target')


def timed(command, cwd, env):
    """Runs command; returns (exit status, wall seconds, CPU seconds of its children)."""
    before = os.times()
    start = time.monotonic()
    status = subprocess.call(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.STDOUT)
    wall = time.monotonic() - start
    after = os.times()
    cpu = (after.children_user - before.children_user) + (after.children_system - before.children_system)
    return status, wall, cpu


def minutes(seconds):
    """'7 min 12 s' or '42 s'."""
    seconds = int(round(seconds))
    return f'{seconds // 60} min {seconds % 60} s' if seconds >= 60 else f'{seconds} s'


def block(rows, total_wall, total_cpu, forced, commit, load):
    """The README block: the markers, what was measured, the table."""
    path = ('forced onto qemu-i386 (`QUARN_FORCE_QEMU=1 Tools/without-ia32-exec make test`, the path of a '
            'machine whose kernel cannot run IA32 programs)' if forced else 'natively (`make test`)')
    begin, end = markers(forced)
    lines = [begin, '',
             f'`make test` from nothing in a fresh clone of commit {commit}, {path}, on a machine with '
             f'{os.cpu_count()} cores (load average {load:.1f} when it started; packages already installed, '
             'no compiler cache). Each part in the order `make test` runs it; a part builds the trees it is '
             'the first to need.', '',
             '| part | wall | CPU (user + sys) |', '|---|---|---|']
    lines += [f'| `make {name}` | {minutes(wall)} | {minutes(cpu)} |' for name, wall, cpu in rows]
    lines += [f'| **all of `make test`** | **{minutes(total_wall)}** | {minutes(total_cpu)} |', '', end]
    return '\n'.join(lines)


def write_readme(text, forced):
    """Replaces the README's block of the path with text; exits when its markers are missing."""
    with open(README, encoding='utf-8') as f:
        readme = f.read()
    begin, end = markers(forced)
    pattern = re.compile(re.escape(begin) + '.*?' + re.escape(end), re.S)
    if not pattern.search(readme):
        raise SystemExit(f'time-make-test: the README has no block marked {begin}')
    with open(README, 'w', encoding='utf-8') as f:
        f.write(pattern.sub(lambda _: text, readme))


def main():
    parser = argparse.ArgumentParser(description='Measure make test on a fresh clone, part by part.')
    parser.add_argument('--forced', action='store_true', help='take the emulated path (qemu-i386), as a machine '
                        'without IA32 support does')
    parser.add_argument('--write', action='store_true', help='write the table into the README')
    parser.add_argument('--keep', metavar='DIR', help='clone into DIR and keep it (default: a scratch directory, '
                        'removed afterwards)')
    args = parser.parse_args()

    commit = subprocess.check_output(['git', 'rev-parse', '--short', 'HEAD'], cwd=ROOT, text=True).strip()
    work = args.keep or tempfile.mkdtemp(prefix='quarn-make-test-')
    if os.path.exists(os.path.join(work, '.git')):
        raise SystemExit(f'time-make-test: {work} already holds a clone')
    subprocess.check_call(['git', 'clone', '-q', ROOT, work])
    env = dict(os.environ)
    prefix = []
    if args.forced:
        env['QUARN_FORCE_QEMU'] = '1'
        prefix = [os.path.join(work, 'Tools', 'without-ia32-exec')]
    load = os.getloadavg()[0]
    rows, total_wall, total_cpu, failed = [], 0.0, 0.0, None
    for part in make_test_parts(os.path.join(work, 'Makefile')):
        status, wall, cpu = timed(prefix + ['make', '--no-print-directory', part], work, env)
        rows.append((part, wall, cpu))
        total_wall += wall
        total_cpu += cpu
        print(f'{part}: {minutes(wall)} wall, {minutes(cpu)} CPU' + ('' if status == 0 else f' (FAILED: {status})'),
              flush=True)
        if status != 0:
            failed = part
            break
    if not args.keep:
        shutil.rmtree(work, ignore_errors=True)
    if failed:
        raise SystemExit(f'time-make-test: make {failed} failed; nothing written')
    text = block(rows, total_wall, total_cpu, args.forced, commit, load)
    print(text)
    if args.write:
        write_readme(text, args.forced)
    return 0


if __name__ == '__main__':
    sys.exit(main())
