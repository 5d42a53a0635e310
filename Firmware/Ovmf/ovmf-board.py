#!/usr/bin/env python3
"""Turns a scenario into the board OVMF's q35 plays for it, or says why it cannot.

    ovmf-board.py prepare SCENARIO QUARN_EMU OUT_DIR
    ovmf-board.py names QUARN_EMU

prepare: SCENARIO is a built-in scenario's name or a file. Writes to OUT_DIR
  form.toml    the scenario's OVMF form: the scenario as quarn-emu fills it in, with the
               console hardware of QEMU's q35 (UARTs after reset, no SuperIO, no
               sideband function) and without [expect]; what the boot is compared with;
  report.json  quarn-emu's report of the form (with the trace of its calls);
  board.bin    the board description the test platform module reads as fw_cfg
               opt/quarn/board (layout: OvmfBoardDescription.h);
  qemu.args    the QEMU arguments of the board, one a line (memory, processors, CPU
               signature, the description);
and prints one line. Exit status 0: the board can be expressed; 3: it cannot, each
reason on a line of its own; 2: the scenario or quarn-emu could not be used.
names: the built-in scenarios, one a line.

What the q35 under OVMF can be, and so which scenarios it expresses: decide() below;
the description: describe(). The VORN registers are RAM and nothing runs between the
module's polls, so a register change is stored at the last DRUX_PPI stand-in call at or
before the time it is due (the request that starts a reset, typically); whether that
gives the same road is checked by running the scenario so changed on quarn-emu
(verify_changes()), and a scenario whose road it changes cannot be expressed.
"""
import argparse
import json
import math
import os
import re
import struct
import subprocess
import sys
import tomllib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))

# --- the description's layout (OvmfBoardDescription.h) ---------------------------------
SIGNATURE = 0x44424F51
VERSION = 1
HEADER = struct.Struct("<IHHIIIIIIIIIIIIBBBBIHHHH")
CALL = struct.Struct("<BBBBIIIII")
CHANGE = struct.Struct("<II")
BOOT_MODE_CALL = struct.Struct("<II")
# Byte offset of each header field, as the C++ header's static_asserts state them.
HEADER_FIELDS = ["Signature", "Version", "HeaderSize", "TotalSize", "Flags", "BootMode", "ErrorLevel",
                 "Mm0Low", "Mm0High", "Registers", None, None, None, None, "VornType", "FwType", "FwSubType",
                 "HostBridgeFc", "Reserved0", "PolicySize", "BootModeCallCount", "StatusCodeAnswerCount",
                 "CallCount", "Reserved1"]
CALL_FIELDS = ["Kind", "Client", "ChangeCount", "Reserved", "Status", "RequestLength", "Capacity",
               "ResponseSize", "ResponseLength"]
FLAGS = {"vorn_present": 0x001, "policy": 0x002, "drux": 0x004, "null_send_with_ack": 0x008,
         "null_get_vorn_status": 0x010, "debug_print_ppi": 0x020, "vorn_type_hob": 0x040, "cmos_valid": 0x080}
SEND_WITH_ACK, GET_VORN_STATUS = 1, 2
REGISTERS = {"VORNFS1": 0, "VORNFS2": 1, "Fn1Status": 2, "Fn4Status": 3, "Fn6Status": 4}
REGISTER_KEYS = ["fs1", "fs2", "fn1", "fn4", "fn6"]
LIMITS = {"size": 8192, "policy": 4096, "boot_mode_calls": 8, "answers": 64, "calls": 64, "message": 1024,
          "changes": 16}
MAX_PROCESSORS = 16          # the board reads MM7 of this many processors at most

# --- what QEMU's q35 is under OVMF ---------------------------------------------------------
Q35 = {  # table: {key: value}; a scenario that names another value cannot be expressed
    "uart1": {"divisor": 12, "lcr": 0, "fcr": 0},
    "uart2": {"divisor": 12, "lcr": 0, "fcr": 0},
    "superio": {"uart1_active": False, "uart2_active": False},
    "chipset": {"sideband": False},
}
Q35_WHY = {"uart1": "QEMU's 16550 after reset", "uart2": "QEMU's 16550 after reset",
           "superio": "q35 has no SuperIO", "chipset": "q35 has no sideband function 00:1F.1"}
# Where the q35 under OVMF has its devices: where the module's build expects them.
BUILD_BOARD = {"uart1_base": 0x3F8, "uart2_base": 0x2F8, "sio_index_port": 0x4E, "sio_data_port": 0x4F,
               "acpi_timer_port": 0x508, "halt_code_port": 0xCB0, "cmos_level_index": 0x7A,
               "pcie_base": 0x80000000, "dwrsts_address": 0xFE00192C}
MEMORY_MIB = {True: 2560, False: 1024}   # a VORN needs RAM at the PCI Express window 0x80000000
BOARD_FAULTS = {"SendWithAck", "GetVornStatus", "GetBootMode", "ReportStatusCode"}
DEFAULT_HOB_SPACE, DEFAULT_POOL_SPACE = 65536, 8192

# --- status values by name (the report's and the scenario files' names) ---------------------
_WARNINGS = ["EFI_SUCCESS", "EFI_WARN_UNKNOWN_GLYPH", "EFI_WARN_DELETE_FAILURE", "EFI_WARN_WRITE_FAILURE",
             "EFI_WARN_BUFFER_TOO_SMALL", "EFI_WARN_STALE_DATA"]
_ERRORS = {1: "LOAD_ERROR", 2: "INVALID_PARAMETER", 3: "UNSUPPORTED", 4: "BAD_BUFFER_SIZE", 5: "BUFFER_TOO_SMALL",
           6: "NOT_READY", 7: "DEVICE_ERROR", 8: "WRITE_PROTECTED", 9: "OUT_OF_RESOURCES", 10: "VOLUME_CORRUPTED",
           11: "VOLUME_FULL", 12: "NO_MEDIA", 13: "MEDIA_CHANGED", 14: "NOT_FOUND", 15: "ACCESS_DENIED",
           16: "NO_RESPONSE", 17: "NO_MAPPING", 18: "TIMEOUT", 19: "NOT_STARTED", 20: "ALREADY_STARTED",
           21: "ABORTED", 22: "ICMP_ERROR", 23: "TFTP_ERROR", 24: "PROTOCOL_ERROR", 25: "INCOMPATIBLE_VERSION",
           26: "SECURITY_VIOLATION", 27: "CRC_ERROR", 28: "END_OF_MEDIA", 31: "END_OF_FILE",
           32: "INVALID_LANGUAGE", 33: "COMPROMISED_DATA"}
STATUS = {name: value for value, name in enumerate(_WARNINGS)}
STATUS.update({"EFI_" + name: 0x80000000 | code for code, name in _ERRORS.items()})
STATUS["EFI_NOT_AVAILABLE_YET"] = 0xA0000002
DEVICE_ERROR = STATUS["EFI_DEVICE_ERROR"]


class Unusable(Exception):
    """The scenario or quarn-emu could not be used."""


def status_value(value):
    """A status from a scenario (name or number) as a number."""
    if isinstance(value, int):
        return value & 0xFFFFFFFF
    if value in STATUS:
        return STATUS[value]
    raise Unusable(f"unknown status {value!r}")


def number(value):
    """A scenario number, also the string form of a 64-bit one ("0x...")."""
    return int(value, 0) if isinstance(value, str) else int(value)


def is_error(status):
    return status & 0x80000000 != 0


# --- the scenario, as written and as quarn-emu fills it in -----------------------------------

def emu_output(emu, *args):
    run = subprocess.run([emu, *args], capture_output=True, text=True)
    if run.returncode not in (0,):
        raise Unusable(f"quarn-emu {' '.join(args)}: exit status {run.returncode}: {run.stderr.strip()}")
    return run.stdout


def split_sections(text):
    """TOML text as [header, lines] pairs (the first header None), the way quarn-emu dumps a scenario."""
    sections = [[None, []]]
    for line in text.splitlines():
        if re.match(r"^\[\[?[\w.]+\]\]?\s*$", line):
            sections.append([line.strip(), []])
        else:
            sections[-1][1].append(line)
    return sections


def join_sections(sections):
    out = []
    for header, lines in sections:
        if header is not None:
            out.append(header)
        out.extend(lines)
    return "\n".join(out).rstrip("\n") + "\n"


def toml_value(value):
    if isinstance(value, bool):
        return "true" if value else "false"
    if isinstance(value, int):
        return f"0x{value:08X}" if value > 255 else str(value)
    return json.dumps(value)


def set_key(sections, table, key, value):
    """Sets key = value in [table] (the table must be there)."""
    for header, lines in sections:
        if header == f"[{table}]":
            for index, line in enumerate(lines):
                if re.match(rf"^{re.escape(key)}\s*=", line):
                    lines[index] = f"{key} = {toml_value(value)}"
                    return
            lines.insert(0, f"{key} = {toml_value(value)}")
            return
    raise Unusable(f"the dumped scenario has no [{table}]")


def ovmf_form(dump_text, scenario):
    """The OVMF form of a dumped scenario: q35's console hardware, no [expect]."""
    sections = [s for s in split_sections(dump_text)
                if s[0] is None or not re.match(r"^\[\[?expect[\].]", s[0])]
    for table, keys in Q35.items():
        for key, value in keys.items():
            set_key(sections, table, key, value)
    if not scenario["vorn"]["present"]:
        set_key(sections, "chipset", "host_bridge_fc", 0)
    return join_sections(sections)


# --- what the q35 under OVMF can express -----------------------------------------------------

def signature_problem(signature):
    if signature >> 20 or (signature >> 8) & 0xF == 0xF or (signature >> 12) & 0xF:
        return f"cpu.signature = 0x{signature:08X}: only family 0..14, type 0 signatures are built by -cpu here"
    return None


def decide(raw, scenario):
    """Why the q35 under OVMF cannot be the scenario's board, from the scenario alone:
    a list of reasons, empty when it can. raw: the scenario as written; scenario: as
    quarn-emu fills it in (--dump-scenario)."""
    reasons = []
    for key, value in scenario.get("board", {}).items():
        if BUILD_BOARD.get(key) != value:
            where = f"0x{BUILD_BOARD[key]:X}" if key in BUILD_BOARD else "no such place"
            reasons.append(f"board.{key} = 0x{value:X}: the q35 under OVMF has its devices where the module's "
                           f"build expects them ({where})")
    pei = scenario["pei"]
    if not pei["memory_discovered"]:
        reasons.append("pei.memory_discovered = false: OVMF's PEI core always goes on to permanent memory "
                       "after the module")
    if pei["mp_services"] != "after-memory":
        reasons.append(f"pei.mp_services = \"{pei['mp_services']}\": OVMF's CPU module installs the MP services "
                       "once permanent memory is there")
    if pei["hob_space"] < DEFAULT_HOB_SPACE:
        reasons.append(f"pei.hob_space = {pei['hob_space']}: the HOB space is OVMF's PEI core's, the board "
                       "cannot narrow it")
    if pei["pool_space"] < DEFAULT_POOL_SPACE:
        reasons.append(f"pei.pool_space = {pei['pool_space']}: the pool is OVMF's PEI core's, the board cannot "
                       "narrow it")
    cpu = scenario["cpu"]
    if cpu["processors"] > MAX_PROCESSORS:
        reasons.append(f"cpu.processors = {cpu['processors']}: the board reads MM7 of at most "
                       f"{MAX_PROCESSORS} processors")
    problem = signature_problem(cpu["signature"])
    if problem:
        reasons.append(problem)
    vorn = scenario["vorn"]
    if vorn["dwrsts"] != 0:
        reasons.append(f"vorn.dwrsts = 0x{vorn['dwrsts']:08X}: DWRSTS (MMIO 0xFE00192C) is unassigned on q35 "
                       "and reads 0; no RAM can play it there")
    if scenario["drux"]["null_ppi"]:
        reasons.append("drux.null_ppi = true: the board installs no PPI descriptor without an interface")
    for table, keys in Q35.items():
        for key, value in keys.items():
            given = raw.get(table, {}).get(key)
            if given is not None and given != value:
                reasons.append(f"{table}.{key} = {toml_value(given)}: {Q35_WHY[table]} has {toml_value(value)}")
    if not vorn["present"] and scenario["chipset"]["host_bridge_fc"] != 0:
        reasons.append(f"chipset.host_bridge_fc = 0x{scenario['chipset']['host_bridge_fc']:02X} without a VORN: "
                       "q35's host bridge reads 0 there")
    table = scenario["policy"].get("table")
    if table is not None and len(bytes.fromhex(table.replace(" ", ""))) > LIMITS["policy"]:
        reasons.append(f"policy.table: longer than the {LIMITS['policy']} bytes the board takes")
    return reasons


def stand_in_calls(report):
    """The DRUX_PPI calls of the run in order: (kind, time_ms)."""
    calls = []
    for entry in report.get("trace", []):
        if entry["kind"] != "call":
            continue
        if entry["device"] == "DRUX_PPI.GetVornStatus":
            calls.append((GET_VORN_STATUS, entry["time_ms"]))
        elif entry["device"].startswith("DRUX_PPI.SendWithAck client"):
            calls.append((SEND_WITH_ACK, entry["time_ms"]))
    return calls


def decide_run(report):
    """Why the run of the scenario's OVMF form cannot be played: a list of reasons."""
    reasons = []
    if report["outcome"] != "returned":
        reasons.append(f"outcome \"{report['outcome']}\": the emulator had to stop the module, OVMF would not "
                       "boot on")
    fault = report.get("fault")
    if fault and fault["call"] not in BOARD_FAULTS:
        reasons.append(f"[fault] {fault['call']} #{fault['nth']}: that call is OVMF's PEI core's; the board can "
                       f"only fail its own ({', '.join(sorted(BOARD_FAULTS))})")
    for change in report["board"]["timeline"]:
        if change["register"] not in REGISTERS:
            reasons.append(f"a change of {change['register']} at {change['time_ms']} ms: "
                           "DWRSTS is no RAM on q35")
    calls = stand_in_calls(report)
    if len(calls) > LIMITS["calls"]:
        reasons.append(f"{len(calls)} DRUX_PPI calls: the board takes {LIMITS['calls']}")
    if sum(1 for kind, _ in calls if kind == SEND_WITH_ACK) != len(report["messages"]):
        reasons.append("the trace's SendWithAck calls and the report's messages do not pair up")
    for message in report["messages"]:
        if message["request_length"] > LIMITS["message"] or len(message["response"] or "") // 2 > LIMITS["message"]:
            reasons.append(f"a {message['kind']} message longer than the {LIMITS['message']} bytes the board takes")
    if len(report["status_codes"]) > LIMITS["answers"]:
        reasons.append(f"{len(report['status_codes'])} status codes: the board answers {LIMITS['answers']}")
    return reasons


# --- the plan: what the stand-in answers and stores at each call ------------------------------

def plan_changes(report):
    """Assigns each register change of the run to the last stand-in call at or before its
    time: {call index or None (before any call): [(register, value), ...]}."""
    calls = stand_in_calls(report)
    plan = {}
    for change in report["board"]["timeline"]:
        if change["register"] not in REGISTERS:
            continue
        index = None
        for number_, (_, time_ms) in enumerate(calls):
            if time_ms <= change["time_ms"]:
                index = number_
        plan.setdefault(index, []).append((REGISTERS[change["register"]], change["value"]))
    return plan


def boot_mode_calls(scenario, report):
    """The GetBootMode calls the board answers itself: [(status, written)], empty when the
    PEI core's own answers serve (every call succeeds)."""
    count = sum(1 for e in report.get("trace", []) if e["kind"] == "call" and e["device"] == "GetBootMode")
    boot = scenario["boot"]
    fault = report.get("fault")
    calls = []
    for nth in range(1, count + 1):
        status = status_value(boot["get_boot_mode_status"])
        if fault and fault["call"] == "GetBootMode" and fault["nth"] == nth:
            status = DEVICE_ERROR
        calls.append((status, not is_error(status) or boot["mode_written_on_error"]))
    while calls and calls[-1] == (0, True):
        calls.pop()
    return calls


def vorn_status_answers(scenario, report):
    """(status, word) of each GetVornStatus call, in order."""
    drux = scenario["drux"]
    fault = report.get("fault")
    answers = []
    count = sum(1 for kind, _ in stand_in_calls(report) if kind == GET_VORN_STATUS)
    for nth in range(1, count + 1):
        status = status_value(drux["vorn_status_result"])
        if fault and fault["call"] == "GetVornStatus" and fault["nth"] == nth:
            status = DEVICE_ERROR
        answers.append((status, drux["vorn_status"]))
    return answers


def guid_bytes(text):
    """A GUID written as in a .dec file ({0x..., 0x..., 0x..., {0x.., ...}}) in its memory layout."""
    parts = [int(p, 16) for p in re.findall(r"0x[0-9A-Fa-f]+", text)]
    return struct.pack("<IHH8B", *parts)


def dec_guid(name):
    with open(os.path.join(ROOT, "QuarnPkg.dec"), encoding="utf-8") as f:
        match = re.search(rf"^\s*{name}\s*=\s*(\{{.*\}})", f.read(), re.M)
    if not match:
        raise Unusable(f"QuarnPkg.dec has no {name}")
    return guid_bytes(match.group(1))


OTHER_BLOCK_GUID = guid_bytes("{0x0B3E7A61, 0x2C94, 0x4F10, {0x9E, 0x27, 0x55, 0xA1, 0x0C, 0xD8, 0x43, 0x6F}}")


def policy_table(policy, premem_guid):
    """The config block table the scenario's policy PPI hands out (the emulator's layout:
    another block of 40 bytes, then the QUARN pre-memory block of 64), or the raw table."""
    if policy.get("table") is not None:
        table = bytearray.fromhex(policy["table"].replace(" ", ""))
        claimed = table[2] | table[3] << 8 if len(table) >= 4 else 0
        return bytes(table + bytes(max(len(table), 36, claimed) - len(table)))

    def block(guid, size):
        data = bytearray(size)
        struct.pack_into("<H", data, 2, size)
        data[8:24] = guid
        return data
    blocks = [block(OTHER_BLOCK_GUID, 40)]
    if policy["block"]:
        premem = block(premem_guid, 64)
        premem[36] = 1 if policy["pre_did_reset"] else 0
        struct.pack_into("<I", premem, 40, (1 << 13) if policy["ssc_alternate"] else 0)
        struct.pack_into("<I", premem, 52, 0x4000 if policy["bios_update_watchdog"] else 0)
        blocks.append(premem)
    table = bytearray(36) + b"".join(blocks)
    struct.pack_into("<H", table, 2, len(table))
    struct.pack_into("<H", table, 30, len(blocks))
    return bytes(table)


def pad4(data):
    return data + bytes(-len(data) % 4)


def describe(scenario, report, premem_guid):
    """The board description (bytes) of the scenario's OVMF form and its run."""
    vorn, drux, pei, cmos = scenario["vorn"], scenario["drux"], scenario["pei"], scenario["cmos"]
    changes = plan_changes(report)
    registers = [vorn[key] for key in REGISTER_KEYS]
    for register, value in changes.get(None, []):
        registers[register] = value
    flags = 0
    for name, on in (("vorn_present", vorn["present"]), ("policy", scenario["policy"]["installed"]),
                     ("drux", drux["installed"]), ("null_send_with_ack", drux["null_send_with_ack"]),
                     ("null_get_vorn_status", drux["null_get_vorn_status"]),
                     ("debug_print_ppi", pei["debug_print_ppi"]), ("vorn_type_hob", "vorn_type_hob" in pei),
                     ("cmos_valid", cmos["valid"])):
        flags |= FLAGS[name] if on else 0
    policy = policy_table(scenario["policy"], premem_guid) if scenario["policy"]["installed"] else b""
    boot_calls = boot_mode_calls(scenario, report)
    answers = [code["answer_value"] for code in report["status_codes"]]
    while answers and answers[-1] == 0:
        answers.pop()
    type_hob = pei.get("vorn_type_hob", {"vorn_type": 0, "fw_type": 0, "fw_sub_type": 0})

    body = pad4(policy)
    body += b"".join(BOOT_MODE_CALL.pack(status, int(written)) for status, written in boot_calls)
    body += b"".join(struct.pack("<I", answer) for answer in answers)
    messages = iter(report["messages"])
    statuses = iter(vorn_status_answers(scenario, report))
    for index, (kind, _) in enumerate(stand_in_calls(report)):
        stored = changes.get(index, [])
        if kind == SEND_WITH_ACK:
            m = next(messages)
            request = bytes.fromhex(m["request"])
            response = bytes.fromhex(m["response"]) if m["response"] is not None else b""
            length = m["response_length"] if m["response"] is not None else 0
            body += CALL.pack(SEND_WITH_ACK, m["client"], len(stored), 0, m["result_value"], m["request_length"],
                              m["response_capacity"], len(response), length)
            body += pad4(request[:m["request_length"]] + response)
        else:
            status, word = next(statuses)
            body += CALL.pack(GET_VORN_STATUS, 0, len(stored), 0, status, 0, 0, 0, word)
        body += b"".join(CHANGE.pack(register, value) for register, value in stored)
    mm0 = number(cmos["mm0"])
    header = HEADER.pack(SIGNATURE, VERSION, HEADER.size, HEADER.size + len(body), flags,
                         number(scenario["boot"]["mode"]), cmos["error_level"], mm0 & 0xFFFFFFFF, mm0 >> 32,
                         *registers, type_hob["vorn_type"], type_hob["fw_type"], type_hob["fw_sub_type"],
                         scenario["chipset"]["host_bridge_fc"], 0, len(policy), len(boot_calls), len(answers),
                         len(stand_in_calls(report)), 0)
    return header + body


def description_problems(blob, scenario, report):
    """What the board's checks (OvmfBoardParse) would refuse, in the writer's terms."""
    problems = []
    if len(blob) > LIMITS["size"]:
        problems.append(f"a description of {len(blob)} bytes: the board takes {LIMITS['size']}")
    if len(boot_mode_calls(scenario, report)) > LIMITS["boot_mode_calls"]:
        problems.append(f"more GetBootMode calls to answer than the {LIMITS['boot_mode_calls']} the board takes")
    if any(len(stored) > LIMITS["changes"] for stored in plan_changes(report).values()):
        problems.append(f"more register changes at one call than the {LIMITS['changes']} the board takes")
    return problems


def qemu_args(scenario, description_path):
    signature = scenario["cpu"]["signature"]
    family = (signature >> 8) & 0xF
    model = ((signature >> 16) & 0xF) << 4 | (signature >> 4) & 0xF
    return ["-m", str(MEMORY_MIB[bool(scenario["vorn"]["present"])]), "-smp", str(scenario["cpu"]["processors"]),
            "-cpu", f"qemu32,family={family},model={model},stepping={signature & 0xF}",
            "-fw_cfg", f"name=opt/quarn/board,file={description_path}"]


# --- register changes at the stand-in's calls, tried on quarn-emu -----------------------------

COMPARED = ["outcome", "status", "console", "console2", "debug_ppi", "asserts", "records", "exchange",
            "vorn_type_hob", "info_hob", "mm7_points_to_table"]


def road(report):
    """What a boot must reproduce of a run: the compared keys, the status codes and messages without times."""
    key = {k: report.get(k) for k in COMPARED}
    key["status_codes"] = [(c["type"], c["value"], c["instance"], c["data"], c["answer_value"])
                           for c in report["status_codes"]]
    key["messages"] = [(m["client"], m["request"], m["response_capacity"], m["result_value"], m["response"],
                        m["response_length"]) for m in report["messages"]]
    return key


def changes_form(form_text, changes, call_times):
    """The form with its register changes as [[vorn.at]] entries at the calls the board stores
    them at, and no changes of the firmware's own."""
    sections = [s for s in split_sections(form_text) if s[0] != "[[vorn.at]]"]
    for header, lines in sections:
        if header == "[drux.pre_did_reset]":
            lines[:] = [line for line in lines if not re.match(r"^(counter_after_ms|state_after_ms)\s*=", line)]
    for index, stored in sorted(changes.items(), key=lambda item: -1 if item[0] is None else item[0]):
        ms = 0 if index is None else math.ceil(call_times[index])
        for register, value in stored:
            sections.append(["[[vorn.at]]", [f"ms = {ms}", f"{REGISTER_KEYS[register]} = 0x{value:08X}", ""]])
    return join_sections(sections)


def verify_changes(form_text, report, run):
    """None when storing the run's register changes at the stand-in's calls keeps the road
    (run(toml_text) -> report, with the call trace), else what differs."""
    changes = plan_changes(report)
    if not changes:
        return None
    times = [t for _, t in stand_in_calls(report)]
    for _ in range(len(times) + 2):   # each round settles the time of at least one more call
        text = changes_form(form_text, changes, times)
        changed = run(text)
        new_times = [t for _, t in stand_in_calls(changed)]
        if len(new_times) != len(times) or all(math.ceil(a) == math.ceil(b) for a, b in zip(times, new_times)):
            break
        times = new_times
    want, got = road(report), road(changed)
    differs = [k for k in want if want[k] != got[k]]
    if differs:
        return ("the VORN registers' changes cannot be played by RAM stored at the DRUX_PPI stand-in's calls: "
                f"that run differs in {', '.join(differs)}")
    return None


# --- the command line -------------------------------------------------------------------------

def run_form(emu, path):
    return json.loads(emu_output(emu, "run", path, "--json", "--trace-kind", "call"))


def prepare(scenario_arg, emu, out):
    os.makedirs(out, exist_ok=True)
    if os.path.isfile(scenario_arg):
        with open(scenario_arg, "rb") as f:
            raw = tomllib.load(f)
    else:
        raw = tomllib.loads(emu_output(emu, "show", scenario_arg))
    dump = emu_output(emu, "run", scenario_arg, "--dump-scenario")
    scenario = tomllib.loads(dump)
    reasons = decide(raw, scenario)
    form_path = os.path.join(out, "form.toml")
    form = ovmf_form(dump, scenario)
    with open(form_path, "w", encoding="utf-8") as f:
        f.write(form)
    report = run_form(emu, form_path)
    with open(os.path.join(out, "report.json"), "w", encoding="utf-8") as f:
        json.dump(report, f)
    reasons += decide_run(report)
    if not reasons:
        def run(text):
            path = os.path.join(out, "changes.toml")
            with open(path, "w", encoding="utf-8") as f:
                f.write(text)
            return run_form(emu, path)
        problem = verify_changes(form, report, run)
        if problem:
            reasons.append(problem)
    if not reasons:
        blob = describe(scenario, report, dec_guid("gQuarnPreMemConfigGuid"))
        reasons += description_problems(blob, scenario, report)
    if reasons:
        return scenario.get("name", scenario_arg), reasons
    board = os.path.join(out, "board.bin")
    with open(board, "wb") as f:
        f.write(blob)
    with open(os.path.join(out, "qemu.args"), "w", encoding="utf-8") as f:
        f.write("\n".join(qemu_args(scenario, os.path.abspath(board))) + "\n")
    return scenario.get("name", scenario_arg), []


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter,
                                     epilog="\n".join(__doc__.strip().splitlines()[1:]))
    commands = parser.add_subparsers(dest="command", required=True)
    p = commands.add_parser("prepare", help="write the board of one scenario, or say why there is none")
    p.add_argument("scenario")
    p.add_argument("emu")
    p.add_argument("out")
    n = commands.add_parser("names", help="the built-in scenarios")
    n.add_argument("emu")
    args = parser.parse_args(argv[1:])
    try:
        if args.command == "names":
            for line in emu_output(args.emu, "list").splitlines():
                if line.strip():
                    print(line.split()[0])
            return 0
        name, reasons = prepare(args.scenario, args.emu, args.out)
    except (Unusable, OSError, ValueError, KeyError) as error:
        print(f"ovmf: {args.scenario}: unusable: {error}")
        return 2
    if reasons:
        for reason in reasons:
            print(f"ovmf: {name}: cannot be expressed: {reason}")
        return 3
    print(f"ovmf: {name}: board ready ({os.path.getsize(os.path.join(args.out, 'board.bin'))} bytes of description)")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
