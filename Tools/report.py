#!/usr/bin/env python3
"""Budgets of the module, measured: flash, stack, boot time, and the emulator's speed.

    make report            (builds what it needs first)
    Tools/report.py        (on existing builds)

Flash and stack come from the firmware build; boot time from quarn-emu's report of the
default scenario; emulator speed and peak memory from quarn-emu runs, natively where the
kernel runs IA32 programs and always under qemu-i386 as well (QUARN_FORCE_QEMU=1: every
run goes through the build tree's launcher).
"""
import json
import os
import re
import shutil
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
FIRMWARE = os.path.join(ROOT, "build", "firmware")
EMU = os.path.join(ROOT, "build", "bin", "quarn-emu")            # the launcher script
SAN_EMU = os.path.join(ROOT, "build", "host-san", "bin", "quarn-emu")
SLOWEST = "pre-did-counter-timeout"   # the 5000-step timeout
RUNS = 5


def run(args, **kwargs):
    return subprocess.run(args, capture_output=True, text=True, cwd=ROOT, **kwargs)


def section(title):
    print()
    print(title)
    print("-" * len(title))


def flash():
    section("Flash (.text + .rodata of build/firmware/QuarnPeiPreMem.elf, -Os), goal <= 16384 bytes")
    out = run([os.path.join(ROOT, "Firmware", "check-image.sh"), os.path.join(FIRMWARE, "QuarnPeiPreMem.elf")])
    for line in out.stdout.splitlines():
        if line.strip().startswith((".text", ".rodata", "flash")):
            print("  " + line.strip())
    m = re.search(r"flash\s+(\d+)", out.stdout)
    if m:
        size = int(m.group(1))
        print(f"  {'within' if size <= 16384 else 'over'} the goal by {abs(16384 - size)} bytes")


def stack():
    section("Stack: worst-case depth from the call graph, goal <= 1536 bytes")
    out = run([sys.executable, os.path.join(ROOT, "Firmware", "stack-usage.py"), FIRMWARE])
    for line in out.stdout.splitlines():
        print("  " + line)
    rom = os.path.join(FIRMWARE, "QuarnRom.bin")
    if os.path.exists(rom) and shutil.which("qemu-system-i386"):
        keep = os.path.join(ROOT, "build", "report-qemu")
        env = dict(os.environ, QEMU_CHECK_OUT=keep)
        out = run([os.path.join(ROOT, "Firmware", "qemu-check.sh"), rom, EMU], env=env)
        marks = re.findall(r"qemu: (\S+): stub: stack high-water (\d+) bytes", out.stdout)
        if marks:
            print("  cross-check, painted stack on QEMU q35 (the module with the ROM's PEI core under it):")
            for board, used in marks:
                print(f"    {board}: {used} bytes")
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


def speed():
    section(f"Emulator speed: virtual time over host time (best of {RUNS}, whole process), goal >= 50x on {SLOWEST}")
    for scenario in ("default", SLOWEST):
        for label, emulated in paths(runs_natively()):
            virtual, host = timed(emulated, scenario)
            print(f"  {scenario:26s} {label:10s} {virtual:7.3f} s virtual in {host:6.3f} s host: {virtual / host:7.1f}x")
    start = time.perf_counter()
    run([EMU, "list"], env=launcher_env(True))
    print(f"  (starting quarn-emu under qemu-i386 alone takes {time.perf_counter() - start:.3f} s)")


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


def main():
    print("QuarnPeiPreMem budgets")
    flash()
    stack()
    boot_time()
    speed()
    memory()
    return 0


if __name__ == "__main__":
    sys.exit(main())
