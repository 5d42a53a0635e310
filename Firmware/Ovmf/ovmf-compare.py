#!/usr/bin/env python3
"""Compares one OVMF boot with quarn-emu's run of the scenario describing that board.

    ovmf-compare.py SCENARIO COM1.log COM2.log QUARN_EMU [--edk2-asserts] [--release-of QUARN_EMU_DEBUG]

SCENARIO is the scenario's OVMF form (ovmf-board.py prepare writes it) or any scenario
file the board was described from. Checks, printing one line each:
  - the first UART carries the module's console, byte for byte as quarn-emu shows it,
    before anything of OVMF's own; the addresses of the three pointer lines (where the
    PEI core put the HOB list before and after its move to permanent memory) are the
    one thing the scenario cannot know, so they are compared in form, and their values
    against what the board module found;
  - the second UART, the test platform module's "board: " lines set aside, likewise
    (OVMF's own console follows there later);
  - the test platform module's report at the end of PEI on the second UART: no
    "board: error" line (each DRUX_PPI call it answered was the scenario's run's very
    request), as many stand-in calls and GetBootMode calls as described; each
    SendWithAck (client, request, capacity, status, response, length) as the emulator's
    report has the messages; the breakpoints of the module's assertions, and the
    number and hash of the DEBUG_PRINT_PPI messages; the HOBs (the VORN type HOB, the
    info HOB byte for byte); the MP services' processor count, and for each processor
    whether MM7 holds the pointer table's address;
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


def ovmf_follows(rest):
    """TRUE when what a UART carries after the module's console is OVMF's own: nothing, or
    its console, which starts with a terminal escape sequence (no further module line)."""
    return rest == "" or rest.startswith("\x1b")


def board_values(com2):
    values = {}
    for line in com2.splitlines():
        m = re.match(r"board: (.+?) (0x[0-9A-F]+)$", line)
        if m:
            values[m.group(1)] = int(m.group(2), 16)
    return values


DEBUG_ADDRESS_LINE = re.compile(r"^(Reload MM7 with new pointer: |Migration pointer type 9: |Sync MM7: )(.*)$", re.S)


def fnv1a(messages):
    """The board's hash of the debug messages: FNV-1a over each one's length (4 bytes) and
    text, each run of hex digits after a pointer line's prefix as one '#'."""
    value = 0x811C9DC5
    for message in messages:
        m = DEBUG_ADDRESS_LINE.match(message)
        if m:
            message = m.group(1) + re.sub(r"[0-9A-F]+", "#", m.group(2))
        data = message.encode("latin-1")
        for byte in len(data).to_bytes(4, "little") + data:
            value = ((value ^ byte) * 0x01000193) & 0xFFFFFFFF
    return value


def board_calls(com2):
    """The SendWithAck calls the board logged: (client, request, capacity, status, response, length)."""
    asked = {int(n): (int(c, 16), r, int(cap)) for n, c, r, cap in
             re.findall(r"^board: drux call (\d+) SendWithAck client 0x([0-9A-F]+) request ([0-9A-F]*) "
                        r"capacity (\d+)\r?$", com2, re.M)}
    answered = {int(n): (int(st, 16), resp or None, int(length) if length else None) for n, st, resp, length in
                re.findall(r"^board: drux call (\d+) answered 0x([0-9A-F]+)(?: response ([0-9A-F]*) length (\d+))?"
                           r"\r?$", com2, re.M)}
    return [asked[n] + answered.get(n, (None, None, None)) for n in sorted(asked)]


def board_mismatches(com2, report, board):
    """Each way the board's report differs from quarn-emu's run (see the module's docstring)."""
    found = [f"the board said: {e}" for e in re.findall(r"^board: error: (.*?)\r?$", com2, re.M)]
    if "drux calls made" not in board:
        return found + ["the board printed no report at the end of PEI"]
    if board["drux calls made"] != board.get("drux calls described"):
        found.append(f"the module made {board['drux calls made']} DRUX_PPI calls, the scenario's run "
                     f"{board.get('drux calls described')}")
    if board.get("GetBootMode calls answered", 0) < board.get("GetBootMode calls described", 0):
        found.append(f"the module made {board.get('GetBootMode calls answered')} of the "
                     f"{board.get('GetBootMode calls described')} GetBootMode calls the board answers")
    want = [(m["client"], m["request"].upper(), m["response_capacity"], m["result_value"],
             m["response"].upper() if m["response"] is not None else None,
             m["response_length"] if m["response"] is not None else None) for m in report["messages"]]
    got = board_calls(com2)
    if got != want:
        found.append(f"SendWithAck calls on OVMF {got}, messages of quarn-emu {want}")
    if board.get("breakpoints") != len(report["asserts"]):
        found.append(f"{board.get('breakpoints')} breakpoints on OVMF, quarn-emu {len(report['asserts'])} assertions")
    debug = (board.get("debug PPI messages"), board.get("debug PPI hash"))
    if debug != (len(report["debug_ppi"]), fnv1a(report["debug_ppi"])):
        found.append(f"DEBUG_PRINT_PPI messages on OVMF {debug[0]} (hash {debug[1]}), quarn-emu "
                     f"{len(report['debug_ppi'])} (hash {fnv1a(report['debug_ppi'])})")
    if not found:
        print(f"ovmf: {report['scenario']}: the board's report agrees: {len(got)} SendWithAck and "
              f"{board['drux calls made'] - len(got)} GetVornStatus calls as the scenario's run made them, "
              f"{len(report['asserts'])} breakpoints, {len(report['debug_ppi'])} debug messages")
    return found


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
    name = report.get("scenario", name)
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
    elif not ovmf_follows(got[len(want):]):
        failures.append(f"after the module's console the first UART carries {got[len(want):len(want) + 60]!r}, "
                        "not OVMF's own console")
    else:
        print(f"ovmf: {name}: the module's console on OVMF equals quarn-emu's "
              f"({len(want.encode('latin-1'))} bytes, {want.count(chr(10))} lines; the addresses of "
              f"{len(got_addresses)} pointer lines compared in form)")
    del head
    module2 = "".join(line for line in com2.splitlines(keepends=True) if not line.startswith("board: "))
    want2, _ = normalised(report["console2"], args.edk2_asserts)
    got2, _ = normalised(module2, args.edk2_asserts)
    if not got2.startswith(want2):
        common = next((i for i, (a, b) in enumerate(zip(want2, got2)) if a != b), min(len(want2), len(got2)))
        failures.append(f"second UART differs at byte {common}: quarn-emu {want2[common:common + 60]!r}, "
                        f"OVMF {got2[common:common + 60]!r}")
    elif not ovmf_follows(got2[len(want2):]):
        failures.append(f"after the module's lines the second UART carries {got2[len(want2):len(want2) + 60]!r}, "
                        "not OVMF's own console")
    else:
        print(f"ovmf: {name}: the second UART (the test platform's lines set aside) carries quarn-emu's too, then OVMF's own")

    board = board_values(com2)
    table = board.get("table")
    sync = [a for kind, a, _ in got_addresses if kind.startswith("Sync MM7")]
    if args.release_of:
        debug = subprocess.run([args.release_of, "run", scenario, "--json"], capture_output=True, text=True)
        if debug.returncode != 0:
            failures.append(f"the DEBUG quarn-emu failed ({debug.returncode}): {debug.stderr.strip()}")
        else:
            texts = json.loads(debug.stdout)
            lines = {line.strip() for line in (texts["console"] + texts["console2"]).splitlines() if line.strip()}
            lines = {ADDRESS_LINES.sub(lambda m: m.group(1), line + "\r").rstrip("\r") for line in lines}
            seen = sorted(line for line in lines if line in com1.decode("latin-1") or line in module2)
            if seen:
                failures.append(f"the RELEASE build printed DEBUG texts: {seen[:3]}")
            else:
                print(f"ovmf: {name}: none of the {len(lines)} lines of the DEBUG console on either UART")
        # No pointer lines to give the table's address: the board's own finding stands.
        sync = [f"{table:X}"] if table is not None else []
    if not want_addresses and not args.release_of:
        print(f"ovmf: {name}: no pointer lines on the console (quarn-emu prints none either): "
              "the table is checked through MM7 only")
    elif table is None or not sync or int(sync[-1], 16) != table:
        failures.append(f"the last 'Sync MM7' address {sync[-1:] } is not the pointer table HOB the board found "
                        f"({table:#x})" if table is not None else "the board found no pointer table HOB")
    failures += board_mismatches(com2, report, board)
    hob = report.get("vorn_type_hob")
    if hob is None:
        if "board: VORN type HOB none" not in com2:
            failures.append("a VORN type HOB on OVMF, none in quarn-emu's report")
    elif (board.get("VORN type HOB vorn_type"), board.get("VORN type HOB fw_type"),
          board.get("VORN type HOB fw_sub_type")) != (hob["vorn_type"], hob["fw_type"], hob["fw_sub_type"]):
        failures.append(f"VORN type HOB on OVMF {board}, quarn-emu {hob}")
    info = report.get("info_hob")
    info_data = re.search(r"^board: info HOB data ([0-9A-F]+)\r?$", com2, re.M)
    if (info is None) != ("board: info HOB none" in com2) or (
            info is not None and (info_data is None or info_data.group(1) != info["data"].upper())):
        failures.append(f"info HOB on OVMF {info_data.group(1) if info_data else None}, quarn-emu {info}")
    processors = board.get("processors", 0)
    holds = [m.group(1) == "holds" for m in
             re.finditer(r"^board: cpu \d+ (?:MM7 .* (holds|does not hold) the table|did not answer)\r?$", com2, re.M)]
    if processors != len(report["mm7"]) or holds != report["mm7_points_to_table"]:
        failures.append(f"MM7 holds the table on OVMF's {processors} processors {holds}; quarn-emu has "
                        f"{report['mm7_points_to_table']}")
    else:
        print(f"ovmf: {name}: MM7 of the {processors} processors as quarn-emu has it "
              f"({sum(holds)} hold the pointer table at {table or 0:#010x}), read through OVMF's MP services")
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
