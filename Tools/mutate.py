#!/usr/bin/env python3
"""Mutation testing of the module and of quarn-emu: `make mutate`, `make mutate-tool`.

Applies one single-token change at a time to the module's code (Pei/, Library/ and
Include/; not the two hardware seam instances), or with --scope tool to quarn-emu's
(Tools/quarn-emu/), rebuilds what the change reaches and runs the fast part of the suite
on it. A mutant the suite notices is killed; one it does not
notice survives and is printed with its place and change. A mutant that does not build is
not viable and does not count.

The operators: comparison (== != < <= > >=, the boundary and the negation), boolean
(&& <-> ||, a dropped !), integer constants (+1, -1; not the digits of a GUID) and masks
(top bit cleared, one bit more above, the bits below filled; a single bit moved), and
dropped statements (expression statements, break and continue). Every change keeps the
line count, so __LINE__ and the assertion lines stay where they were.

Nothing is changed in the working tree: the sources are mirrored into build/mutate/src
and built in build/mutate/build, and every mutant is undone in the mirror before the next
one (also on Ctrl-C or an error). A mutant of a header reaches only the module's objects
(the emulator and the tests keep the header as published; see ModuleObjects). The test
command per mutant: build quarn-emu, run `quarn-emu check` over the built-in scenarios;
if that passes, build quarn-tests and run it. Each run has a time limit; a run that hits
it counts as killed (a hang). A mutant that compiles to the very same object code, or is
listed in Tools/mutate-equivalent.txt, is equivalent and, like one that does not build,
left out of the score.

The tool's scope (--scope tool): a mutant of a source is compiled into its object of the
tool (the QuarnEmuCli library, or main.cpp's object, quarn-emu-main), one of a header into
every object that reads it, the tests' included (they call the tool through its headers).
The test command: build quarn-tests and run the tool's suites (those of Test/Tools/*.cpp);
if they pass, build quarn-emu and run `quarn-emu check`; a mutant of main.cpp (the command
line, which no GoogleTest case reaches) also goes through the exit-status tests of
quarn-emu (CTest's QuarnEmu.* tests that start the program with arguments). Once judged,
the objects of the unchanged sources are put back byte for byte with their time stamps,
so the next build only relinks. Its report is build/mutate/report-tool.json.

Usage: Tools/mutate.py [--scope module|tool] [--sample N] [--seed S] [--filter REGEX] [--list]
                       [--mutant ID ...]
"""
import argparse
import json
import os
import random
import re
import shutil
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
WORK = os.path.join(ROOT, 'build', 'mutate')
MIRROR = os.path.join(WORK, 'src')
TREE = os.path.join(WORK, 'build')
REPORTS = {'module': os.path.join(WORK, 'report.json'), 'tool': os.path.join(WORK, 'report-tool.json')}

MODULE_DIRS = ('Pei/', 'Library/', 'Include/')
# The hardware seam: the real instance never runs on the host, the emulated one is the host's stand-in.
SEAM_DIRS = ('Library/CpuIntrinsicsLibIa32/', 'Library/CpuIntrinsicsLibEmulated/')
TOOL_DIRS = ('Tools/quarn-emu/',)
# The tool's tests: the GoogleTest suites of these files.
TOOL_TESTS = 'Test/Tools/'


# --- finding the mutants ----------------------------------------------------------------

def mask_non_code(text):
    """Text of the same length in which comments, string and character literals,
    preprocessor lines and static_assert declarations are blanked (newlines kept)."""
    out = list(text)
    i, n = 0, len(text)

    def blank(start, end):
        for k in range(start, end):
            if out[k] != '\n':
                out[k] = ' '

    at_line_start = True
    while i < n:
        c = text[i]
        if c == '\n':
            at_line_start = True
            i += 1
            continue
        if at_line_start and c == '#':
            end = i
            while end < n and (text[end] != '\n' or text[end - 1] == '\\'):
                end += 1
            blank(i, end)
            i = end
            continue
        if not c.isspace():
            at_line_start = False
        if text.startswith('//', i):
            end = text.find('\n', i)
            end = n if end < 0 else end
            blank(i, end)
            i = end
        elif text.startswith('/*', i):
            end = text.find('*/', i + 2)
            end = n if end < 0 else end + 2
            blank(i, end)
            i = end
        elif c in '"\'':
            end = i + 1
            while end < n and text[end] != c:
                end += 2 if text[end] == '\\' else 1
            blank(i, end + 1)
            i = end + 1
        elif text.startswith('static_assert', i) and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == '_')):
            end = text.find(';', i)
            end = n if end < 0 else end + 1
            blank(i, end)
            i = end
        else:
            i += 1
    return ''.join(out)


COMPARISON = {'==': ['!='], '!=': ['=='], '<': ['<=', '>='], '<=': ['<', '>'],
              '>': ['>=', '<='], '>=': ['>', '<']}
COMPARISON_RE = re.compile(r'(?<=\s)(==|!=|<=|>=|<|>)(?=\s)')
BOOLEAN_RE = re.compile(r'(?<=\s)(&&|\|\|)(?=\s)')
NOT_RE = re.compile(r'!(?!=)')
NUMBER_RE = re.compile(r'(?<![\w.])(0[xX][0-9A-Fa-f]+|\d+)([uUlL]*)(?![\w.])')
# A GUID is a name both sides take from the same header, not a value the module computes with.
GUID_RE = re.compile(r'EFI_GUID\s+\w+\s*=\s*\{')
KEYWORDS = {'return', 'if', 'for', 'while', 'do', 'switch', 'case', 'default', 'else', 'typedef',
            'using', 'namespace', 'struct', 'class', 'enum', 'union', 'template', 'extern',
            'static', 'constexpr', 'const', 'auto', 'goto', 'sizeof', 'static_cast',
            'reinterpret_cast', 'const_cast', 'delete', 'new', 'throw', 'volatile', 'inline'}
# An expression statement: a call, an assignment or an increment of a (member, element,
# dereferenced) name; declarations start with a type followed by a second name and never match.
STATEMENT_RE = re.compile(
    r'(\(\s*\*\s*\w+\s*\)|\*?\s*\w+)(\s*(\.|->)\s*\w+|\s*\[[^\]]*\])*\s*'
    r'(\(|=(?!=)|\+=|-=|\|=|&=|\^=|<<=|>>=|\+\+|--)')


def number_variants(literal):
    """The changed spellings of one integer literal (without its suffix)."""
    value = int(literal, 0)
    hexadecimal = literal[:2].lower() == '0x'
    values = [value + 1] + ([value - 1] if value > 0 else [])
    if hexadecimal and value > 0:
        top = value.bit_length() - 1
        low = (value & -value).bit_length() - 1
        if value & (value - 1):          # a mask of several bits
            values += [value & ~(1 << top), value | (1 << (top + 1))]
            if low > 0:
                values.append(value | ((1 << low) - 1))
        else:                            # a single bit, moved
            values += [value << 1] + ([value >> 1] if value > 1 else [])
    # A 32-bit value stays within 32 bits (a wider one is cut back to the same value).
    limit = 0xFFFFFFFF if value <= 0xFFFFFFFF else 0xFFFFFFFFFFFFFFFF
    seen, spelled = set(), []
    for v in values:
        if v < 0 or v > limit or v == value or v in seen:
            continue
        seen.add(v)
        spelled.append(('0x%X' % v) if hexadecimal else str(v))
    return spelled


def statement_spans(code):
    """(start, end) of every statement in code that may be dropped."""
    spans = []
    i, n = 0, len(code)
    previous = ';'
    while i < n:
        c = code[i]
        if c.isspace():
            i += 1
            continue
        if previous in ';{}' or code[max(0, i - 4):i] == 'else':
            word = re.match(r'\w+', code[i:])
            keyword = word.group(0) if word else ''
            if keyword in ('break', 'continue') and re.match(r'\w+\s*;', code[i:]):
                end = code.index(';', i) + 1
                spans.append((i, end))
            elif keyword not in KEYWORDS and STATEMENT_RE.match(code, i):
                depth, end = 0, i
                while end < n:
                    if code[end] in '([{':
                        depth += 1
                    elif code[end] in ')]}':
                        depth -= 1
                        if depth < 0:
                            break
                    elif code[end] == ';' and depth == 0:
                        break
                    end += 1
                if end < n and code[end] == ';':
                    spans.append((i, end + 1))
        previous = c
        i += 1
    return spans


def module_files(scope='module'):
    """Source files of the module (or of the tool), relative to the root, sorted."""
    found = []
    for top in (TOOL_DIRS if scope == 'tool' else MODULE_DIRS):
        for base, _, names in os.walk(os.path.join(ROOT, top)):
            for name in names:
                if name.endswith(('.cpp', '.h')):
                    path = os.path.relpath(os.path.join(base, name), ROOT)
                    if not path.startswith(SEAM_DIRS):
                        found.append(path)
    return sorted(found)


def find_mutants(paths):
    """Every mutant of the given files, in a fixed order."""
    mutants = []
    for path in paths:
        with open(os.path.join(ROOT, path), encoding='utf-8') as f:
            text = f.read()
        code = mask_non_code(text)
        text_lines = text.split('\n')
        line_starts = [0] + [m.end() for m in re.finditer('\n', text)]

        def add(offset, length, replacement, operator):
            line = next(k for k in range(len(line_starts) - 1, -1, -1) if line_starts[k] <= offset)
            original = text[offset:offset + length]
            m = {'file': path, 'line': line + 1, 'column': offset - line_starts[line] + 1,
                 'offset': offset, 'length': length, 'original': original,
                 'replacement': replacement, 'operator': operator}
            m['key'] = mutant_key(m, text_lines)
            mutants.append(m)

        for m in COMPARISON_RE.finditer(code):
            for r in COMPARISON[m.group(1)]:
                add(m.start(), len(m.group(1)), r, 'comparison')
        for m in BOOLEAN_RE.finditer(code):
            add(m.start(), 2, '||' if m.group(1) == '&&' else '&&', 'boolean')
        for m in NOT_RE.finditer(code):
            add(m.start(), 1, '', 'boolean')
        guids = [(g.start(), code.find(';', g.start())) for g in GUID_RE.finditer(code)]
        for m in NUMBER_RE.finditer(code):
            if any(start <= m.start() < end for start, end in guids):
                continue
            for r in number_variants(m.group(1)):
                add(m.start(1), len(m.group(1)), r, 'constant')
        for start, end in statement_spans(code):
            add(start, end - start, ';' + '\n' * text.count('\n', start, end), 'statement')
    mutants.sort(key=lambda m: (m['file'], m['offset'], m['operator'], m['replacement']))
    # The same change on lines of the same text: the key names which one, in file order.
    counts, seen = {}, {}
    for m in mutants:
        counts[m['key']] = counts.get(m['key'], 0) + 1
    for m in mutants:
        if counts[m['key']] > 1:
            seen[m['key']] = seen.get(m['key'], 0) + 1
            m['key'] += ' (%d of %d)' % (seen[m['key']], counts[m['key']])
    for index, m in enumerate(mutants):
        m['id'] = index
    return mutants


def mutant_key(m, text_lines):
    """How Tools/mutate-equivalent.txt names a mutant: file, the text of its line, the change."""
    return '%s @ `%s` : %s' % (m['file'], text_lines[m['line'] - 1].strip(), change_of(m))


def change_of(m):
    before = ' '.join(m['original'].split())
    after = ' '.join(m['replacement'].split()) if m['operator'] != 'statement' else '(dropped)'
    return '`%s` -> `%s`' % (before, after)


def known_equivalents():
    """{key: reason} from Tools/mutate-equivalent.txt: each entry comment lines (the reason
    the mutants change nothing anyone can see) and the key lines of the mutants."""
    found, reason, after_key = {}, '', False
    path = os.path.join(ROOT, 'Tools', 'mutate-equivalent.txt')
    if os.path.isfile(path):
        with open(path, encoding='utf-8') as f:
            for line in f:
                line = line.strip()
                if line.startswith('#'):
                    reason = (('' if after_key else reason) + ' ' + line.lstrip('# ')).strip()
                    after_key = False
                elif line:
                    found[line] = reason
                    after_key = True
                else:
                    reason, after_key = '', False
    return found


def describe(m):
    """file:line: `before` -> `after` (operator)."""
    before = ' '.join(m['original'].split())
    after = ' '.join(m['replacement'].split()) if m['operator'] != 'statement' else '(dropped)'
    if len(before) > 70:
        before = before[:67] + '...'
    return '%s:%d: `%s` -> `%s` (%s)' % (m['file'], m['line'], before, after, m['operator'])


# --- the mirror and its build -----------------------------------------------------------

def project_files():
    """Files of the project as git sees them (tracked and new), or every file outside build/."""
    try:
        out = subprocess.run(['git', 'ls-files', '-z', '--cached', '--others', '--exclude-standard'],
                             cwd=ROOT, check=True, capture_output=True).stdout
        return sorted({p for p in out.decode().split('\0') if p and os.path.isfile(os.path.join(ROOT, p))})
    except (OSError, subprocess.CalledProcessError):
        found = []
        for base, dirs, names in os.walk(ROOT):
            dirs[:] = [d for d in dirs if not (base == ROOT and d in ('build', '.git'))]
            found += [os.path.relpath(os.path.join(base, n), ROOT) for n in names]
        return sorted(found)


def sync_mirror():
    """Brings build/mutate/src up to the working tree; unchanged files keep their time stamps
    so the build stays incremental. Also undoes a mutant a killed run may have left there."""
    wanted = set(project_files())
    for path in sorted(wanted):
        source, target = os.path.join(ROOT, path), os.path.join(MIRROR, path)
        with open(source, 'rb') as f:
            data = f.read()
        if os.path.isfile(target):
            with open(target, 'rb') as f:
                if f.read() == data:
                    continue
        os.makedirs(os.path.dirname(target), exist_ok=True)
        shutil.copy2(source, target)
        os.utime(target)  # newer than anything built from the old contents
    for base, _, names in os.walk(MIRROR):
        for name in names:
            path = os.path.relpath(os.path.join(base, name), MIRROR)
            if path not in wanted:
                os.remove(os.path.join(base, name))


def run(command, timeout, env=None, cwd=None):
    """Runs command in its own process group; returns (exit status or 'timeout', output, seconds).
    The whole group is ended on a timeout or when this script is interrupted."""
    started = time.monotonic()
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                               start_new_session=True, env=env, cwd=cwd)
    try:
        output, _ = process.communicate(timeout=timeout)
        status = process.returncode
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        output, _ = process.communicate()
        status = 'timeout'
    except BaseException:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        raise
    return status, output.decode(errors='replace'), time.monotonic() - started


class Launcher:
    """Runs built IA32 programs the way the build's own tests run them: behind the emulator
    command CTest puts in front of them (CMAKE_CROSSCOMPILING_EMULATOR), if any, with the
    tests' environment. The one place a built program is started."""

    def __init__(self, tree):
        out = subprocess.run(['ctest', '--test-dir', tree, '--show-only=json-v1', '-R', r'^QuarnEmu\.CheckBuiltins$'],
                             check=True, capture_output=True).stdout
        test = json.loads(out)['tests'][0]
        self.prefix = test['command'][:-2]   # [emulator...] quarn-emu check
        self.env = dict(os.environ)
        for p in test.get('properties', []):
            if p['name'] == 'ENVIRONMENT':
                for item in p['value']:
                    key, _, value = item.partition('=')
                    self.env[key] = value

    def run(self, program, arguments, timeout):
        return run(self.prefix + [program] + arguments, timeout, self.env)


def configure_and_build():
    """Configures the mirror's build tree and builds the two programs. One object per
    source (QUARN_BATCHED=OFF): a mutant is compiled into the objects of its source and of
    the sources that read it, never into a batch."""
    subprocess.run(['cmake', '-S', MIRROR, '-B', TREE, '-G', 'Ninja', '-DCMAKE_BUILD_TYPE=Release',
                    '-DQUARN_BATCHED=OFF'],
                   check=True, stdout=subprocess.DEVNULL)
    for target in ('quarn-emu', 'quarn-tests'):
        status, output, _ = run(['cmake', '--build', TREE, '--target', target], None)
        if status != 0:
            sys.exit('mutate: the unchanged sources do not build:\n' + output[-3000:])


# --- judging one mutant -----------------------------------------------------------------

def compile_commands(tree, folders):
    """The tree's compile commands of the objects in one of the folders (CMake's object
    folders, '/CMakeFiles/TARGET.dir/'): (object, directory, command, source relative to
    the mirror) each."""
    with open(os.path.join(tree, 'compile_commands.json')) as f:
        entries = json.load(f)
    found = []
    for e in entries:
        target = e.get('output') or re.search(r'\s-o\s+(\S+)', e['command']).group(1)
        output = os.path.normpath(os.path.join(e['directory'], target))
        if any(d in output for d in folders):
            found.append((output, e['directory'], e['command'], os.path.relpath(e['file'], MIRROR)))
    return found


def ninja_reads(tree, objects):
    """What each of the objects read when the tree last compiled it, from ninja's log of
    dependencies: {object: set of files}."""
    out = subprocess.run(['ninja', '-C', tree, '-t', 'deps'] + [os.path.relpath(o, tree) for o in objects],
                         check=True, capture_output=True, text=True).stdout
    reads = {}
    current = None
    for line in out.splitlines():
        if line and not line[0].isspace():
            current = os.path.normpath(os.path.join(tree, line.split(':')[0]))
            reads[current] = set()
        elif line.strip() and current:
            reads[current].add(os.path.normpath(os.path.join(tree, line.strip())))
    return reads


class ModuleObjects:
    """The module's object files, how each is compiled and which headers it reads.

    A header is shared: the emulator and the tests read Include/ too. A mutant of a header
    must change what the module compiled, not the platform the tests stand for, so only
    the module's objects that read the header are compiled with it (by hand, with the
    build's own commands); the header then gets its old contents and time stamp back, and
    the build relinks the programs with those objects. The objects are deleted afterwards
    (the next build compiles them from the unchanged header), and a journal names them
    until then, in case the run is killed in between."""

    JOURNAL = os.path.join(WORK, 'mutated-objects.json')

    def __init__(self, tree):
        self.archive = os.path.join(tree, 'libQuarnModule.a')
        self.commands, self.object_of = {}, {}
        for output, directory, command, source in compile_commands(tree, ('/CMakeFiles/QuarnModule.dir/',)):
            self.commands[output] = (directory, command)
            self.object_of[source] = output
        self.reads = ninja_reads(tree, self.commands)

        # The objects of the unchanged sources (the build is up to date when this is made).
        self.original = {}
        for o in self.commands:
            with open(o, 'rb') as f:
                self.original[o] = f.read()

    def unchanged(self, objects):
        """TRUE when every one of the objects holds what the unchanged sources compile to."""
        for o in objects:
            with open(o, 'rb') as f:
                if f.read() != self.original[o]:
                    return False
        return True

    def readers(self, header):
        path = os.path.join(MIRROR, header)
        return sorted(o for o, reads in self.reads.items() if path in reads)

    def compile(self, objects):
        """Compiles the objects from the sources as they are now; False if one fails."""
        with open(self.JOURNAL, 'w') as f:
            json.dump(objects, f)
        for o in objects:
            directory, command = self.commands[o]
            stamp = os.stat(o)
            status, _, _ = run(['sh', '-c', command], 600, cwd=directory)
            if status != 0:
                return False
            # The build takes an object newer than its recorded dependencies for stale and
            # would compile it again: it keeps its old time; the archive is made anew.
            os.utime(o, ns=(stamp.st_atime_ns, stamp.st_mtime_ns))
        if os.path.isfile(self.archive):
            os.remove(self.archive)
        return True

    @classmethod
    def forget(cls):
        """Deletes the objects a header mutant left (named by the journal)."""
        if os.path.isfile(cls.JOURNAL):
            with open(cls.JOURNAL) as f:
                for o in json.load(f):
                    if os.path.isfile(o):
                        os.remove(o)
            os.remove(cls.JOURNAL)


class ToolObjects(ModuleObjects):
    """The tool's objects (the QuarnEmuCli library and main.cpp's object, quarn-emu-main) and,
    for a header, every object that reads it: the tool's and the tests'. The tests call the
    tool through its headers, so a mutant of a header is compiled into all of them (by
    hand, with the build's own commands, like a header of the module).

    Once a mutant is judged, its objects get the bytes and time stamps of the unchanged
    sources back (and the source its old time stamp): the build takes them as up to date
    and only archives and relinks, instead of compiling every one again. The journal names
    the objects until then; a run killed in between leaves them to be deleted and compiled
    anew by the next."""

    OWNED = ('/CMakeFiles/QuarnEmuCli.dir/', '/CMakeFiles/quarn-emu-main.dir/', '/CMakeFiles/quarn-emu.dir/')
    READERS = OWNED + ('/CMakeFiles/quarn-tests.dir/',)

    def __init__(self, tree):
        self.archive = os.path.join(tree, 'Tools', 'quarn-emu', 'libQuarnEmuCli.a')
        self.programs = [os.path.join(tree, 'Test', 'quarn-tests'), os.path.join(tree, 'bin', 'quarn-emu.ia32')]
        self.tree = tree
        self.commands, self.object_of = {}, {}
        for output, directory, command, source in compile_commands(tree, self.READERS):
            self.commands[output] = (directory, command)
            if any(d in output for d in self.OWNED):
                self.object_of[source] = output
        self.reads = ninja_reads(tree, self.commands)
        self.original, self.stamp = {}, {}
        for o in self.commands:
            with open(o, 'rb') as f:
                self.original[o] = f.read()
            stamp = os.stat(o)
            self.stamp[o] = (stamp.st_atime_ns, stamp.st_mtime_ns)

    def target(self, source):
        """The build's name of the object a source of the tool compiles to."""
        return os.path.relpath(self.object_of[source], self.tree)

    def compile(self, objects):
        if not ModuleObjects.compile(self, objects):
            return False
        self.unlink()
        return True

    def unlink(self):
        """The archive and the programs are made anew by the next build."""
        for path in [self.archive] + self.programs:
            if os.path.isfile(path):
                os.remove(path)

    def put_back(self, objects):
        """The objects of the unchanged sources again, with their time stamps."""
        for o in objects:
            with open(o, 'wb') as f:
                f.write(self.original[o])
            os.utime(o, ns=self.stamp[o])
        self.unlink()
        if os.path.isfile(self.JOURNAL):
            os.remove(self.JOURNAL)


class Judge:
    def __init__(self, timeout_factor):
        self.launcher = Launcher(TREE)
        self.quarn_emu = os.path.join(TREE, 'bin', 'quarn-emu')
        if self.launcher.prefix:
            self.quarn_emu += '.ia32'
        self.quarn_tests = os.path.join(TREE, 'Test', 'quarn-tests')
        self.limits = {}
        for step, seconds in self.steps_once(None).items():
            if seconds is None:
                sys.exit('mutate: the unchanged suite fails in step %s' % step)
            self.limits[step] = max(30.0, timeout_factor * seconds)

    def steps_once(self, limits):
        """Runs the test steps on what is built; {step: seconds} or None for a failed step."""
        times = {}
        for step, program, arguments in (('check', self.quarn_emu, ['check']),
                                         ('gtest', self.quarn_tests, ['--gtest_brief=1'])):
            status, _, seconds = self.launcher.run(program, arguments, None)
            times[step] = seconds if status == 0 else None
        return times

    def build(self, target):
        status, output, seconds = run(['cmake', '--build', TREE, '--target', target], 1800)
        return status == 0, seconds

    def judge(self):
        """Builds and tests what the mirror holds now; returns (verdict, how)."""
        built, _ = self.build('quarn-emu')
        if not built:
            return 'not viable', 'does not build'
        status, output, _ = self.launcher.run(self.quarn_emu, ['check'], self.limits['check'])
        if status == 'timeout':
            return 'killed', 'quarn-emu check: time limit'
        if status != 0:
            return 'killed', 'quarn-emu check (exit %s)' % status
        built, _ = self.build('quarn-tests')
        if not built:
            return 'not viable', 'quarn-tests does not build'
        status, output, _ = self.launcher.run(self.quarn_tests, ['--gtest_brief=1', '--gtest_fail_fast'],
                                              self.limits['gtest'])
        if status == 'timeout':
            return 'killed', 'quarn-tests: time limit'
        if status != 0:
            failed = re.findall(r'^\[  FAILED  \] (\S+)', output, re.M)
            return 'killed', 'quarn-tests: ' + (failed[0] if failed else 'exit %s' % status)
        return 'survived', ''


class ToolJudge(Judge):
    """The tool's test steps, the cheap ones first: its GoogleTest cases that take less than
    a second, `quarn-emu check`, its slow cases (the explain searches over every built-in
    scenario), and for the command line (main.cpp, Commands.h) the exit-status tests CTest
    runs on quarn-emu. The first step that fails kills the mutant."""

    SLOW_MS = 1000

    def __init__(self, timeout_factor):
        self.launcher = Launcher(TREE)
        self.quarn_emu = os.path.join(TREE, 'bin', 'quarn-emu')
        if self.launcher.prefix:
            self.quarn_emu += '.ia32'
        self.quarn_tests = os.path.join(TREE, 'Test', 'quarn-tests')
        suites = ':'.join('%s.*:*/%s.*' % (n, n) for n in tool_suites())
        status, output, _ = self.launcher.run(self.quarn_tests, ['--gtest_filter=' + suites], None)
        if status != 0:
            sys.exit('mutate: the unchanged tool suites fail:\n' + output[-3000:])
        slow = [name for name, ms in re.findall(r'^\[       OK \] (\S+) \((\d+) ms\)', output, re.M)
                if int(ms) >= self.SLOW_MS]
        self.filters = {'gtest': suites + ('-' + ':'.join(slow) if slow else ''), 'gtest-slow': ':'.join(slow)}
        self.cli_tests = exit_status_tests(TREE)
        self.steps = [('gtest', 'quarn-tests', self.quarn_tests, ['--gtest_brief=1', '--gtest_filter=' + self.filters['gtest']]),
                      ('check', 'quarn-emu', self.quarn_emu, ['check'])]
        if slow:
            self.steps.append(('gtest-slow', 'quarn-tests', self.quarn_tests,
                               ['--gtest_brief=1', '--gtest_filter=' + self.filters['gtest-slow']]))
        self.steps.append(('cli', 'quarn-emu', None, ['ctest', '--test-dir', TREE, '--stop-on-failure', '-R',
                                                      '^(%s)$' % '|'.join(map(re.escape, self.cli_tests))]))
        self.limits = {}
        for step, _, program, arguments in self.steps:
            status, output, seconds = self.run_step(program, arguments, None)
            if status != 0:
                sys.exit('mutate: the unchanged tool fails in step %s:\n%s' % (step, output[-3000:]))
            self.limits[step] = max(30.0, timeout_factor * seconds)

    def run_step(self, program, arguments, limit):
        if program is None:
            return run(arguments, limit)
        return self.launcher.run(program, arguments, limit)

    def judge(self, command_line=False):
        for step, target, program, arguments in self.steps:
            if step == 'cli' and not command_line:
                continue
            built, _ = self.build(target)
            if not built:
                return 'not viable', target + ' does not build'
            if program == self.quarn_tests:
                arguments = arguments + ['--gtest_fail_fast']
            status, output, _ = self.run_step(program, arguments, self.limits[step])
            if status == 'timeout':
                return 'killed', '%s: time limit' % step
            if status != 0:
                if program == self.quarn_tests:
                    failed = re.findall(r'^\[  FAILED  \] (\S+)', output, re.M)
                elif program is None:
                    failed = re.findall(r'^\s*\d+/\d+ Test\s+#\d+: (\S+) \.+\**\s*Failed', output, re.M)
                else:
                    failed = []
                return 'killed', '%s: %s' % (step, failed[0] if failed else 'exit %s' % status)
        return 'survived', ''


def tool_suites():
    """The GoogleTest suites of the tool's tests (Test/Tools/*.cpp), sorted."""
    suites = set()
    folder = os.path.join(MIRROR, TOOL_TESTS)
    for name in sorted(os.listdir(folder)):
        if name.endswith('.cpp'):
            with open(os.path.join(folder, name), encoding='utf-8') as f:
                suites.update(re.findall(r'^\s*(?:TEST|TEST_F|TEST_P|TYPED_TEST)\(\s*(\w+)\s*,', f.read(), re.M))
    return sorted(suites)


def exit_status_tests(tree):
    """CTest's tests that start quarn-emu with arguments and check its exit status and
    output (RunExpectingExit.cmake): the command line's own tests."""
    out = subprocess.run(['ctest', '--test-dir', tree, '--show-only=json-v1'], check=True, capture_output=True).stdout
    return sorted(t['name'] for t in json.loads(out)['tests']
                  if any(a.endswith('/RunExpectingExit.cmake') for a in t.get('command', [])))


def judge_tool_mutant(judge, objects, m):
    """judge_mutant for the tool: the mutant goes into the objects that compile it (every
    reader of a header, tests included), is judged, and the unchanged objects are put back."""
    path = os.path.join(MIRROR, m['file'])
    if m['file'].endswith('.h'):
        targets = objects.readers(m['file'])
        if not any(o in objects.object_of.values() for o in targets):
            return 'not viable', 'no code of the tool reads this header'
    else:
        targets = [objects.object_of[m['file']]]
    with open(ModuleObjects.JOURNAL, 'w') as f:
        json.dump(targets, f)
    stamp = os.stat(path)
    original = apply(m)
    try:
        if m['file'].endswith('.h'):
            compiled = objects.compile(targets)
        else:
            compiled, _ = judge.build(objects.target(m['file']))
    finally:
        restore(m, original)
        os.utime(path, ns=(stamp.st_atime_ns, stamp.st_mtime_ns))
    try:
        if not compiled:
            return 'not viable', 'does not build'
        if objects.unchanged(targets):
            return 'equivalent', 'same object code'
        return judge.judge(command_line=m['file'].endswith(('main.cpp', 'Commands.h')))
    finally:
        objects.put_back(targets)


def judge_mutant(judge, objects, m):
    """Applies m in the mirror, judges it and undoes it; returns (verdict, how).
    A mutant whose objects come out byte for byte as before is equivalent: the compiler
    made the same code of it (a constant no code uses, a check folded away)."""
    path = os.path.join(MIRROR, m['file'])
    if not m['file'].endswith('.h'):
        original = apply(m)
        try:
            built, _ = judge.build('QuarnModule')
            if not built:
                return 'not viable', 'does not build'
            if objects.unchanged([objects.object_of[m['file']]]):
                return 'equivalent', 'same object code'
            return judge.judge()
        finally:
            restore(m, original)
    readers = objects.readers(m['file'])
    if not readers:
        return 'not viable', 'no module code reads this header'
    if not all(os.path.isfile(o) for o in readers):
        judge.build('QuarnModule')  # objects the last header mutant left are compiled anew
    stamp = os.stat(path)
    original = apply(m)
    try:
        compiled = objects.compile(readers)
    finally:
        restore(m, original)
        os.utime(path, ns=(stamp.st_atime_ns, stamp.st_mtime_ns))
    try:
        if not compiled:
            return 'not viable', 'does not build'
        if objects.unchanged(readers):
            return 'equivalent', 'same object code'
        return judge.judge()
    finally:
        ModuleObjects.forget()


def apply(m):
    """Writes the mutant into the mirror; returns the original bytes of the file."""
    path = os.path.join(MIRROR, m['file'])
    with open(path, encoding='utf-8') as f:
        text = f.read()
    assert text[m['offset']:m['offset'] + m['length']] == m['original'], 'mirror out of step at ' + describe(m)
    with open(path, 'w', encoding='utf-8') as f:
        f.write(text[:m['offset']] + m['replacement'] + text[m['offset'] + m['length']:])
    return text


def restore(m, text):
    with open(os.path.join(MIRROR, m['file']), 'w', encoding='utf-8') as f:
        f.write(text)


def interrupted(signum, frame):
    """SIGTERM ends the run like Ctrl-C: the mutant in hand is undone first."""
    raise KeyboardInterrupt()


def git_commit():
    try:
        head = subprocess.run(['git', 'rev-parse', '--short', 'HEAD'], cwd=ROOT, check=True,
                              capture_output=True, text=True).stdout.strip()
        dirty = subprocess.run(['git', 'status', '--porcelain', '--untracked-files=no'], cwd=ROOT,
                               capture_output=True, text=True).stdout.strip()
        return head + ('+changes' if dirty else '')
    except (OSError, subprocess.CalledProcessError):
        return 'unknown'


def main():
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    parser.add_argument('--scope', choices=('module', 'tool'), default='module',
                        help='mutants of the module (Pei/, Library/, Include/) or of quarn-emu (Tools/quarn-emu/); '
                             'default module')
    parser.add_argument('--sample', type=int, default=100, help='mutants drawn at random (0: all); default 100')
    parser.add_argument('--seed', type=int, default=16, help='seed of the draw; default 16')
    parser.add_argument('--filter', default='', help='only files whose path matches this regular expression')
    parser.add_argument('--list', action='store_true', help='print the mutants that would run and stop')
    parser.add_argument('--mutant', type=int, action='append', default=[], help='run this mutant (an id from --list)')
    parser.add_argument('--timeout-factor', type=float, default=10.0,
                        help='a test step may take this many times its unchanged run (at least 30 s)')
    args = parser.parse_args()

    paths = [p for p in module_files(args.scope) if re.search(args.filter, p)]
    everything = find_mutants(paths)
    if args.mutant:
        chosen = [everything[i] for i in args.mutant]
    elif args.sample and args.sample < len(everything):
        chosen = sorted(random.Random(args.seed).sample(everything, args.sample), key=lambda m: m['id'])
    else:
        chosen = everything
    if args.list:
        for m in chosen:
            print('%5d  %s' % (m['id'], describe(m)))
        print('%d of %d mutants in %d files' % (len(chosen), len(everything), len(paths)))
        return 0

    signal.signal(signal.SIGTERM, interrupted)
    os.makedirs(WORK, exist_ok=True)
    started = time.monotonic()
    sync_mirror()
    ModuleObjects.forget()
    configure_and_build()
    if args.scope == 'tool':
        objects, judge, judge_one = ToolObjects(TREE), ToolJudge(args.timeout_factor), judge_tool_mutant
    else:
        objects, judge, judge_one = ModuleObjects(TREE), Judge(args.timeout_factor), judge_mutant
    print('mutate: %d of %d mutants of the %s (seed %d%s), commit %s; time limits: %s'
          % (len(chosen), len(everything), args.scope, args.seed, ', files matching ' + args.filter if args.filter else '',
             git_commit(), ', '.join('%s %.0f s' % limit for limit in judge.limits.items())), flush=True)

    listed = known_equivalents()
    results = []
    try:
        for number, m in enumerate(chosen, 1):
            began = time.monotonic()
            if m['key'] in listed:
                verdict, how = 'equivalent', 'listed: ' + listed[m['key']]
            else:
                verdict, how = judge_one(judge, objects, m)
            result = dict(m, verdict=verdict, how=how, seconds=round(time.monotonic() - began, 1))
            del result['offset'], result['length']
            results.append(result)
            print('[%3d/%d] %-10s %s%s' % (number, len(chosen), verdict, describe(m),
                                           '  <- ' + how if how else ''), flush=True)
    except KeyboardInterrupt:
        print('mutate: interrupted; the mirror is restored, %d mutants judged' % len(results))
    finally:
        judge.build('quarn-tests')  # leaves the build matching the unchanged sources

    equivalent = [r for r in results if r['verdict'] == 'equivalent']
    killed = [r for r in results if r['verdict'] == 'killed']
    survived = [r for r in results if r['verdict'] == 'survived']
    judged = len(killed) + len(survived)
    score = 100.0 * len(killed) / judged if judged else 0.0
    mutant_seconds = [r['seconds'] for r in results]
    summary = {
        'commit': git_commit(), 'scope': args.scope, 'seed': args.seed, 'sample': len(chosen), 'filter': args.filter,
        'candidates': len(everything), 'killed': len(killed), 'survived': len(survived),
        'equivalent': len(equivalent), 'not_viable': len(results) - judged - len(equivalent), 'score_percent': round(score, 1),
        'seconds_total': round(time.monotonic() - started, 1),
        'seconds_per_mutant': round(sum(mutant_seconds) / len(mutant_seconds), 1) if mutant_seconds else 0,
        'mutants': results,
    }
    report = REPORTS[args.scope]
    with open(report, 'w') as f:
        json.dump(summary, f, indent=1)
    print()
    print('survivors:' if survived else 'no survivors')
    for r in survived:
        print('  #%d %s\n        key: %s' % (r['id'], describe(r), r['key']))
    print('mutation score: %.1f %% (%d killed of %d; %d equivalent, %d not viable) in %.0f s, %.1f s per mutant; '
          'report %s' % (score, len(killed), judged, len(equivalent), summary['not_viable'], summary['seconds_total'],
                         summary['seconds_per_mutant'], os.path.relpath(report, ROOT)))
    return 0


if __name__ == '__main__':
    sys.exit(main())
