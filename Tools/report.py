#!/usr/bin/env python3
"""Budgets of the module, measured: flash, stack, boot time, and the emulator's speed.

    make report            (builds what it needs first)
    Tools/report.py        (on existing builds)
    Tools/report.py --check  (compares the README's budget table with what it would write)

Flash and stack come from the firmware build; boot time from quarn-emu's report of the
default scenario; emulator speed from timing quarn-emu runs, natively where the kernel
runs IA32 programs and always under qemu-i386 as well.

The budget table of README.md, between its "make report" markers, is written here. Rows
whose figure is marked "measured" (host speed, the painted stack on QEMU) vary with the
machine or need QEMU: --check leaves them out, and a run that cannot measure one keeps
the row as it stands.

Flash and stack are budgets (Firmware/budget.json): the report fails (exit status 1) when
the image is larger than the committed flash figure or the worst-case stack passes its
ceiling. Both are deterministic; times are reported, never asserted.
"""
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
BUDGET = os.path.join(ROOT, "Firmware", "budget.json")
EMU = os.path.join(ROOT, "build", "bin", "quarn-emu")
README = os.path.join(ROOT, "README.md")
BEGIN = "<!-- make report: begin -->"
END = "<!-- make report: end -->"
MEASURED = "measured:"
STACK_ROOTS = [("QuarnPeiPreMemEntryPoint", "entry point"),
               ("StaticPointerTableOnMemoryDiscovered", "memory-discovered notification"),
               ("SyncMm7OnAps", "MP sync"), ("LoadMm7OnAp", "MM7 load on each AP")]
SLOWEST = "pre-did-counter-timeout"   # the 5000-step timeout
RUNS = 5


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, cwd=ROOT, **kwargs)


def section(title):
    print()
    print(title)
    print("-" * len(title))


def flash():
    section("Flash (.text + .rodata of build/firmware/QuarnPeiPreMem.elf, -Oz), goal <= 16384 bytes")
    out = run([os.path.join(ROOT, "Firmware", "check-image.sh"), os.path.join(FIRMWARE, "QuarnPeiPreMem.elf")])
    for line in out.stdout.splitlines():
        if line.strip().startswith((".text", ".rodata", "flash")):
            print("  " + line.strip())
    m = re.search(r"flash\s+(\d+)", out.stdout)
    text = re.search(r"\.text\s+(\d+)", out.stdout)
    rodata = re.search(r"\.rodata\s+(\d+)", out.stdout)
    if out.returncode != 0 or not (m and text and rodata):
        print(out.stdout.rstrip())
        print("  the image check failed")
        return None, None
    size = int(m.group(1))
    print(f"  {'within' if size <= 16384 else 'over'} the goal by {abs(16384 - size)} bytes")
    efi = os.path.join(FIRMWARE, "QuarnPeiPreMem.efi")
    if os.path.exists(efi):
        out = run([os.path.join(ROOT, "Firmware", "check-image.sh"), efi])
        m = re.search(r"flash\s+(\d+)", out.stdout)
        verdict = "image check passes" if "image check: PASS" in out.stdout else "image check FAILS"
        print(f"  PE32 form (QuarnPeiPreMem.efi): {m.group(1) if m else '?'} bytes of sections, "
              f"{os.path.getsize(efi)} bytes with headers and base relocations; {verdict}")
    return size, f"{size} bytes ({text.group(1)} code, {rodata.group(1)} read-only data)"


def stack():
    section("Stack: worst-case depth from the call graph, goal <= 1536 bytes")
    out = run([sys.executable, os.path.join(ROOT, "Firmware", "stack-usage.py"), FIRMWARE])
    for line in out.stdout.splitlines():
        print("  " + line)
    m = re.search(r"worst case: (\d+) bytes", out.stdout)
    worst = int(m.group(1)) if out.returncode == 0 and m else None
    depths = dict(re.findall(r"^(\w+): (\d+) bytes$", out.stdout, re.M))
    graph = "; ".join(f"{depths[root]} bytes {label}" for root, label in STACK_ROOTS if root in depths) or None
    return worst, graph


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
            return f"{MEASURED} {min(used)} to {max(used)} bytes on the {len(used)} q35 boards"
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
        print(f"  cross-check in the emulator (host build, deepest hardware access of the entry point):")
        print(f"    {deepest[name]} bytes in {name}; {min(deepest.values())} to {max(deepest.values())} over {len(deepest)} built-in scenarios")
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


def timed(prefix, scenario):
    best = None
    virtual = None
    for _ in range(RUNS):
        start = time.perf_counter()
        out = run(prefix + [EMU if not prefix else EMU + ".ia32" if os.path.exists(EMU + ".ia32") else EMU,
                            "run", scenario, "--json"])
        spent = time.perf_counter() - start
        best = spent if best is None else min(best, spent)
        t = json.loads(out.stdout)["time"]
        virtual = (t["wait_ms"] + t["serial_ms"] + t.get("firmware_ms", 0.0) + t["other_ms"]) / 1000.0
    return virtual, best


def speed(measure):
    if not measure:
        return None
    section(f"Emulator speed: virtual time over host time (best of {RUNS}, whole process), goal >= 50x on {SLOWEST}")
    qemu = shutil.which("qemu-i386-static") or shutil.which("qemu-i386")
    native_ok = run([EMU, "list"]).returncode == 0 and not open(EMU, "rb").read(2).startswith(b"#!")
    figures = {}
    for scenario in ("default", SLOWEST):
        if native_ok:
            virtual, host = timed([], scenario)
            figures[(scenario, "native")] = (virtual, host)
            print(f"  {scenario:26s} native     {virtual:7.3f} s virtual in {host:6.3f} s host: {virtual / host:7.1f}x")
        if qemu:
            virtual, host = timed([qemu], scenario)
            figures[(scenario, "qemu")] = (virtual, host)
            print(f"  {scenario:26s} qemu-i386  {virtual:7.3f} s virtual in {host:6.3f} s host: {virtual / host:7.1f}x")
    start_s = None
    if qemu:
        start = time.perf_counter()
        run([qemu, EMU + ".ia32" if os.path.exists(EMU + ".ia32") else EMU, "list"])
        start_s = time.perf_counter() - start
        print(f"  (starting quarn-emu under qemu-i386 alone takes {start_s:.3f} s)")
    if (SLOWEST, "qemu") not in figures:
        return None
    virtual, host = figures[(SLOWEST, "qemu")]
    text = f"{MEASURED} {virtual / host:.0f}× ({virtual:.2f} s virtual in {host:.3f} s host, of which {start_s:.3f} s is starting qemu-i386"
    if (SLOWEST, "native") in figures:
        v, h = figures[(SLOWEST, "native")]
        text += f"; natively about {v / h:.0f}×"
    return text + ")"


def launcher(tree):
    """How the tree's tests start its IA32 programs: directly, or under the qemu-i386 its
    configure found because the kernel cannot run them (the tests' emulator)."""
    cache = os.path.join(ROOT, "build", tree, "CMakeCache.txt")
    if os.path.exists(cache):
        with open(cache, encoding="utf-8") as f:
            for line in f:
                if line.startswith("QUARN_QEMU_I386:") and not line.rstrip().endswith("NOTFOUND"):
                    return [line.split("=", 1)[1].strip()], "qemu-i386"
    return [], "native"


def runs_per_second(prefix, target, seed, copies, env=None):
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
    host_prefix, host_how = launcher("host")
    if not os.path.exists(maker) or run(host_prefix + [maker, seeds]).returncode != 0:
        print("  no seeds (build the host preset)")
        return
    qemu = shutil.which("qemu-i386-static") or shutil.which("qemu-i386")
    env = dict(os.environ, ASAN_OPTIONS="detect_leaks=0")
    san_prefix, san_how = launcher("host-san")
    builds = [("host", host_how, host_prefix, 400), ("host-san", san_how + ", ASan+UBSan", san_prefix, 40)]
    if qemu and not host_prefix:
        builds.append(("host", "qemu-i386", [qemu], 100))
    for tree, how, prefix, copies in builds:
        target = os.path.join(ROOT, "build", tree, "fuzz", "FuzzFirmware")
        if not os.path.exists(target):
            continue
        for scenario in ("default", SLOWEST):
            measured = runs_per_second(prefix, target, os.path.join(seeds, "FuzzFirmware", scenario), copies, env)
            if measured is None:
                print(f"  {scenario:26s} {tree:8s} {how:21s} failed")
                continue
            per_cpu, per_wall = measured
            print(f"  {scenario:26s} {tree:8s} {how:21s} {per_cpu:8.0f} runs/s of CPU ({per_wall:.0f} of wall time)")


def check_budgets(size, worst):
    """Compares flash and stack with the committed budget; returns the exit status."""
    section(f"Budgets ({os.path.relpath(BUDGET, ROOT)})")
    with open(BUDGET, encoding="utf-8") as f:
        budget = json.load(f)
    verdicts = [("flash", size, budget["flash_bytes"]), ("stack", worst, budget["stack_bytes"])]
    failed = False
    for name, value, ceiling in verdicts:
        if value is None:
            print(f"  {name:6s} not measured: FAIL")
            failed = True
        elif value > ceiling:
            print(f"  {name:6s} {value} bytes, over the budget of {ceiling} by {value - ceiling}: FAIL")
            failed = True
        else:
            print(f"  {name:6s} {value} bytes, budget {ceiling} ({ceiling - value} to spare)")
    print("budgets: FAIL" if failed else "budgets: PASS")
    return 1 if failed else 0


# --- the README's budget table ------------------------------------------------------

ROWS = [
    ("flash", "flash: `.text` + `.rodata` of `QuarnPeiPreMem.elf` at `-Oz`", "≤ 16384 bytes"),
    ("stack", "stack: worst case of the entry point and the notifications, from the call graph", "≤ 1536 bytes"),
    ("painted", "stack, painted on QEMU q35 (module with the ROM's PEI core under it)", "—"),
    ("emulator_stack", "stack in the emulator: deepest hardware access of the entry point (host build)", "—"),
    ("boot", "boot time of the default scenario: the rest (module and PEI services)", "< 1 %"),
    ("speed", f"emulator speed on the 5000-step timeout (`{SLOWEST}`) under qemu-i386", "≥ 50× real time"),
]


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
    check = "--check" in sys.argv[1:]
    print("QuarnPeiPreMem budgets")
    size, flash_text = flash()
    worst, stack_text = stack()
    figures = {"flash": flash_text, "stack": stack_text, "painted": painted(not check),
               "emulator_stack": emulator_stack(), "boot": boot_time(), "speed": speed(not check)}
    if not check:
        throughput()
    verdict = check_budgets(size, worst) if not check or (size is not None and worst is not None) else 0
    # A figure that cannot be had here (no firmware build; a compiler cache that keeps no
    # call graph files) is left out of the comparison, and said so.
    missing = [key for key in ("flash", "stack", "emulator_stack", "boot") if figures[key] is None]
    if check and len(missing) == 4:
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
