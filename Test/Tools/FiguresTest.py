#!/usr/bin/env python3
"""The figures of the README and the docs cannot go stale unnoticed.

Cheap checks, no build needed:
- "How long `make test` takes" states no time of its own: its figures are the blocks
  Tools/time-make-test.py writes, one for the native path and one for the forced, and each
  holds its whole table (or nothing, before the first measurement of that path).
- Every "N built-in scenarios" in README.md and docs/*.md is the number of files in
  Scenarios/ (what `quarn-emu list` lists).
- The Makefile's comments state no times (they would go stale with the machine).
The budget table has its own check (Tools/report.py --check, the QuarnEmu.ReadmeBudgets
test) and the painted stack is compared with the q35 boots in make test-emulated.

Usage: FiguresTest.py [SOURCE_DIR]   (exit status 0 when every figure holds)
"""
import argparse
import glob
import importlib.util
import os
import re
import sys

TIME = re.compile(r'\b\d+(\.\d+)? ?(s|min|minutes|seconds)\b')
PATHS = ('native', 'forced')


def load_writer(root):
    """Tools/time-make-test.py, whose markers() names the blocks it writes."""
    spec = importlib.util.spec_from_file_location('time_make_test', os.path.join(root, 'Tools', 'time-make-test.py'))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


WRITER = load_writer(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))


def markers(path):
    """The README markers around the block of one path, as Tools/time-make-test.py writes them."""
    return WRITER.markers(path == 'forced')


def section(text, heading):
    """The text under heading, up to the next heading of any level."""
    start = text.index(heading) + len(heading)
    following = re.search(r'\n#+ ', text[start:])
    return text[start:start + following.start()] if following else text[start:]


def timing_problems(readme):
    """What is wrong with the README's make test timing section."""
    problems = []
    prose = section(readme, '### How long `make test` takes')
    for path in PATHS:
        begin, end = markers(path)
        if begin not in prose or end not in prose:
            problems.append(f'"How long make test takes" has no make-test-times {path} block')
            continue
        block = prose[prose.index(begin):prose.index(end)]
        measured = block[len(begin):].strip()
        if measured and ('**all of `make test`**' not in block or '| part | wall | CPU (user + sys) |' not in block):
            problems.append(f'the make-test-times {path} block holds something Tools/time-make-test.py does not write')
        prose = prose.replace(block, '')
    for match in TIME.finditer(prose):
        problems.append(f'"How long make test takes" states a time outside the measured block: "{match.group(0)}"')
    return problems


def scenario_count_problems(root, texts):
    """Every "N built-in scenarios" that is not the number of built-in scenarios."""
    count = len(glob.glob(os.path.join(root, 'Scenarios', '*.toml')))
    problems = []
    for name, text in texts.items():
        for number in re.findall(r'\b(\d+) built-in scenarios\b', text):
            if int(number) != count:
                problems.append(f'{name} says {number} built-in scenarios; Scenarios/ holds {count}')
    return problems


def makefile_problems(makefile):
    """Times stated in the Makefile's comments."""
    problems = []
    for number, line in enumerate(makefile.splitlines(), 1):
        if line.lstrip().startswith('#') and TIME.search(line):
            problems.append(f'Makefile:{number}: a time in a comment: {line.strip()}')
    return problems


def self_test(root):
    """The checks catch what they are for: a hand-written time, a stale count, a stray table."""
    native, forced = markers('native'), markers('forced')
    stale = ('### How long `make test` takes\n\nIt takes 12 s.\n\n' + native[0] + '\n| x |\n' + native[1] + '\n'
             + forced[0] + '\n' + forced[1] + '\n## Next\n')
    caught = timing_problems(stale)
    assert len(caught) == 2, caught
    missing = timing_problems(stale.replace(forced[0], ''))
    assert sorted(missing) == sorted(caught + ['"How long make test takes" has no make-test-times forced block']), missing
    assert scenario_count_problems(root, {'doc': 'the 1 built-in scenarios'}), 'a stale count passes'
    assert makefile_problems('# about 10 s a boot\nall:\n'), 'a time in a Makefile comment passes'


def main():
    parser = argparse.ArgumentParser(description='Check that the committed figures are the measured ones.')
    parser.add_argument('source', nargs='?', default=os.path.dirname(os.path.dirname(os.path.dirname(
        os.path.abspath(__file__)))), help='the source tree (default: this checkout)')
    root = parser.parse_args().source
    self_test(root)

    def read(path):
        with open(os.path.join(root, path), encoding='utf-8') as f:
            return f.read()

    texts = {'README.md': read('README.md')}
    for doc in sorted(glob.glob(os.path.join(root, 'docs', '*.md'))):
        texts[os.path.relpath(doc, root)] = open(doc, encoding='utf-8').read()
    problems = timing_problems(texts['README.md']) + scenario_count_problems(root, texts) + \
        makefile_problems(read('Makefile'))
    for problem in problems:
        print(problem)
    if not problems:
        print('every figure holds')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main())
