#!/usr/bin/env python3
"""Compares one OVMF boot with quarn-emu's run of the scenario describing that board.

    ovmf-compare.py SCENARIO COM1.log COM2.log QUARN_EMU

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
  - the UEFI Shell prompt on the first UART (OVMF went on to its boot manager).
Exit status 0 when everything holds, 1 otherwise.
"""
import json
import os
import re
import subprocess
import sys

ADDRESS_LINES = re.compile(r"^(Reload MM7 with new pointer: |Migration pointer type 9: |Sync MM7: )([0-9A-F]+)( => ([0-9A-F]+))?\r$",
                           re.M)
SHELL_PROMPT = b"Shell> "


def normalised(console):
    """The console with the addresses of the pointer lines replaced by a mark; the addresses found."""
    found = []

    def mark(m):
        found.append((m.group(1), m.group(2), m.group(4)))
        return m.group(1) + "<address>" + (" => <address>" if m.group(3) else "") + "\r"
    return ADDRESS_LINES.sub(mark, console), found


def board_values(com2):
    values = {}
    for line in com2.splitlines():
        m = re.match(r"board: (.+?) (0x[0-9A-F]+)$", line)
        if m:
            values[m.group(1)] = int(m.group(2), 16)
    return values


def main(argv):
    if len(argv) != 5:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    scenario, com1_path, com2_path, emu = argv[1:]
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
    want, want_addresses = normalised(expected.decode("latin-1"))
    got, got_addresses = normalised(com1.decode("latin-1"))
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
    want2, _ = normalised(report["console2"])
    got2, _ = normalised(module2)
    if not got2.startswith(want2):
        common = next((i for i, (a, b) in enumerate(zip(want2, got2)) if a != b), min(len(want2), len(got2)))
        failures.append(f"second UART differs at byte {common}: quarn-emu {want2[common:common + 60]!r}, "
                        f"OVMF {got2[common:common + 60]!r}")
    else:
        print(f"ovmf: {name}: the second UART (the test platform's lines set aside) starts with quarn-emu's too")

    board = board_values(com2)
    table = board.get("table")
    sync = [a for kind, a, _ in got_addresses if kind.startswith("Sync MM7")]
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
    if SHELL_PROMPT not in com1:
        failures.append("no UEFI Shell prompt")
    else:
        print(f"ovmf: {name}: OVMF reached the UEFI Shell prompt")
    for f in failures:
        print(f"ovmf: {name}: FAIL: {f}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
