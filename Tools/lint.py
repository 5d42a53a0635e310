#!/usr/bin/env python3
"""make lint: static analysis and one code style, with zero findings.

  Tools/lint.py [--host-tree DIR] [--firmware-tree DIR] [--jobs N] [--no-format]
  Tools/lint.py --self-test

Four gates, each over the sources it applies to:

  clang-tidy    the families of .clang-tidy (Tools/quarn-emu/.clang-tidy narrows them for
                the tool, Emulator/.clang-tidy adjusts them for the emulator) on the module,
                its libraries, the boot ROM, the OVMF platform module, the emulator and the
                tool, in every configuration that builds them: the compile commands of the
                host tree (IA32 host build, DEBUG and RELEASE flavours of the module) and of
                the firmware tree (the freestanding IA32 images), as CMake exports them. The
                firmware's GCC-only flags are given to clang in its own words.
  cppcheck      the same sources in the same configurations.
  flake8        every Python program (Debian's python3-flake8; .flake8).
  clang-format  every C and C++ source against .clang-format (--no-format skips it).

Results of clang-tidy are cached in build/lint/tidy, keyed by the file's compile command,
its contents, the headers it includes and the configuration; cppcheck keeps its own in
build/lint/cppcheck-*. Both run on --jobs processes (default: every core).

Inline suppressions carry their reason on the same line:
  // NOLINT(check): why   // NOLINTNEXTLINE(check): why   // cppcheck-suppress id ; why
  # noqa: CODE why
Each must also be listed in the README's table ("Static analysis and code style"); a
suppression without a reason, or one the README does not list, is a finding.

--self-test copies a module source into build/lint/self-test, injects a null
dereference, an out-of-bounds read and a misformatted line, one at a time, and shows the
gates fail on each (and pass on the untouched copy).
"""
import argparse
import concurrent.futures
import fnmatch
import hashlib
import json
import os
import re
import shlex
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CACHE = os.path.join(ROOT, "build", "lint")

# What clang-tidy and cppcheck read: the module, its libraries, the boot ROM and the OVMF
# platform module (Firmware/), the emulator and the tool.
SCOPES = ("Pei/", "Library/", "Firmware/", "Emulator/", "Tools/quarn-emu/")
SOURCE_SUFFIXES = (".cpp", ".cc", ".c")
# Headers whose findings are ours: everything of the package but the framework's own
# declarations (MdeSubset/, checked against MdePkg by Firmware/Edk2/check-headers.py).
HEADER_FILTER = "^" + re.escape(ROOT + os.sep) + "(Include|Pei|Library|Firmware|Emulator|Tools)/"

# The firmware tree's GCC flags clang does not know, and what clang needs instead.
GCC_ONLY = {
    "-fno-tree-loop-distribute-patterns": [],  # no loop is turned into memset/memcpy: a GCC pass
    "-malign-data=abi": [],                     # clang aligns data as the ABI says anyway
    "-fno-fat-lto-objects": [],                 # link-time optimisation changes nothing read here
    "-flto": [],
    "-Werror": [],                              # every warning is a finding anyway
}
FORMAT_SUFFIXES = (".cpp", ".h", ".c", ".cc", ".cxx", ".hpp", ".inc")

FINDING = re.compile(r"^(?P<file>[^\s:][^:]*):(?P<line>\d+):(?P<col>\d+): (?P<sev>warning|error): (?P<msg>.*)$")
CHECK_TAG = re.compile(r"\[(?P<check>[A-Za-z0-9_.,\-]+)\]\s*$")


def rel(path):
    path = os.path.normpath(path)
    return os.path.relpath(path, ROOT) if path.startswith(ROOT + os.sep) else path


def tracked_files():
    try:
        out = subprocess.run(["git", "-C", ROOT, "ls-files", "-z"], capture_output=True, check=True).stdout
        return [f for f in out.decode().split("\0") if f and os.path.exists(os.path.join(ROOT, f))]
    except (OSError, subprocess.CalledProcessError):
        found = []
        for base, dirs, files in os.walk(ROOT):
            dirs[:] = [d for d in dirs if not d.startswith(".") and rel(os.path.join(base, d)) != "build"]
            found += [rel(os.path.join(base, f)) for f in files]
        return found


def sha(data):
    return hashlib.sha256(data).hexdigest()


_file_hashes = {}


def file_hash(path):
    if path not in _file_hashes:
        try:
            with open(path, "rb") as f:
                _file_hashes[path] = sha(f.read())
        except OSError:
            _file_hashes[path] = "missing"
    return _file_hashes[path]


def tool_version(tool):
    out = subprocess.run([tool, "--version"], capture_output=True, text=True)
    return out.stdout.strip()


# ---------------------------------------------------------------------------------------
# Compile commands

class Unit:
    """One source in one configuration: what clang-tidy and cppcheck read."""

    def __init__(self, path, directory, args, tree):
        self.path = path            # relative to ROOT
        self.directory = directory
        self.args = args            # compiler flags for clang, without the source and output
        self.tree = tree

    @property
    def source(self):
        return os.path.join(ROOT, self.path)


def clang_args(arguments, source):
    """The compile command's flags as clang reads them (no compiler, source or output)."""
    args = []
    skip = 0
    for index, arg in enumerate(arguments[1:], start=1):
        if skip:
            skip -= 1
            continue
        if arg in ("-o", "-MF", "-MT", "-MQ"):
            skip = 1
            continue
        if arg in ("-c", "-MD", "-MMD") or arg == source or os.path.normpath(arg) == source:
            continue
        if arg in GCC_ONLY:
            args += GCC_ONLY[arg]
            continue
        if arg.startswith("-flto="):
            continue
        match = re.fullmatch(r"-mpreferred-stack-boundary=(\d+)", arg)
        if match:
            # GCC's boundary is a power of two; clang takes the alignment in bytes.
            args.append("-mstack-alignment=%d" % (1 << int(match.group(1))))
            continue
        args.append(arg)
    return args


def load_units(trees, tracked):
    units = []
    seen = set()
    for name, tree in trees:
        database = os.path.join(tree, "compile_commands.json")
        if not os.path.exists(database):
            sys.exit(f"lint: {rel(database)} is missing: configure the {name} tree first "
                     f"(cmake --preset {name}), or name another with --{name}-tree")
        with open(database) as f:
            entries = json.load(f)
        for entry in entries:
            compiled = os.path.normpath(os.path.join(entry["directory"], entry["file"]))
            arguments = entry.get("arguments") or shlex.split(entry["command"])
            args = clang_args(arguments, compiled)
            # The same flags but for debug information (the firmware links one object set
            # with -g and one without) are one configuration; so are the tool's builds that
            # differ only in the texts naming the build (quarn-emu and quarn-emu-release).
            args = [a for a in args if not re.fullmatch(r"-g\d?", a)]
            key_args = tuple(a for a in args if not re.fullmatch(r"-DQUARN_(MODULE_FLAVOUR|BUILD_KIND)=.*", a))
            for source in batch_sources(compiled):
                path = rel(source)
                if path not in tracked or not path.startswith(SCOPES) or not path.endswith(SOURCE_SUFFIXES):
                    continue
                if (path, key_args) in seen:
                    continue
                seen.add((path, key_args))
                units.append(Unit(path, entry["directory"], args, name))
    return units


def batch_sources(compiled):
    """The sources a compile command compiles: the file itself, or for a batch of a
    batched target (CMake's unity source, cmake/HostIa32.cmake) the sources it includes,
    each analysed on its own with the batch's flags."""
    if not re.search(r"/Unity/unity_\d+_cxx\.cxx$", compiled):
        return [compiled]
    with open(compiled, encoding="utf-8") as f:
        return [os.path.normpath(m) for m in re.findall(r'^#include "([^"]+)"', f.read(), re.M)]


# ---------------------------------------------------------------------------------------
# clang-tidy

def tidy_configs(path):
    """The texts of the .clang-tidy files that apply to path (nearest first)."""
    texts = []
    directory = os.path.dirname(os.path.join(ROOT, path))
    while True:
        candidate = os.path.join(directory, ".clang-tidy")
        if os.path.exists(candidate):
            with open(candidate) as f:
                text = f.read()
            texts.append(text)
            if not re.search(r"^InheritParentConfig:\s*true", text, re.M):
                break
        if directory == ROOT or os.path.dirname(directory) == directory:
            break
        directory = os.path.dirname(directory)
    return texts


def dependencies(unit, source=None):
    """The non-system headers the unit reads (its forced includes among them)."""
    source = source or unit.source
    out = subprocess.run(["clang++"] + unit.args + ["-E", "-MM", "-MF", "-", "-o", os.devnull, source],
                         cwd=unit.directory, capture_output=True, text=True)
    if out.returncode != 0:
        return None
    words = out.stdout.replace("\\\n", " ").split()
    return sorted({os.path.normpath(os.path.join(unit.directory, w)) for w in words[1:]} - {source})


def parse_tidy(output):
    """Findings (file, line, col, check, message) of a clang-tidy run, and the text of each."""
    findings = []
    lines = output.splitlines()
    for index, line in enumerate(lines):
        match = FINDING.match(line)
        if not match:
            continue
        text = [line]
        check = CHECK_TAG.search(line)
        follow = index + 1
        while not check and follow < len(lines) and not FINDING.match(lines[follow]):
            text.append(lines[follow])
            check = CHECK_TAG.search(lines[follow])
            follow += 1
        path = os.path.normpath(os.path.join(ROOT, match.group("file")))
        findings.append({
            "file": rel(path), "line": int(match.group("line")), "col": int(match.group("col")),
            "check": check.group("check").replace(",-warnings-as-errors", "") if check else "clang-tidy",
            "message": CHECK_TAG.sub("", match.group("msg")).strip(),
        })
    return findings


def run_tidy(unit, source=None, header_filter=HEADER_FILTER):
    source = source or unit.source
    command = ["clang-tidy", "--quiet", f"--header-filter={header_filter}", source, "--"] + unit.args
    started = time.time()
    out = subprocess.run(command, cwd=unit.directory, capture_output=True, text=True)
    findings = parse_tidy(out.stdout)
    if out.returncode != 0 and not findings:
        findings.append({"file": rel(source), "line": 0, "col": 0, "check": "clang-tidy",
                         "message": "clang-tidy failed: " + (out.stderr.strip().splitlines() or ["?"])[-1]})
    return findings, out.stdout, time.time() - started


class TidyCache:
    def __init__(self, directory, version):
        self.directory = directory
        self.version = version
        os.makedirs(directory, exist_ok=True)

    def key(self, unit):
        parts = [self.version, HEADER_FILTER, unit.path, unit.tree, json.dumps(unit.args),
                 file_hash(unit.source)] + tidy_configs(unit.path)
        return sha("\0".join(parts).encode())

    def get(self, unit):
        path = os.path.join(self.directory, self.key(unit) + ".json")
        try:
            with open(path) as f:
                entry = json.load(f)
        except (OSError, ValueError):
            return None
        for dep, digest in entry["deps"].items():
            if file_hash(dep) != digest:
                return None
        return entry

    def put(self, unit, deps, findings, output, seconds):
        entry = {"file": unit.path, "tree": unit.tree, "seconds": round(seconds, 2),
                 "deps": {d: file_hash(d) for d in deps}, "findings": findings,
                 "output": output if findings else ""}
        path = os.path.join(self.directory, self.key(unit) + ".json")
        with open(path + ".tmp", "w") as f:
            json.dump(entry, f)
        os.replace(path + ".tmp", path)

    def seconds(self):
        """Earlier durations by file, to start the longest units first."""
        times = {}
        for name in os.listdir(self.directory):
            if name.endswith(".json"):
                try:
                    with open(os.path.join(self.directory, name)) as f:
                        entry = json.load(f)
                    times[entry["file"]] = max(times.get(entry["file"], 0), entry["seconds"])
                except (OSError, ValueError, KeyError):
                    pass
        return times


def tidy_all(units, jobs, verbose=False):
    cache = TidyCache(os.path.join(CACHE, "tidy"), tool_version("clang-tidy"))
    todo = []
    results = []
    for unit in units:
        entry = cache.get(unit)
        if entry is None:
            todo.append(unit)
        else:
            results.append((unit, entry["findings"], entry["output"]))
    earlier = cache.seconds()
    # The tool's units take longest; without an earlier time, assume so.
    todo.sort(key=lambda u: earlier.get(u.path, 30.0 if u.path.startswith(("Tools/", "Emulator/")) else 1.0),
              reverse=True)

    def work(unit):
        findings, output, seconds = run_tidy(unit)
        deps = dependencies(unit)
        if deps is not None:
            cache.put(unit, deps, findings, output, seconds)
        return unit, findings, output

    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        for done, (unit, findings, output) in enumerate(pool.map(work, todo), start=1):
            results.append((unit, findings, output))
            if verbose:
                print(f"  clang-tidy {done}/{len(todo)} {unit.path} ({unit.tree}): {len(findings)} findings",
                      file=sys.stderr, flush=True)
    return results, len(units) - len(todo)


# ---------------------------------------------------------------------------------------
# cppcheck

CPPCHECK_TEMPLATE = "{file}:{line}:{column}: {severity}: {message} [{id}]"


def cppcheck_command(database, build_dir, jobs):
    return ["cppcheck", f"--project={database}", "--enable=warning,performance,portability",
            "--inline-suppr", "--platform=unix32", "--library=gnu", "-D__CPPCHECK__",
            f"-j{jobs}", f"--cppcheck-build-dir={build_dir}", "--suppress=missingIncludeSystem",
            "--suppress=*:" + os.path.join(ROOT, "MdeSubset") + "/*", "--error-exitcode=1", "-q",
            f"--template={CPPCHECK_TEMPLATE}"]


def parse_cppcheck(output):
    findings = []
    for line in output.splitlines():
        match = FINDING.match(line.replace(": style:", ": warning:").replace(": performance:", ": warning:")
                              .replace(": portability:", ": warning:").replace(": information:", ": warning:"))
        if match:
            check = CHECK_TAG.search(line)
            findings.append({"file": rel(match.group("file")), "line": int(match.group("line")),
                             "col": int(match.group("col")), "check": "cppcheck-" + (check.group("check") if check else "?"),
                             "message": CHECK_TAG.sub("", match.group("msg")).strip()})
    return findings


def cppcheck_units(units, name, jobs):
    """cppcheck on units (one run per configuration set), in its own incremental build dir."""
    # Its results are kept per version and options: cppcheck itself looks only at the sources.
    options = tool_version("cppcheck") + json.dumps(cppcheck_command("", "", 1))
    work = os.path.join(CACHE, f"cppcheck-{name}-{sha(options.encode())[:12]}")
    os.makedirs(work, exist_ok=True)
    entries = [{"directory": u.directory, "file": u.source, "arguments": ["c++"] + u.args + ["-c", u.source]}
               for u in units]
    database = os.path.join(work, "compile_commands.json")
    with open(database, "w") as f:
        json.dump(entries, f, indent=1)
    out = subprocess.run(cppcheck_command(database, work, jobs), capture_output=True, text=True)
    findings = parse_cppcheck(out.stdout + "\n" + out.stderr)
    if out.returncode != 0 and not findings:
        findings.append({"file": "", "line": 0, "col": 0, "check": "cppcheck", "message":
                         "cppcheck failed: " + (out.stderr.strip().splitlines() or ["?"])[-1]})
    return findings


# ---------------------------------------------------------------------------------------
# flake8, clang-format, suppressions

def python_files(tracked):
    files = []
    for path in tracked:
        if path.endswith(".py"):
            files.append(path)
        elif "." not in os.path.basename(path) and path.startswith(("Tools/", "Firmware/", "Test/", "cmake/")):
            with open(os.path.join(ROOT, path), "rb") as f:
                if re.match(rb"#!.*python", f.readline()):
                    files.append(path)
    return files


def flake8_command():
    for candidate in (["flake8"], [sys.executable, "-m", "flake8"], ["/usr/bin/python3", "-m", "flake8"]):
        try:
            if subprocess.run(candidate + ["--version"], capture_output=True).returncode == 0:
                return candidate
        except OSError:
            pass
    sys.exit("lint: flake8 is missing (Debian package python3-flake8: make deps)")


def run_flake8(files):
    out = subprocess.run(flake8_command() + ["--config", os.path.join(ROOT, ".flake8")] + files,
                         cwd=ROOT, capture_output=True, text=True)
    findings = []
    for line in out.stdout.splitlines():
        match = re.match(r"^(?P<file>[^:]+):(?P<line>\d+):(?P<col>\d+): (?P<code>\S+) (?P<msg>.*)$", line)
        if match:
            findings.append({"file": rel(os.path.join(ROOT, match.group("file"))), "line": int(match.group("line")),
                             "col": int(match.group("col")), "check": "flake8-" + match.group("code"),
                             "message": match.group("msg")})
    if out.returncode != 0 and not findings:
        findings.append({"file": "", "line": 0, "col": 0, "check": "flake8", "message": out.stderr.strip()})
    return findings


def format_files(tracked):
    return [p for p in tracked if p.endswith(FORMAT_SUFFIXES)]


def run_format(files, jobs):
    """clang-format's verdict on files (paths relative to ROOT or absolute)."""
    findings = []
    batches = [files[i::jobs] for i in range(jobs)]

    def one(batch):
        if not batch:
            return ""
        out = subprocess.run(["clang-format", "--dry-run", "--Werror", "--style=file"] + batch,
                             cwd=ROOT, capture_output=True, text=True)
        return out.stderr

    with concurrent.futures.ThreadPoolExecutor(jobs) as pool:
        for text in pool.map(one, batches):
            for line in text.splitlines():
                match = FINDING.match(line)
                if match:
                    findings.append({"file": rel(os.path.join(ROOT, match.group("file"))),
                                     "line": int(match.group("line")), "col": int(match.group("col")),
                                     "check": "clang-format", "message": "not as .clang-format lays it out"})
    return findings


SUPPRESSION = re.compile(r"(?://|#)\s*(?P<kind>NOLINTNEXTLINE|NOLINT|cppcheck-suppress|noqa)\b(?P<rest>.*)$")


def suppressions(tracked):
    """Every inline suppression: (file, line, what, reason)."""
    found = []
    sources = [p for p in tracked if p.endswith(FORMAT_SUFFIXES)] + python_files(tracked)
    for path in sources:
        if path.startswith("MdeSubset/") or path == "Tools/lint.py":
            continue
        with open(os.path.join(ROOT, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, start=1):
                match = SUPPRESSION.search(line)
                if not match:
                    continue
                rest = match.group("rest")
                kind = match.group("kind")
                if kind.startswith("NOLINT"):
                    what = re.match(r"\(([^)]*)\)", rest)
                elif kind == "cppcheck-suppress":
                    what = re.match(r"\s*(\S+)", rest)
                else:
                    what = re.match(r":\s*([A-Z0-9, ]+?)(?=\s|$)", rest)
                checks = what.group(1).replace(" ", "") if what else "*"
                reason = rest[what.end():] if what else rest
                found.append((path, number, checks, reason.strip(" :;-")))
    return found


README_SECTION = "## Static analysis and code style"


def check_suppressions(tracked):
    """Each inline suppression names what it suppresses, gives its reason and is in the README."""
    readme = open(os.path.join(ROOT, "README.md"), encoding="utf-8").read()
    section = readme[readme.find(README_SECTION):] if README_SECTION in readme else ""
    section = section[:section.find("\n## ", 1)] if "\n## " in section[1:] else section
    listed = set(re.findall(r"`([^`\n]+)`", re.sub(r"```.*?```", "", section, flags=re.S)))
    findings = []
    for path, number, checks, reason in suppressions(tracked):
        problem = None
        if checks == "*":
            problem = "a suppression must name what it suppresses"
        elif len(reason) < 10:
            problem = "a suppression must give its reason on its line"
        elif not all(check in listed for check in checks.split(",")) or \
                not any(path == entry or ("*" in entry and fnmatch.fnmatch(path, entry)) for entry in listed):
            problem = f"not listed in the README (\"{README_SECTION[3:]}\")"
        if problem:
            findings.append({"file": path, "line": number, "col": 1, "check": "suppression", "message": problem})
    return findings


# ---------------------------------------------------------------------------------------

def report(findings, outputs=()):
    unique = {}
    for f in findings:
        unique.setdefault((f["file"], f["line"], f["col"], f["check"]), f)
    for key in sorted(unique):
        f = unique[key]
        print(f"{f['file']}:{f['line']}:{f['col']}: {f['message']} [{f['check']}]")
    shown = set()
    for output in outputs:
        if output and output not in shown:
            shown.add(output)
            print(output.replace(ROOT + os.sep, ""))
    return len(unique)


def lint(options):
    started = time.time()
    tracked = set(tracked_files())
    trees = [("host", options.host_tree), ("firmware", options.firmware_tree)]
    units = load_units(trees, tracked)
    findings = []
    outputs = []
    summary = []

    t0 = time.time()
    results, hits = tidy_all(units, options.jobs, options.verbose)
    for unit, unit_findings, output in results:
        findings += unit_findings
        if unit_findings:
            outputs.append(output)
    tidy_count = len({(f["file"], f["line"], f["check"]) for _, fs, _ in results for f in fs})
    summary.append(f"clang-tidy {tidy_count} ({len(units)} units, {hits} cached, {time.time() - t0:.0f} s)")

    t0 = time.time()
    cpp = []
    for name in ("host", "firmware"):
        cpp += cppcheck_units([u for u in units if u.tree == name], name, options.jobs)
    findings += cpp
    summary.append(f"cppcheck {len({(f['file'], f['line'], f['check']) for f in cpp})} ({time.time() - t0:.0f} s)")

    t0 = time.time()
    py = python_files(sorted(tracked))
    flake = run_flake8(py)
    findings += flake
    summary.append(f"flake8 {len(flake)} ({len(py)} files, {time.time() - t0:.0f} s)")

    if options.no_format:
        summary.append("clang-format skipped")
    else:
        t0 = time.time()
        files = format_files(sorted(tracked))
        fmt = run_format(files, options.jobs)
        findings += fmt
        summary.append(f"clang-format {len(fmt)} ({len(files)} files, {time.time() - t0:.0f} s)")

    sup = check_suppressions(sorted(tracked))
    findings += sup
    summary.append(f"suppressions {len(sup)}")

    count = report(findings, outputs)
    print(f"lint: {count} findings: " + ", ".join(summary) + f"; {time.time() - started:.0f} s")
    return 1 if count else 0


# ---------------------------------------------------------------------------------------
# Self-test: the gates fail on injected faults

SELF_TEST_SOURCE = "Library/BaseLib/String.cpp"

NULL_DEREFERENCE = """
extern "C" UINTN EFIAPI LintProbeNull(IN UINTN Index) {
  CONST UINTN *Table = nullptr;
  return Table[Index];  // PROBE: null dereference
}
"""

OUT_OF_BOUNDS = """
extern "C" UINT8 EFIAPI LintProbeBounds(IN UINTN Index) {
  CONST UINT8 Table[4] = {1, 2, 3, 4};
  if (Index > 4) {
    return 0;
  }
  return Table[Index];  // PROBE: Index 4 reads past the table
}
"""


def self_test(options):
    tracked = set(tracked_files())
    units = [u for u in load_units([("firmware", options.firmware_tree)], tracked) if u.path == SELF_TEST_SOURCE]
    if not units:
        sys.exit(f"lint --self-test: no firmware compile command for {SELF_TEST_SOURCE}")
    unit = units[0]
    work = os.path.join(CACHE, "self-test")
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    original = open(unit.source).read()
    # The scratch copy reads its own folder's headers as the original does.
    scratch_unit = Unit(unit.path, unit.directory, unit.args + ["-I" + os.path.dirname(unit.source)], unit.tree)
    failures = 0

    def analyse(text, name):
        path = os.path.join(work, name)
        with open(path, "w") as f:
            f.write(text)
        tidy, _, _ = run_tidy(scratch_unit, source=path, header_filter="^$")
        entries = [{"directory": unit.directory, "file": path, "arguments": ["c++"] + scratch_unit.args + ["-c", path]}]
        database = os.path.join(work, name + ".json")
        with open(database, "w") as f:
            json.dump(entries, f)
        build = os.path.join(work, name + ".cppcheck")
        os.makedirs(build)
        out = subprocess.run(cppcheck_command(database, build, 1), capture_output=True, text=True)
        cpp = parse_cppcheck(out.stdout + out.stderr)
        return tidy, cpp

    def probe_line(text):
        return next(i for i, line in enumerate(text.splitlines(), start=1) if "PROBE" in line)

    def expect(name, ok, detail):
        nonlocal failures
        print(f"  {'ok  ' if ok else 'FAIL'} {name}: {detail}")
        failures += 0 if ok else 1

    print(f"lint self-test on a copy of {SELF_TEST_SOURCE} (firmware, DEBUG):")
    tidy, cpp = analyse(original, "Clean.cpp")
    expect("untouched copy", not tidy and not cpp, f"{len(tidy)} clang-tidy and {len(cpp)} cppcheck findings")

    for name, probe in (("null dereference", NULL_DEREFERENCE), ("out-of-bounds read", OUT_OF_BOUNDS)):
        text = original + probe
        line = probe_line(text)
        tidy, cpp = analyse(text, name.replace(" ", "-") + ".cpp")
        hits = [f"{f['check']} at line {f['line']}" for f in tidy + cpp if f["line"] == line]
        expect(name, bool(hits), ", ".join(hits) or f"nothing reported at line {line}")

    # Formatting: the copy as clang-format lays it out passes; one line moved off it fails.
    path = os.path.join(work, "Format.cpp")
    formatted = subprocess.run(["clang-format", "--style=file", f"--assume-filename={path}"], input=original,
                               capture_output=True, text=True, cwd=ROOT).stdout
    with open(path, "w") as f:
        f.write(formatted)
    clean = run_format([path], 1)
    expect("formatted copy", not clean, f"{len(clean)} clang-format findings")
    lines = formatted.splitlines(keepends=True)
    target = next(i for i, line in enumerate(lines) if line.startswith("  return "))
    lines[target] = "    " + lines[target].lstrip()  # indented one level too deep
    with open(path, "w") as f:
        f.writelines(lines)
    moved = run_format([path], 1)
    # clang-format names the first character it would change: the line break before the line.
    expect("misformatted line", any(f["line"] in (target, target + 1) for f in moved),
           ", ".join(f"clang-format at line {f['line']}" for f in moved) or "nothing reported")

    print(f"lint self-test: {'passed' if not failures else f'{failures} failed'}")
    return 1 if failures else 0


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("--host-tree", default=os.path.join(ROOT, "build", "host"),
                        help="the host build tree whose compile commands are read (default build/host)")
    parser.add_argument("--firmware-tree", default=os.path.join(ROOT, "build", "firmware"),
                        help="the firmware build tree whose compile commands are read (default build/firmware)")
    parser.add_argument("--jobs", type=int, default=os.cpu_count() or 2, help="parallel processes (default: every core)")
    parser.add_argument("--no-format", action="store_true", help="skip the clang-format check")
    parser.add_argument("--self-test", action="store_true", help="show that injected faults make the gates fail")
    parser.add_argument("--verbose", action="store_true", help="name each clang-tidy unit as it ends")
    options = parser.parse_args()
    options.host_tree = os.path.abspath(options.host_tree)
    options.firmware_tree = os.path.abspath(options.firmware_tree)
    for tool in ("clang-tidy", "clang++", "cppcheck", "clang-format"):
        if shutil.which(tool) is None:
            sys.exit(f"lint: {tool} is missing (make deps installs it)")
    return self_test(options) if options.self_test else lint(options)


if __name__ == "__main__":
    sys.exit(main())
