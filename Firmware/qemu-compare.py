#!/usr/bin/env python3
"""Turns a qemu-q35 scenario into a QEMU board, and compares a QEMU boot of the ROM
with quarn-emu's run of the same scenario.

  qemu-compare.py args SCENARIO.toml
      prints the QEMU arguments that make q35 the board the scenario describes
      (-cpu family/model/stepping from the CPU signature, fw_cfg files the boot stub
      reads for the CMOS level, CMOS 0x0E and MM0), one per line; exit 2 when the
      scenario asks for something the q35 with the boot ROM cannot be.
  qemu-compare.py compare UART1 UART2 REPORT.json SCENARIO.toml QEMU_EXIT
      compares, see below.

Inputs of compare: the bytes the first UART received under QEMU, the second UART's
bytes (the boot stub's diagnostics are there), quarn-emu's JSON report, and the
scenario file. Checks, in order:
  1. the board QEMU modelled is the one the scenario describes (the stub's readings);
  2. the first UART's bytes equal the report's console, byte for byte;
  3. what the module left behind (the stub's "rom: result:" lines) equals the report:
     type and info HOBs, CPU-and-revision record, filled pointer-table slots, MM7,
     status-code records, breakpoints, the returned status;
  4. both sides returned EFI_UNSUPPORTED (QEMU: the debug-exit status).
Prints one line per finding and, when everything holds, the verdict as the last line.
Exit status 0 when everything holds, 1 otherwise, 2 when an input is unusable.
"""
import argparse
import json
import re
import sys
import tomllib

# The debug-exit byte the stub writes, as QEMU's exit status ((byte << 1) | 1).
QEMU_EXIT = {33: "EFI_SUCCESS", 35: "EFI_UNSUPPORTED", 37: "another status",
             39: "a processor exception", 124: "no exit within the time limit"}
WANTED_STATUS = "EFI_UNSUPPORTED"


def fail_input(message):
    print(f"qemu: {message}")
    sys.exit(2)


def console_bytes(text):
    """The report's console text back to the bytes the UART received."""
    try:
        return text.encode("latin-1")
    except UnicodeEncodeError:
        return text.encode("utf-8")


def stub_readings(diagnostics):
    """The values the stub printed as NAME 0xHEX / NAME DECIMAL pairs."""
    text = diagnostics.decode("latin-1")
    readings = {}
    patterns = {
        "cpuid": r"CPUID 1 (0x[0-9A-F]+)",
        "cmos_level": r"CMOS level (0x[0-9A-F]+)",
        "cmos_0e": r"CMOS 0x0E (0x[0-9A-F]+)",
        "mm0_high": r"MM0 (0x[0-9A-F]+):",
        "mm0_low": r"MM0 0x[0-9A-F]+:(0x[0-9A-F]+)",
        "vornfs1": r"VORNFS1 (0x[0-9A-F]+)",
        "dwrsts": r"DWRSTS (0x[0-9A-F]+)",
        "host_bridge_fc": r"00:00\.0 \[0xFC\] (0x[0-9A-F]+)",
        "sideband_bar": r"00:1F\.1 \[0x10\] (0x[0-9A-F]+)",
        "uart1_lcr": r"0x3F8 LCR (0x[0-9A-F]+)",
        "uart2_lcr": r"0x2F8 LCR (0x[0-9A-F]+)",
        "uart2_divisor": r"divisor ([0-9]+)",
    }
    for key, pattern in patterns.items():
        match = re.search(pattern, text)
        if match:
            readings[key] = int(match.group(1), 0)
    return readings


def board_mismatches(scenario, readings):
    """Each way the scenario differs from what the stub read on q35."""
    cpu = scenario.get("cpu", {})
    cmos = scenario.get("cmos", {})
    vorn = scenario.get("vorn", {})
    chipset = scenario.get("chipset", {})
    expected = {
        "cpuid": cpu.get("signature", 0x00050654),
        "cmos_level": cmos.get("error_level", 0x80000042),
        "host_bridge_fc": chipset.get("host_bridge_fc", 0),
        "dwrsts": vorn.get("dwrsts", 0),
        "uart1_lcr": scenario.get("uart1", {}).get("lcr", 0),
        "uart2_lcr": scenario.get("uart2", {}).get("lcr", 0),
        "uart2_divisor": scenario.get("uart2", {}).get("divisor", 0),
    }
    if "mm0_high" in readings and "mm0_low" in readings:
        readings["mm0"] = readings["mm0_high"] << 32 | readings["mm0_low"]
    expected["mm0"] = cmos.get("mm0", 0)
    found = []
    for key, value in expected.items():
        if key not in readings:
            found.append(f"the stub printed no {key}")
        elif readings[key] != value:
            found.append(f"{key}: scenario 0x{value:X}, q35 0x{readings[key]:X}")
    valid = (readings.get("cmos_0e", 0) & 0x80) == 0
    if valid != cmos.get("valid", True):
        found.append(f"cmos valid: scenario {cmos.get('valid', True)}, q35 {valid}")
    sideband = readings.get("sideband_bar") != 0xFFFFFFFF
    if sideband != chipset.get("sideband", True):
        found.append(f"chipset sideband: scenario {chipset.get('sideband', True)}, q35 {sideband}")
    present = readings.get("vornfs1") != 0xFFFFFFFF
    if present != vorn.get("present", True):
        found.append(f"vorn present: scenario {vorn.get('present', True)}, q35 {present}")
    return found


def stub_results(diagnostics):
    """The stub's "rom: result: KEY VALUE" lines as a dictionary of texts."""
    results = {}
    for line in diagnostics.decode("latin-1").splitlines():
        match = re.match(r"rom: result: (\w+) ?(.*)$", line.strip())
        if match:
            results[match.group(1)] = match.group(2).strip()
    return results


def report_results(report):
    """The same keys, written the way the stub writes them, from quarn-emu's report."""
    hob = report.get("vorn_type_hob")
    info = report.get("info_hob")
    table = report.get("static_pointer_table")
    cpu = report.get("cpu_and_revision")
    mm7 = report.get("mm7_points_to_table") or [False]
    value = report.get("status_value")
    return {
        "status": "none" if value is None else f"0x{value:08X}",
        "breakpoints": str(len(report.get("asserts", []))),
        "vorn_type_hob": "none" if hob is None else
                         f"{hob['vorn_type']} {hob['fw_type']} {hob['fw_sub_type']}",
        "info_hob": "none" if info is None else info["data"],
        "filled_slots": "none" if table is None else
                        "".join("1" if int(slot, 16) else "0" for slot in table["slots"]),
        "cpu_and_revision": "none" if cpu is None else cpu["record"],
        "mm7_points_to_table": "true" if mm7[0] else "false",
        "records": " ".join(report.get("records", [])) or "none",
    }


def effect_mismatches(diagnostics, report):
    """Each way the q35 run's lasting effects differ from the report's."""
    found = []
    ours = stub_results(diagnostics)
    for key, expected in report_results(report).items():
        got = ours.get(key)
        if got is None:
            found.append(f"the stub printed no {key}")
        elif got != expected:
            found.append(f"{key}: q35 {got}, quarn-emu {expected}")
    return found


def first_difference(left, right):
    for index, (a, b) in enumerate(zip(left, right)):
        if a != b:
            return index
    return min(len(left), len(right))


def show_context(name, data, offset):
    start = max(0, offset - 60)
    print(f"  {name} at byte {offset}: {data[start:offset + 60]!r}")


# What the q35 with the boot ROM always is: a scenario must not ask for anything else.
FIXED = [
    ("boot", "mode", 0), ("boot", "get_boot_mode_status", "EFI_SUCCESS"),
    ("cpu", "processors", 1),
    ("policy", "installed", True), ("policy", "block", True), ("policy", "pre_did_reset", False),
    ("policy", "ssc_alternate", False), ("policy", "bios_update_watchdog", False),
    ("vorn", "present", False), ("drux", "installed", True),
    ("pei", "debug_print_ppi", False), ("pei", "memory_discovered", False), ("pei", "mp_services", "never"),
    ("pei", "status_code_handler", True),
]


def qemu_args(scenario):
    """The QEMU arguments for the scenario's board, or a list of what q35 cannot be."""
    problems = []
    for table, key, value in FIXED:
        got = scenario.get(table, {}).get(key, value)
        if got != value:
            problems.append(f"{table}.{key} = {got!r}: the q35 with the boot ROM has {value!r}")
    signature = scenario.get("cpu", {}).get("signature", 0x00050654)
    family = (signature >> 8) & 0xF
    model = ((signature >> 16) & 0xF) << 4 | (signature >> 4) & 0xF
    stepping = signature & 0xF
    if signature >> 20 or family == 0xF or (signature >> 12) & 0xF:
        problems.append(f"cpu.signature 0x{signature:08X}: only family 0..14, type 0 signatures are built here")
    cpu = f"qemu32,family={family},model={model},stepping={stepping}"
    args = ["-cpu", cpu]
    cmos = scenario.get("cmos", {})
    if "error_level" in cmos:
        args += ["-fw_cfg", f"name=opt/quarn/cmos-error-level,string=0x{cmos['error_level']:08X}"]
    if not cmos.get("valid", True):
        args += ["-fw_cfg", "name=opt/quarn/cmos-0e,string=0x80"]
    if cmos.get("mm0", 0):
        args += ["-fw_cfg", f"name=opt/quarn/mm0,string=0x{cmos['mm0']:016X}"]
    return args, problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    commands = parser.add_subparsers(dest="command", required=True)
    board = commands.add_parser("args", help="the QEMU arguments of a scenario's board")
    board.add_argument("scenario", metavar="SCENARIO.toml")
    compare = commands.add_parser("compare", help="compare a boot with quarn-emu's report")
    for name in ("uart1", "uart2", "report", "scenario", "qemu_exit"):
        compare.add_argument(name, metavar=name.upper())
    options = parser.parse_args()
    if options.command == "args":
        try:
            scenario = tomllib.load(open(options.scenario, "rb"))
        except (OSError, ValueError) as error:
            fail_input(f"unusable scenario: {error}")
        args, problems = qemu_args(scenario)
        for problem in problems:
            print(f"qemu: {options.scenario}: {problem}", file=sys.stderr)
        if problems:
            return 2
        print("\n".join(args))
        return 0
    uart1_path, uart2_path, report_path, scenario_path, qemu_exit = (
        options.uart1, options.uart2, options.report, options.scenario, options.qemu_exit)
    try:
        qemu_console = open(uart1_path, "rb").read()
        diagnostics = open(uart2_path, "rb").read()
        report = json.load(open(report_path, encoding="utf-8"))
        scenario = tomllib.load(open(scenario_path, "rb"))
        qemu_exit = int(qemu_exit)
    except (OSError, ValueError) as error:
        fail_input(f"unusable input: {error}")
    if not isinstance(report, dict) or not isinstance(report.get("console"), str):
        fail_input(f"{report_path}: no console in the report")

    name = scenario.get("name", scenario_path)
    ok = True
    for mismatch in board_mismatches(scenario, stub_readings(diagnostics)):
        print(f"qemu: {name}: board differs from the scenario: {mismatch}")
        ok = False

    emu_console = console_bytes(report["console"])
    if qemu_console == emu_console:
        lines = qemu_console.count(b"\n")
        print(f"qemu: {name}: consoles equal ({len(qemu_console)} bytes, {lines} lines)")
    else:
        offset = first_difference(qemu_console, emu_console)
        print(f"qemu: {name}: consoles differ from byte {offset} "
              f"(q35 {len(qemu_console)} bytes, quarn-emu {len(emu_console)} bytes)")
        show_context("q35", qemu_console, offset)
        show_context("quarn-emu", emu_console, offset)
        ok = False

    effects = effect_mismatches(diagnostics, report)
    for mismatch in effects:
        print(f"qemu: {name}: lasting effect differs: {mismatch}")
        ok = False
    if not effects:
        print(f"qemu: {name}: lasting effects equal ({len(report_results(report))} keys: HOBs, record, "
              "pointer table, MM7, status codes, breakpoints, status)")

    qemu_status = QEMU_EXIT.get(qemu_exit, f"QEMU exit status {qemu_exit}")
    emu_status = report.get("status") or report.get("outcome", "no status")
    if qemu_status != WANTED_STATUS or emu_status != WANTED_STATUS:
        print(f"qemu: {name}: status: q35 {qemu_status}, quarn-emu {emu_status}; wanted {WANTED_STATUS}")
        ok = False

    if ok:
        print(f"qemu: {name}: console matches quarn-emu byte for byte; status {WANTED_STATUS}")
        return 0
    print(f"qemu: {name}: MISMATCH")
    return 1


if __name__ == "__main__":
    sys.exit(main())
