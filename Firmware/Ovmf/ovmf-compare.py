#!/usr/bin/env python3
"""Compares one OVMF boot with quarn-emu's run of the scenario describing that board.

    ovmf-compare.py SCENARIO COM1.log COM2.log QUARN_EMU [--edk2-asserts] [--release-of QUARN_EMU_DEBUG]

Checks, printing one line each:
  - the first UART carries the module's console, byte for byte as quarn-emu shows it,
    before anything of OVMF's own; the addresses of the three pointer lines (where the
    PEI core put the HOB list before and after its move to permanent memory) are the
    one thing the scenario cannot know, so they are compared in form, and their values
    against what the board module found;
  - the second UART, the test platform module's "board: " lines set aside, likewise
    (OVMF's own console follows there later);
  - the test platform module's end-of-PEI report on the second UART: the HOBs as the
    emulator's report has them, the MP services' processor count, and MM7 of every
    processor holding the pointer table's address;
  - the module's status codes (the error-log records) as the board took them, in order,
    with their data, against the emulator's; and that the board heard OVMF's own codes
    too (a board that hears nothing would pass any comparison);
  - the UEFI Shell prompt on the first UART (OVMF went on to its boot manager).
--edk2-asserts: the module was built by EDK II's build, whose assertions name the file
as that build records it (__FILE__: the absolute path with its extension) and describe
an ASSERT_EFI_ERROR by MdePkg's expansion of its macro; assertion lines are compared by
file name (no folder, no extension) and line, their descriptions masked.
--release-of QUARN_EMU_DEBUG: the module is a RELEASE build and QUARN_EMU the RELEASE
tool; besides the checks above, no line of the DEBUG build's console (QUARN_EMU_DEBUG's)
may appear on either UART.
Exit status 0 when everything holds, 1 otherwise.
"""
import argparse
import json
import os
import re
import subprocess
import sys

ADDRESS_LINES = re.compile(r"^(Reload MM7 with new pointer: |Migration pointer type 9: |Sync MM7: )([0-9A-F]+)( => ([0-9A-F]+))?\r$",
                           re.M)
SHELL_PROMPT = b"Shell> "
ASSERT_LINE = re.compile(r"^(ASSERT \[[^\]]*\] )(\S+?)\((\d+)\): (.*?)\r$", re.M)


def normalised(console, edk2_asserts=False):
    """The console with the addresses of the pointer lines replaced by a mark (and, for an
    EDK II build, the assertion lines' folders, extensions and descriptions); the addresses found."""
    found = []

    def mark(m):
        found.append((m.group(1), m.group(2), m.group(4)))
        return m.group(1) + "<address>" + (" => <address>" if m.group(3) else "") + "\r"

    def assertion(m):
        name = re.sub(r"\.[^./]*$", "", m.group(2).replace("\\", "/").rsplit("/", 1)[-1])
        return f"{m.group(1)}{name}({m.group(3)}): <description>\r"
    text = ADDRESS_LINES.sub(mark, console)
    if edk2_asserts:
        text = ASSERT_LINE.sub(assertion, text)
    return text, found


def board_values(com2):
    values = {}
    for line in com2.splitlines():
        m = re.match(r"board: (.+?) (0x[0-9A-F]+)$", line)
        if m:
            values[m.group(1)] = int(m.group(2), 16)
    return values


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("scenario")
    parser.add_argument("com1")
    parser.add_argument("com2")
    parser.add_argument("emu")
    parser.add_argument("--edk2-asserts", action="store_true")
    parser.add_argument("--release-of", metavar="QUARN_EMU_DEBUG")
    args = parser.parse_args(argv[1:])
    scenario, com1_path, com2_path, emu = args.scenario, args.com1, args.com2, args.emu
    name = os.path.splitext(os.path.basename(scenario))[0]
    run = subprocess.run([emu, "run", scenario, "--json"], capture_output=True, text=True)
    if run.returncode not in (0,):
        print(f"ovmf: {name}: quarn-emu failed ({run.returncode}): {run.stderr.strip()}")
        return 1
    report = json.loads(run.stdout)
    expected = report["console"].encode("latin-1")
    with open(com1_path, "rb") as f:
        com1 = f.read()
    with open(com2_path, "rb") as f:
        com2 = f.read().decode("latin-1")
    failures = []

    head = com1[:len(expected)]
    want, want_addresses = normalised(expected.decode("latin-1"), args.edk2_asserts)
    got, got_addresses = normalised(com1.decode("latin-1"), args.edk2_asserts)
    if not got.startswith(want):
        common = next((i for i, (a, b) in enumerate(zip(want, got)) if a != b), min(len(want), len(got)))
        failures.append(f"console differs at byte {common}: quarn-emu {want[common:common + 60]!r}, "
                        f"OVMF {got[common:common + 60]!r}")
    else:
        print(f"ovmf: {name}: the module's console on OVMF equals quarn-emu's "
              f"({len(want.encode('latin-1'))} bytes, {want.count(chr(10))} lines; the addresses of "
              f"{len(got_addresses)} pointer lines compared in form)")
    del head
    module2 = "".join(l for l in com2.splitlines(keepends=True) if not l.startswith("board: "))
    want2, _ = normalised(report["console2"], args.edk2_asserts)
    got2, _ = normalised(module2, args.edk2_asserts)
    if not got2.startswith(want2):
        common = next((i for i, (a, b) in enumerate(zip(want2, got2)) if a != b), min(len(want2), len(got2)))
        failures.append(f"second UART differs at byte {common}: quarn-emu {want2[common:common + 60]!r}, "
                        f"OVMF {got2[common:common + 60]!r}")
    else:
        print(f"ovmf: {name}: the second UART (the test platform's lines set aside) starts with quarn-emu's too")

    board = board_values(com2)
    table = board.get("table")
    sync = [a for kind, a, _ in got_addresses if kind.startswith("Sync MM7")]
    if args.release_of:
        debug = subprocess.run([args.release_of, "run", scenario, "--json"], capture_output=True, text=True)
        if debug.returncode != 0:
            failures.append(f"the DEBUG quarn-emu failed ({debug.returncode}): {debug.stderr.strip()}")
        else:
            texts = json.loads(debug.stdout)
            lines = {l.strip() for l in (texts["console"] + texts["console2"]).splitlines() if l.strip()}
            lines = {ADDRESS_LINES.sub(lambda m: m.group(1), l + "\r").rstrip("\r") for l in lines}
            seen = sorted(l for l in lines if l in com1.decode("latin-1") or l in module2)
            if seen:
                failures.append(f"the RELEASE build printed DEBUG texts: {seen[:3]}")
            else:
                print(f"ovmf: {name}: none of the {len(lines)} lines of the DEBUG console on either UART")
        # No pointer lines to give the table's address: the board's own finding stands.
        sync = [f"{table:X}"] if table is not None else []
    if table is None or not sync or int(sync[-1], 16) != table:
        failures.append(f"the last 'Sync MM7' address {sync[-1:] } is not the pointer table HOB the board found "
                        f"({table:#x})" if table is not None else "the board found no pointer table HOB")
    hob = report.get("vorn_type_hob")
    if hob is None:
        if "board: VORN type HOB none" not in com2:
            failures.append("a VORN type HOB on OVMF, none in quarn-emu's report")
    elif (board.get("VORN type HOB vorn_type"), board.get("VORN type HOB fw_type"),
          board.get("VORN type HOB fw_sub_type")) != (hob["vorn_type"], hob["fw_type"], hob["fw_sub_type"]):
        failures.append(f"VORN type HOB on OVMF {board}, quarn-emu {hob}")
    info = report.get("info_hob")
    if (info is None) != ("board: info HOB none" in com2) or (info is not None and board.get("info HOB flow") != info["flow"]):
        failures.append(f"info HOB on OVMF flow {board.get('info HOB flow')}, quarn-emu {info}")
    processors = board.get("processors", 0)
    holding = len(re.findall(r"^board: cpu \d+ MM7 .* holds the table\r?$", com2, re.M))
    if processors != len(report["mm7"]) or holding != processors:
        failures.append(f"{holding} of {processors} processors hold the table in MM7 on OVMF; "
                        f"quarn-emu has {len(report['mm7'])} processors")
    else:
        print(f"ovmf: {name}: MM7 of all {processors} processors holds the pointer table "
              f"({table:#010x}), read through OVMF's MP services")
    want_codes = [(c["type"], c["value"], c["instance"], c["data"].upper()) for c in report["status_codes"]]
    got_codes = [(int(t, 16), int(v, 16), int(i, 16), d) for t, v, i, d in
                 re.findall(r"^board: status code type (\w+) value (\w+) instance (\w+) data (\w*)\r?$", com2, re.M)]
    heard = board.get("status codes", 0)
    if got_codes != want_codes:
        failures.append(f"the module's status codes on OVMF {got_codes}, quarn-emu {want_codes}")
    elif heard <= len(got_codes):
        failures.append(f"the board heard {heard} status codes, none of OVMF's own: its listener is not in place")
    else:
        print(f"ovmf: {name}: the module's {len(got_codes)} status codes equal quarn-emu's "
              f"(the board heard {heard} in all)")
    if SHELL_PROMPT not in com1:
        failures.append("no UEFI Shell prompt")
    else:
        print(f"ovmf: {name}: OVMF reached the UEFI Shell prompt")
    for f in failures:
        print(f"ovmf: {name}: FAIL: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
