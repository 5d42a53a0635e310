#!/usr/bin/env python3
"""Budgets of the module, measured: flash, stack, boot time, and the emulator's speed.

    make report            (builds what it needs first)
    Tools/report.py        (on existing builds)
    Tools/report.py --check  (compares the README's budget table with what it would write)

Flash and stack come from the firmware build; boot time from quarn-emu's report of the
default scenario; emulator speed and peak memory from quarn-emu runs, natively where the
kernel runs IA32 programs and always under qemu-i386 as well (QUARN_FORCE_QEMU=1: every
run goes through the build tree's launcher).

    Tools/report.py --budgets  (flash and stack against Firmware/budget.json only: what
                                `make test` runs)

The budget table of README.md, between its "make report" markers, is written here. Rows
whose figure is marked "measured" (host speed, the painted stack on QEMU) vary with the
machine or need QEMU: --check leaves them out, and a run that cannot measure one keeps
the row as it stands.

Flash and stack are budgets (Firmware/budget.json): the report fails (exit status 1) when
the image is larger than the committed flash figure or the worst-case stack passes its
ceiling. Both are deterministic; times are reported, never asserted.
"""
import argparse
import difflib
import json
import os
import re
import resource
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIRMWARE = os.path.join(ROOT, "build", "firmware")
EDK2 = os.path.join(ROOT, "build", "edk2")
BUDGET = os.path.join(ROOT, "Firmware", "budget.json")
EMU = os.path.join(ROOT, "build", "bin", "quarn-emu")            # the launcher script
SAN_EMU = os.path.join(ROOT, "build", "host-san", "bin", "quarn-emu")
README = os.path.join(ROOT, "README.md")
BEGIN = "<!-- make report: begin -->"
END = "<!-- make report: end -->"
MEASURED = "measured:"
STACK_ROOTS = [("_ModuleEntryPoint", "entry (constructors and flow)"),
               ("StaticPointerTableOnMemoryDiscovered", "memory-discovered notification"),
               ("SyncMm7OnAps", "MP sync"), ("LoadMm7OnAp", "MM7 load on each AP")]
SLOWEST = "pre-did-counter-timeout"   # the 5000-step timeout


class Image:
    """One firmware image the budgets cover. CALL_GRAPH: the prefix of its call-graph files
    where they are not beside it (the framework's build keeps them beside the .dll).
    An optional image (the EDK II builds: make edk2) that is not built is reported so and
    left out of the budgets; make test builds it before it checks them."""

    def __init__(self, key, label, path, how, flash_goal, stack_goal, call_graph=None, optional=False):
        self.key, self.label, self.path, self.how = key, label, path, how
        self.flash_goal, self.stack_goal = flash_goal, stack_goal
        self.call_graph, self.optional = call_graph, optional


def edk2_image(target):
    build = os.path.join(EDK2, "workspace", "Build", "QuarnPkg", f"{target}_GCC5", "IA32")
    return Image(f"edk2-{target.lower()}", f"EDK II build, {target}", os.path.join(build, "QuarnPeiPreMem.debug"),
                 "make edk2", None, None,
                 os.path.join(build, "QuarnPkg", "Pei", "QuarnPeiPreMem", "QuarnPeiPreMem", "DEBUG", "QuarnPeiPreMem.dll"),
                 optional=True)


IMAGES = [
    Image("debug", "our build, DEBUG", os.path.join(FIRMWARE, "QuarnPeiPreMem.elf"), "make firmware", 16384, 1536),
    Image("release", "our build, RELEASE", os.path.join(FIRMWARE, "QuarnPeiPreMemRelease.elf"), "make firmware", 6144, 512),
    edk2_image("DEBUG"),
    edk2_image("RELEASE"),
]
RUNS = 5


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, cwd=ROOT, **kwargs)


def section(title):
    print()
    print(title)
    print("-" * len(title))


def image_sizes(image):
    """The image check's verdict and the section sizes of IMAGE: (passed, sizes, output)."""
    out = run([os.path.join(ROOT, "Firmware", "check-image.sh"), image])
    sizes = {name: int(value) for name, value in re.findall(r"^\s*(\.text|\.rodata|\.data|flash)\s+(\d+) bytes", out.stdout, re.M)}
    return out.returncode == 0 and "flash" in sizes, sizes, out.stdout


def flash():
    """Flash of every image: {key: bytes or None}, {key: the README's text}."""
    sizes, texts = {}, {}
    for image in IMAGES:
        section(f"Flash of {image.label} ({os.path.relpath(image.path, ROOT)}): .text + .rodata + .data"
                + (f", goal <= {image.flash_goal} bytes" if image.flash_goal else ""))
        if not os.path.exists(image.path):
            print(f"  not built ({image.how})")
            sizes[image.key] = None
            continue
        passed, measured, output = image_sizes(image.path)
        for name in (".text", ".rodata", ".data", "flash"):
            if name in measured:
                print(f"  {name:8s}{measured[name]} bytes")
        if not passed:
            print(output.rstrip())
            print("  the image check failed")
            sizes[image.key] = None
            continue
        size = measured["flash"]
        sizes[image.key] = size
        if image.flash_goal:
            print(f"  {'within' if size <= image.flash_goal else 'over'} the goal by {abs(image.flash_goal - size)} bytes")
        if measured.get(".rodata", 0):
            texts[image.key] = (f"{size} bytes ({measured.get('.text', 0)} code, {measured.get('.rodata', 0)} read-only data, "
                                f"{measured.get('.data', 0)} GUIDs and name)")
        else:   # the framework's linker script puts the read-only data into .text
            texts[image.key] = (f"{size} bytes ({measured.get('.text', 0)} code and read-only data, "
                                f"{measured.get('.data', 0)} GUIDs and name)")
        efi = os.path.splitext(image.path)[0] + ".efi"
        if os.path.exists(efi):
            passed, measured, _ = image_sizes(efi)
            verdict = "image check passes" if passed else "image check FAILS"
            print(f"  PE32 form ({os.path.basename(efi)}): {measured.get('flash', '?')} bytes of sections, "
                  f"{os.path.getsize(efi)} bytes with headers and base relocations; {verdict}")
    return sizes, texts


def stack():
    """Worst-case stack of every image: {key: bytes or None}, {key: the README's text}."""
    worst, texts = {}, {}
    for image in IMAGES:
        section(f"Stack of {image.label}: worst-case depth from the call graph"
                + (f", goal <= {image.stack_goal} bytes" if image.stack_goal else ""))
        if not os.path.exists(image.path):
            print(f"  not built ({image.how})")
            worst[image.key] = None
            continue
        out = run([sys.executable, os.path.join(ROOT, "Firmware", "stack-usage.py"), image.path]
                  + (["--goal", str(image.stack_goal)] if image.stack_goal else [])
                  + (["--call-graph", image.call_graph] if image.call_graph else []))
        for line in out.stdout.splitlines():
            print("  " + line)
        m = re.search(r"worst case: (\d+) bytes", out.stdout)
        worst[image.key] = int(m.group(1)) if out.returncode == 0 and m else None
        depths = dict(re.findall(r"^(\w+): (\d+) bytes$", out.stdout, re.M))
        texts[image.key] = "; ".join(f"{depths[root]} bytes {label}" for root, label in STACK_ROOTS if root in depths) or None
    return worst, texts


def painted_text(used):
    """The painted-stack row's figure for the high-water marks of the q35 boards."""
    return f"{MEASURED} {min(used)} to {max(used)} bytes on the {len(used)} q35 boards"


def check_painted(directory):
    """Compares the README's painted-stack row with the high-water marks the ROM printed in
    the q35 boots kept in directory (QEMU_CHECK_OUT of Firmware/qemu-check.sh): the stack a
    boot paints is the same on every run, so a README that says otherwise is stale."""
    used = []
    for board in sorted(os.listdir(directory)):
        log = os.path.join(directory, board, "uart2.bin")   # the ROM's own console
        if os.path.isfile(log):
            with open(log, "rb") as f:
                used += [int(m) for m in re.findall(rb"stack high-water (\d+) bytes", f.read())]
    if not used:
        print(f"no q35 boot with a stack high-water mark in {directory}")
        return 1
    text, start, end = readme_block()
    stated = rows_of(text[start:end] if start is not None else "").get(ROWS_BY_KEY["painted"])
    if stated != painted_text(used):
        print(f"README.md's painted stack says \"{stated}\", the q35 boots measured \"{painted_text(used)}\": "
              "run `make report` and commit README.md")
        return 1
    print(f"README.md's painted stack agrees with the q35 boots ({painted_text(used)})")
    return 0


def painted(measure):
    rom = os.path.join(FIRMWARE, "QuarnRom.bin")
    if measure and os.path.exists(rom) and shutil.which("qemu-system-i386"):
        keep = os.path.join(ROOT, "build", "report-qemu")
        env = dict(os.environ, QEMU_CHECK_OUT=keep)
        out = run([os.path.join(ROOT, "Firmware", "qemu-check.sh"), rom, EMU], env=env)
        marks = re.findall(r"qemu: (\S+): stub: stack high-water (\d+) bytes", out.stdout)
        if marks:
            print("  cross-check, painted stack on QEMU q35 (the module with the ROM's PEI core under it):")
            for board, used in marks:
                print(f"    {board}: {used} bytes")
            used = [int(u) for _, u in marks]
            return painted_text(used)
    return None


def emulator_stack():
    deepest = {}
    for scenario in run([EMU, "list"]).stdout.split("\n"):
        name = scenario.split(" ")[0]
        if not name:
            continue
        report = json.loads(run([EMU, "run", name, "--json"]).stdout)
        deepest[name] = report.get("entry_stack_bytes", 0)
    if deepest:
        name = max(deepest, key=deepest.get)
        print("  cross-check in the emulator (host build, deepest hardware access of the entry point):")
        print(f"    {deepest[name]} bytes in {name}; {min(deepest.values())} to {max(deepest.values())} "
              f"over {len(deepest)} built-in scenarios")
        return f"{min(deepest.values())} to {max(deepest.values())} bytes over the {len(deepest)} built-in scenarios"
    return None


def boot_time():
    section("Boot time of the default scenario (virtual), goal: the rest under 1 % of the total")
    report = json.loads(run([EMU, "run", "default", "--json"]).stdout)
    t = report["time"]
    parts = [("mandated waits (1 ms polls)", t["wait_ms"]), ("serial output", t["serial_ms"]),
             ("firmware answering messages", t.get("firmware_ms", 0.0)), ("the rest (module and PEI services)", t["other_ms"])]
    total = sum(v for _, v in parts)
    for name, value in parts:
        print(f"  {name:38s} {value:10.3f} ms  {100.0 * value / total:6.2f} %")
    print(f"  {'total':38s} {total:10.3f} ms")
    return (f"{t['other_ms']:.3f} ms of {total:.3f} ms ({100.0 * t['other_ms'] / total:.2f} %); waits {t['wait_ms']:.1f} ms, "
            f"serial {t['serial_ms']:.1f} ms, firmware {t.get('firmware_ms', 0.0):.1f} ms "
            f"(entry point and the notifications after it)")


def launcher_env(emulated):
    """The environment that makes the launcher take the emulated or the native path."""
    return dict(os.environ, QUARN_FORCE_QEMU="1" if emulated else "0")


def runs_natively():
    """Whether the host tree's launcher starts IA32 programs natively (probed at configure)."""
    launcher = os.path.join(ROOT, "build", "host", "run-ia32")
    return os.path.exists(launcher) and "native=1" in open(launcher).read()


def paths(native):
    """The launcher paths this machine has: native where it can, emulated always."""
    return ([("native", False)] if native else []) + [("qemu-i386", True)]


def timed(emulated, scenario):
    best = None
    virtual = None
    for _ in range(RUNS):
        start = time.perf_counter()
        out = run([EMU, "run", scenario, "--json"], env=launcher_env(emulated))
        spent = time.perf_counter() - start
        best = spent if best is None else min(best, spent)
        t = json.loads(out.stdout)["time"]
        virtual = (t["wait_ms"] + t["serial_ms"] + t.get("firmware_ms", 0.0) + t["other_ms"]) / 1000.0
    return virtual, best


def speed(measure):
    if not measure:
        return None
    section(f"Emulator speed: virtual time over host time (best of {RUNS}, whole process), goal >= 50x on {SLOWEST}")
    figures = {}
    for scenario in ("default", SLOWEST):
        for label, emulated in paths(runs_natively()):
            virtual, host = timed(emulated, scenario)
            figures[(scenario, label)] = (virtual, host)
            print(f"  {scenario:26s} {label:10s} {virtual:7.3f} s virtual in {host:6.3f} s host: {virtual / host:7.1f}x")
    start = time.perf_counter()
    run([EMU, "list"], env=launcher_env(True))
    start_s = time.perf_counter() - start
    print(f"  (starting quarn-emu under qemu-i386 alone takes {start_s:.3f} s)")
    if (SLOWEST, "qemu-i386") not in figures:
        return None
    virtual, host = figures[(SLOWEST, "qemu-i386")]
    text = f"{MEASURED} {virtual / host:.0f}× ({virtual:.2f} s virtual in {host:.3f} s host, of which {start_s:.3f} s is starting qemu-i386"
    if (SLOWEST, "native") in figures:
        v, h = figures[(SLOWEST, "native")]
        text += f"; natively about {v / h:.0f}×"
    return text + ")"


def peak_kib(args, emulated):
    """Peak resident memory (KiB) of one process started through the launcher, and its exit
    status; under qemu-i386 the figure is the emulator's process, guest memory included.
    GNU time measures it: a child forked from this script would count the script's own
    memory as its peak."""
    out = run(["/usr/bin/time", "-f", "peak %M"] + args, env=launcher_env(emulated))
    peaks = re.findall(r"^peak (\d+)$", out.stderr, re.M)
    return (int(peaks[-1]) if peaks else 0), out.returncode


def memory():
    section("Peak memory (resident, whole process): one run, and fault sweeps of growing length")
    native = runs_natively()
    builds = [("host", EMU)] + ([("host-san", SAN_EMU)] if os.path.exists(SAN_EMU) else [])
    for build, emu in builds:
        for label, emulated in paths(native):
            one, _ = peak_kib([emu, "run", "default"], emulated)
            print(f"  {build:9s} {label:10s} run default{'':24s} {one / 1024:7.1f} MiB")
            for stride in (32, 1):
                start = time.perf_counter()
                peak, status = peak_kib([emu, "faults", "--stride", str(stride)], emulated)
                spent = time.perf_counter() - start
                verdict = "" if status == 0 else f"  FAILED (exit status {status})"
                print(f"  {build:9s} {label:10s} faults --stride {stride:<3d} (all built-ins) "
                      f"{peak / 1024:7.1f} MiB  in {spent:6.1f} s{verdict}")


def runs_per_second(prefix, target, seed, copies, env):
    """Whole boots per CPU second of one process running the fuzz target over copies of a seed."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    try:
        out = run(prefix + [target] + [seed] * copies, env=env)
    except OSError:
        return None
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    if out.returncode != 0 or f"{copies} inputs passed" not in out.stdout:
        return None
    return copies / max(cpu, 1e-6), copies / wall


def throughput():
    section("Whole boots in one process (the whole-boot fuzz target over a scenario's seed), per CPU second")
    seeds = os.path.join(ROOT, "build", "report-seeds")
    maker = os.path.join(ROOT, "build", "host", "fuzz", "make-fuzz-seeds")
    host_launcher = [os.path.join(ROOT, "build", "host", "run-ia32")]
    if not os.path.exists(maker) or run(host_launcher + [maker, seeds]).returncode != 0:
        print("  no seeds (build the host preset)")
        return
    native = runs_natively()
    builds = []
    for label, emulated in paths(native):
        builds.append(("host", label, emulated, 400 if not emulated else 100))
        builds.append(("host-san", label + ", ASan+UBSan", emulated, 40))
    for tree, how, emulated, copies in builds:
        target = os.path.join(ROOT, "build", tree, "fuzz", "FuzzFirmware")
        prefix = [os.path.join(ROOT, "build", tree, "run-ia32")]
        if not os.path.exists(target) or not os.path.exists(prefix[0]):
            continue
        for scenario in ("default", SLOWEST):
            measured = runs_per_second(prefix, target, os.path.join(seeds, "FuzzFirmware", scenario), copies,
                                       launcher_env(emulated))
            if measured is None:
                print(f"  {scenario:26s} {tree:8s} {how:24s} failed")
                continue
            per_cpu, per_wall = measured
            print(f"  {scenario:26s} {tree:8s} {how:24s} {per_cpu:8.0f} runs/s of CPU ({per_wall:.0f} of wall time)")


def check_budgets(sizes, worst):
    """Compares every image's flash and stack with its committed ceilings; returns the exit status."""
    section(f"Budgets ({os.path.relpath(BUDGET, ROOT)})")
    with open(BUDGET, encoding="utf-8") as f:
        budget = json.load(f)["images"]
    failed = False
    for image in IMAGES:
        if image.optional and not os.path.exists(image.path):
            print(f"  {image.label}: not built ({image.how}): not checked")
            continue
        ceilings = budget.get(image.key)
        if ceilings is None:
            print(f"  {image.label}: no ceiling in {os.path.relpath(BUDGET, ROOT)}: FAIL")
            failed = True
            continue
        for name, value, ceiling in (("flash", sizes.get(image.key), ceilings["flash_bytes"]),
                                     ("stack", worst.get(image.key), ceilings["stack_bytes"])):
            what = f"{image.label}, {name}"
            if value is None:
                print(f"  {what:32s} not measured: FAIL")
                failed = True
            elif value > ceiling:
                print(f"  {what:32s} {value} bytes, over the ceiling of {ceiling} by {value - ceiling}: FAIL")
                failed = True
            else:
                print(f"  {what:32s} {value} bytes, ceiling {ceiling} ({ceiling - value} to spare)")
    print("budgets: FAIL" if failed else "budgets: PASS")
    return 1 if failed else 0


# --- the README's budget table ------------------------------------------------------

ROWS = [
    ("flash-debug", "flash, our DEBUG image (`QuarnPeiPreMem.elf`, `-Oz`): `.text` + `.rodata` + `.data`", "≤ 16384 bytes"),
    ("flash-release", "flash, our RELEASE image (`QuarnPeiPreMemRelease.elf`)", "≤ 6144 bytes"),
    ("stack-debug", "stack, our DEBUG image: worst case of the entry and the notifications, from the call graph", "≤ 1536 bytes"),
    ("stack-release", "stack, our RELEASE image: worst case, from the call graph", "≤ 512 bytes"),
    ("flash-edk2-debug", "flash, EDK II's DEBUG build (`make edk2`, GCC5 `-Os`): `.text` + `.data`", "—"),
    ("flash-edk2-release", "flash, EDK II's RELEASE build", "—"),
    ("stack-edk2-debug", "stack, EDK II's DEBUG build: worst case, from the call graph", "—"),
    ("stack-edk2-release", "stack, EDK II's RELEASE build: worst case, from the call graph", "—"),
    ("painted", "stack, painted on QEMU q35 (module with the ROM's PEI core under it)", "—"),
    ("emulator_stack", "stack in the emulator: deepest hardware access of the entry point (host build)", "—"),
    ("boot", "boot time of the default scenario: the rest (module and PEI services)", "< 1 %"),
    ("speed", f"emulator speed on the 5000-step timeout (`{SLOWEST}`) under qemu-i386", "≥ 50× real time"),
]
ROWS_BY_KEY = {key: budget for key, budget, _ in ROWS}


def table(figures, old_rows):
    lines = ["| budget | goal | now |", "|---|---|---|"]
    for key, budget, goal in ROWS:
        now = figures.get(key) or old_rows.get(budget)
        if now is None:
            continue
        lines.append(f"| {budget} | {goal} | {now} |")
    return lines


def readme_block():
    text = open(README, encoding="utf-8").read()
    if BEGIN not in text or END not in text:
        return text, None, None
    start = text.index(BEGIN) + len(BEGIN)
    end = text.index(END)
    return text, start, end


def rows_of(block):
    rows = {}
    for line in block.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) == 3 and cells[0] not in ("budget", "---"):
            rows[cells[0]] = cells[2]
    return rows


def compared(lines, skipped=()):
    return [line for line in lines if MEASURED not in line and not any(f"| {b} |" in line for b in skipped)]


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    mode = parser.add_mutually_exclusive_group()
    mode.add_argument("--check", action="store_true",
                      help="compare the README's budget table with what the report would write")
    mode.add_argument("--budgets", action="store_true",
                      help="flash and stack against Firmware/budget.json only (what make test runs)")
    mode.add_argument("--check-painted", metavar="DIR",
                      help="compare the README's painted stack with the q35 boots kept in DIR (make test-emulated)")
    options = parser.parse_args()
    if options.check_painted:
        return check_painted(options.check_painted)
    check = options.check
    print("QuarnPeiPreMem budgets")
    sizes, flash_texts = flash()
    worst, stack_texts = stack()
    if options.budgets:
        return check_budgets(sizes, worst)
    figures = {f"flash-{key}": text for key, text in flash_texts.items()}
    figures.update({f"stack-{key}": text for key, text in stack_texts.items()})
    figures.update({"painted": painted(not check),
                    "emulator_stack": emulator_stack(), "boot": boot_time(), "speed": speed(not check)})
    if not check:
        throughput()
        memory()
    measured_all = all(v is not None for v in list(sizes.values()) + list(worst.values()))
    verdict = check_budgets(sizes, worst) if not check or measured_all else 0
    # A figure that cannot be had here (no firmware build; a compiler cache that keeps no
    # call graph files) is left out of the comparison, and said so.
    keys = [key for key, _, _ in ROWS if key not in ("painted", "speed")]
    missing = [key for key in keys if figures.get(key) is None]
    if check and len(missing) == len(keys):
        print("\ncannot compare the README: no figure at all (build the host and firmware presets)")
        return 77
    if check and missing:
        print(f"\nnot compared, no figure here: {', '.join(missing)}")
    skipped = [budget for key, budget, _ in ROWS if key in missing]
    text, start, end = readme_block()
    if start is None:
        print(f"README.md has no {BEGIN} ... {END} block")
        return 1
    old = text[start:end].strip("\n").splitlines()
    new = table(figures, rows_of(text[start:end]))
    if check:
        if compared(old, skipped) != compared(new, skipped):
            print("\nREADME.md's budget table differs from what `make report` writes (measured rows left out):")
            for line in difflib.unified_diff(compared(old, skipped), compared(new, skipped), "README.md", "make report",
                                             lineterm=""):
                print("  " + line)
            print("run `make report` and commit README.md")
            return 1
        print("\nREADME.md's budget table agrees with `make report`")
        return verdict
    if old != new:
        with open(README, "w", encoding="utf-8") as f:
            f.write(text[:start] + "\n" + "\n".join(new) + "\n" + text[end:])
        print("\nREADME.md: budget table updated")
    return verdict


if __name__ == "__main__":
    sys.exit(main())
