#!/usr/bin/env python3
"""The module's two flavours do the same thing but for its debug output.

Runs every built-in scenario with quarn-emu (the DEBUG module) and quarn-emu-release (the
RELEASE module: MDEPKG_NDEBUG, no texts, no assertions) and compares their reports. What
only the debug path does is left out, and only that:
  - the consoles, the debug-PPI messages and the assertion lines;
  - the accesses of the debug output: the UARTs and the Super I/O, the serial write's
    look at the host bridge's byte 0xFC (its FIFO-reset mode), the CMOS reads of the
    error level, MM0, the halt code of an assertion (port 0xCB0), the debug-PPI lookup and
    its WriteMessage calls, and the reads of the PEI services pointer (SIDT) that those
    lookups make;
  - virtual time: every time, the timer reads and spin hints that measure it, and what
    follows from it (the error level's record, the stack depth at hardware accesses). The
    VORN's firmware changes its registers at virtual times, so a wait that polls them sees
    a change a poll or a few sooner or later in one flavour than in the other: the polls
    of a register are compared as the runs of reads they make, and the values of the
    VORN's status registers are left out (the records and the registers at the end, which
    carry them, are compared).
Everything else must be equal: the outcome and the entry point's status, the HOBs, the
status-code records, the firmware messages and their order, MM7, the VORN's registers as
they went, and every other access in the trace (PCI configuration, memory-mapped
registers, the chipset's ports, PEI services and PPI calls, CPUID) in its order.

    FlavoursTest.py QUARN_EMU QUARN_EMU_RELEASE
Exit status 0 when every scenario agrees, 1 otherwise (each difference printed).
"""
import argparse
import json
import subprocess
import sys

DEBUG_ONLY_KEYS = {"console", "console2", "debug_ppi", "asserts", "halt_codes", "debug_error_level",
                   "entry_stack_bytes", "tool", "time", "elapsed_ms", "time_ms", "end_ms", "trace"}
DEBUG_PORTS = [(0x3F8, 0x3FF), (0x2F8, 0x2FF), (0x4E, 0x4F), (0x70, 0x71), (0xCB0, 0xCB0)]
TIMER_PORT = 0x508
DEBUG_PRINT_PPI_HEAD = "0x4b5f8e442c6a0d19"   # the first 64 bits of gDebugPrintPpiGuid, as LocatePpi traces it
FIFO_MODE_BYTE = "0x800000fc"                  # 00:00.0 offset 0xFC in the PCI Express window


def without_debug_keys(value):
    """VALUE with the keys of the debug path and of time removed, at every depth."""
    if isinstance(value, dict):
        return {k: without_debug_keys(v) for k, v in value.items() if k not in DEBUG_ONLY_KEYS}
    if isinstance(value, list):
        return [without_debug_keys(v) for v in value]
    return value


def kept(entry):
    """TRUE for a trace entry that is not the debug path's and not time's."""
    kind, device = entry["kind"], entry.get("device", "")
    if kind in ("read-mm0", "write-mm0", "sidt", "pause-poll", "console", "int3"):
        return False
    if kind.startswith("io-"):
        port = int(entry["address"], 16)
        if port == TIMER_PORT or any(first <= port <= last for first, last in DEBUG_PORTS):
            return False
    if kind == "call" and (device == "DEBUG_PRINT_PPI.WriteMessage" or
                           (device == "LocatePpi" and entry["value"] == DEBUG_PRINT_PPI_HEAD)):
        return False
    if kind == "mmio-read8" and entry["address"] == FIFO_MODE_BYTE:
        return False
    return True


def accesses(report):
    """The kept accesses in order, each run of equal ones (a wait's polls) as one."""
    out = []
    for t in report.get("trace", []):
        if not kept(t):
            continue
        status_read = t["kind"] == "mmio-read32" and "VORN function" in t.get("device", "")
        key = (t["kind"], t["address"], None if status_read else t["value"], t.get("device", ""))
        if not out or out[-1] != key:
            out.append(key)
    return out


def run(program, scenario):
    out = subprocess.run([program, "run", scenario, "--json", "--trace"], capture_output=True, text=True)
    if out.returncode not in (0, 3):
        raise RuntimeError(f"{program} run {scenario}: exit status {out.returncode}: {out.stderr.strip()}")
    return json.loads(out.stdout)


def first_difference(a, b, path="report"):
    """A short description of where A and B first differ."""
    if type(a) is not type(b):
        return f"{path}: {json.dumps(a)[:120]} against {json.dumps(b)[:120]}"
    if isinstance(a, dict):
        for key in sorted(set(a) | set(b)):
            if a.get(key) != b.get(key):
                return first_difference(a.get(key), b.get(key), f"{path}.{key}")
    if isinstance(a, list):
        for index, (x, y) in enumerate(zip(a, b)):
            if x != y:
                return first_difference(x, y, f"{path}[{index}]")
        return f"{path}: {len(a)} entries against {len(b)}"
    return f"{path}: {json.dumps(a)[:120]} against {json.dumps(b)[:120]}"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0])
    parser.add_argument("debug", help="quarn-emu (the DEBUG module)")
    parser.add_argument("release", help="quarn-emu-release (the RELEASE module)")
    args = parser.parse_args(argv)
    listed = subprocess.run([args.debug, "list"], capture_output=True, text=True, check=True).stdout
    names = [line.split()[0] for line in listed.splitlines() if line.strip()]
    failures = 0
    for name in names:
        debug, release = run(args.debug, name), run(args.release, name)
        if release["console"] or release["debug_ppi"] or release["asserts"]:
            print(f"{name}: FAIL: the RELEASE module printed: {release['console'][:80]!r} {release['debug_ppi'][:2]}")
            failures += 1
            continue
        problems = []
        if without_debug_keys(debug) != without_debug_keys(release):
            problems.append(first_difference(without_debug_keys(debug), without_debug_keys(release)))
        a, b = accesses(debug), accesses(release)
        if a != b:
            problems.append(first_difference(a, b, "accesses"))
        if problems:
            failures += 1
            for problem in problems:
                print(f"{name}: FAIL: DEBUG against RELEASE: {problem}")
        else:
            print(f"{name}: the same in both flavours ({len(a)} accesses besides the debug path's)")
    print(f"{len(names)} built-in scenarios, {len(names) - failures} the same in both flavours, {failures} not")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
