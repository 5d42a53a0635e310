#!/usr/bin/env python3
"""The OVMF board's pure parts: the description's layout agrees with the board module's
header, the description written for a run, and which scenarios the q35 under OVMF can be.

    OvmfBoardTest.py
"""
import argparse
import copy
import importlib.util
import os
import re
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.normpath(os.path.join(HERE, "..", ".."))
spec = importlib.util.spec_from_file_location("ovmf_board", os.path.join(ROOT, "Firmware", "Ovmf", "ovmf-board.py"))
board = importlib.util.module_from_spec(spec)
spec.loader.exec_module(board)

failed = 0


def check(name, ok, detail=""):
    global failed
    print(f"{'ok  ' if ok else 'FAIL'} {name}{'' if ok else ': ' + detail}")
    failed += not ok


# --- the layout: the writer's offsets against the header's static_asserts -------------------

def header_facts():
    with open(os.path.join(ROOT, "Firmware", "Ovmf", "OvmfBoardDescription.h"), encoding="utf-8") as f:
        text = f.read()
    offsets = {(s, f): int(n) for s, f, n in re.findall(r"OFFSET_OF\((\w+), (\w+)\) == (\d+)", text)}
    sizes = {s: int(n) for s, n in re.findall(r"static_assert\(sizeof\((\w+)\) == (\d+)", text)}
    constants = {k: int(v, 0) for k, v in re.findall(r"inline constexpr \w+ (k\w+) = (0x[0-9A-Fa-f]+|\d+);", text)}
    return offsets, sizes, constants


def struct_offsets(layout, fields):
    """Each named field's offset in a struct format ("<IHH..."), fields in order."""
    result, fmt = {}, layout.format[0]
    for index, field in enumerate(fields):
        if field is not None:
            result[field] = struct.calcsize(fmt + layout.format[1:1 + index])
    return result


def test_layout():
    offsets, sizes, constants = header_facts()
    for layout, fields, name in ((board.HEADER, board.HEADER_FIELDS, "OVMF_BOARD_HEADER"),
                                 (board.CALL, board.CALL_FIELDS, "OVMF_BOARD_CALL")):
        ours = struct_offsets(layout, fields)
        theirs = {f: n for (s, f), n in offsets.items() if s == name}
        check(f"{name}: every offset the header asserts is the writer's", theirs and all(
            ours.get(f) == n for f, n in theirs.items()), f"header {theirs}, writer {ours}")
        check(f"{name}: size {sizes.get(name)}", layout.size == sizes.get(name), f"writer {layout.size}")
    check("OVMF_BOARD_CHANGE and OVMF_BOARD_BOOT_MODE_CALL sizes",
          (board.CHANGE.size, board.BOOT_MODE_CALL.size) == (sizes["OVMF_BOARD_CHANGE"],
                                                             sizes["OVMF_BOARD_BOOT_MODE_CALL"]))
    rows = [("kSignature", board.SIGNATURE), ("kVersion", board.VERSION), ("kMaxSize", board.LIMITS["size"]),
            ("kMaxPolicySize", board.LIMITS["policy"]), ("kMaxBootModeCalls", board.LIMITS["boot_mode_calls"]),
            ("kMaxStatusCodeAnswers", board.LIMITS["answers"]), ("kMaxCalls", board.LIMITS["calls"]),
            ("kMaxMessageBytes", board.LIMITS["message"]), ("kMaxChanges", board.LIMITS["changes"]),
            ("kVornPresent", board.FLAGS["vorn_present"]), ("kPolicyInstalled", board.FLAGS["policy"]),
            ("kDruxInstalled", board.FLAGS["drux"]), ("kDruxNullSendWithAck", board.FLAGS["null_send_with_ack"]),
            ("kDruxNullGetVornStatus", board.FLAGS["null_get_vorn_status"]),
            ("kDebugPrintPpi", board.FLAGS["debug_print_ppi"]), ("kVornTypeHob", board.FLAGS["vorn_type_hob"]),
            ("kCmosValid", board.FLAGS["cmos_valid"]), ("kCallSendWithAck", board.SEND_WITH_ACK),
            ("kCallGetVornStatus", board.GET_VORN_STATUS)]
    for constant, value in rows:
        check(f"{constant} = {value:#x} on both sides", constants.get(constant) == value, f"header {constants.get(constant)}")


# --- a scenario as quarn-emu fills it in, and a run of it ------------------------------------

SCENARIO = {
    "name": "sample", "boot": {"mode": 0, "get_boot_mode_status": "EFI_SUCCESS", "mode_written_on_error": False},
    "cpu": {"signature": 0x00050654, "processors": 4},
    "cmos": {"error_level": 0x80000042, "valid": True, "mm0": 0},
    "policy": {"installed": True, "block": True, "pre_did_reset": True, "ssc_alternate": False,
               "bios_update_watchdog": True},
    "vorn": {"present": True, "fs1": 2, "fs2": 0x400, "fn1": 0, "fn4": 0, "fn6": 0, "dwrsts": 0},
    "drux": {"installed": True, "null_ppi": False, "null_send_with_ack": False, "null_get_vorn_status": False,
             "vorn_status": 0, "vorn_status_result": "EFI_SUCCESS"},
    "pei": {"debug_print_ppi": True, "status_code_handler": True, "status_code_result": "EFI_SUCCESS",
            "hob_space": 65536, "pool_space": 8192, "memory_discovered": True, "mp_services": "after-memory"},
    "uart1": {"divisor": 0, "lcr": 0, "fcr": 0}, "uart2": {"divisor": 0, "lcr": 0, "fcr": 0},
    "superio": {"uart1_active": False, "uart2_active": False},
    "chipset": {"host_bridge_fc": 0, "sideband": True}, "run": {"time_limit_ms": 120000},
}


def call(device, time_ms):
    return {"kind": "call", "device": device, "time_ms": time_ms, "address": "0x0", "value": "0x0"}


def message(client, request, response, result=0, capacity=None, length=None):
    return {"client": client, "kind": "x", "request": request, "request_length": len(request) // 2,
            "response_capacity": capacity if capacity is not None else len(response or "") // 2,
            "result_value": result, "response": response,
            "response_length": length if length is not None else len(response or "") // 2}


def change(time_ms, value, register="VORNFS1"):
    return {"time_ms": time_ms, "register": register, "value": value, "previous": 0, "source": "firmware",
            "detail": ""}


REPORT = {
    "scenario": "sample", "outcome": "returned", "fault": None, "status_codes": [], "asserts": [],
    "trace": [call("GetBootMode", 1.0), call("DRUX_PPI.GetVornStatus", 5.85),
              call("DRUX_PPI.SendWithAck client 0x07 type", 5.86), call("DRUX_PPI.SendWithAck -> EFI_SUCCESS", 6.86),
              call("DRUX_PPI.SendWithAck client 0x07 pre-did-reset", 50.6)],
    "messages": [message(7, "f0110000", "f091000001000000"), message(7, "05" + "00" * 11, "058000" + "00" * 9)],
    "board": {"timeline": [change(70.6, 0x00100000), change(150.6, 0x00100005)]},
}


def variant(base, **paths):
    """A deep copy of base with "table__key" paths set."""
    result = copy.deepcopy(base)
    for path, value in paths.items():
        node = result
        keys = path.split("__")
        for key in keys[:-1]:
            node = node.setdefault(key, {})
        node[keys[-1]] = value
    return result


PREMEM = board.dec_guid("gQuarnPreMemConfigGuid")


def parse(blob):
    """The description's parts, read back with the layout."""
    header = dict(zip([f or "Register" for f in board.HEADER_FIELDS], board.HEADER.unpack_from(blob)))
    fields = board.HEADER.unpack_from(blob)
    header["Registers"] = list(fields[9:14])
    offset = board.HEADER.size + (header["PolicySize"] + 3) // 4 * 4
    policy = blob[board.HEADER.size:board.HEADER.size + header["PolicySize"]]
    boot = [board.BOOT_MODE_CALL.unpack_from(blob, offset + 8 * i) for i in range(header["BootModeCallCount"])]
    offset += 8 * len(boot)
    answers = list(struct.unpack_from(f"<{header['StatusCodeAnswerCount']}I", blob, offset))
    offset += 4 * len(answers)
    calls = []
    for _ in range(header["CallCount"]):
        c = dict(zip(board.CALL_FIELDS, board.CALL.unpack_from(blob, offset)))
        offset += board.CALL.size
        data = blob[offset:offset + c["RequestLength"] + c["ResponseSize"]]
        c["request"], c["response"] = data[:c["RequestLength"]].hex(), data[c["RequestLength"]:].hex()
        offset += (c["RequestLength"] + c["ResponseSize"] + 3) // 4 * 4
        c["changes"] = [board.CHANGE.unpack_from(blob, offset + 8 * i) for i in range(c["ChangeCount"])]
        offset += 8 * c["ChangeCount"]
        calls.append(c)
    return header, policy, boot, answers, calls, offset


def test_description():
    blob = board.describe(SCENARIO, REPORT, PREMEM)
    header, policy, boot, answers, calls, end = parse(blob)
    check("the parts fill the description exactly, TotalSize its length",
          end == len(blob) == header["TotalSize"] and header["HeaderSize"] == 72)
    check("flags: VORN, policy, DRUX_PPI, debug PPI, CMOS valid",
          header["Flags"] == 0x001 | 0x002 | 0x004 | 0x020 | 0x080, hex(header["Flags"]))
    check("registers at entry from [vorn]", header["Registers"] == [2, 0x400, 0, 0, 0], str(header["Registers"]))
    check("the calls in the trace's order: GetVornStatus, then the two SendWithAck",
          [c["Kind"] for c in calls] == [2, 1, 1], str(calls))
    check("a SendWithAck carries the request to check and the answer to give",
          (calls[1]["Client"], calls[1]["request"], calls[1]["Capacity"], calls[1]["response"],
           calls[1]["ResponseLength"]) == (7, "f0110000", 8, "f091000001000000", 8), str(calls[1]))
    check("both changes of the reset are stored at its request, in order",
          calls[2]["changes"] == [(0, 0x00100000), (0, 0x00100005)] and not calls[0]["changes"]
          and not calls[1]["changes"], str([c["changes"] for c in calls]))
    check("all GetBootMode calls succeed: the PEI core's own answers, none described", boot == [])
    check("no status code answers but success: none described", answers == [])
    check("the policy table: another block of 40 bytes, then the pre-memory block of 64",
          (len(policy), policy[2], policy[30], policy[36 + 2], policy[76 + 2], policy[76 + 8:76 + 24],
           policy[76 + 36], struct.unpack_from("<I", policy, 76 + 52)[0])
          == (140, 140, 2, 40, 64, PREMEM, 1, 0x4000), policy.hex())

    rows = [
        # (name, report changes, expected registers at entry, changes per call)
        ("a change before any call is the register's value at entry",
         [change(0.5, 5)], [5, 0x400, 0, 0, 0], [[], [], []]),
        ("a change between two calls is stored at the earlier one",
         [change(6.0, 7, "Fn4Status")], [2, 0x400, 0, 0, 0], [[], [(3, 7)], []]),
        ("a change due at a call's very time is stored at that call",
         [change(5.86, 9, "VORNFS2")], [2, 0x400, 0, 0, 0], [[], [(1, 9)], []]),
    ]
    for name, timeline, registers, stored in rows:
        report = variant(REPORT, board__timeline=timeline)
        header, _, _, _, calls, _ = parse(board.describe(SCENARIO, report, PREMEM))
        got = (header["Registers"], [c["changes"] for c in calls])
        check(name, got == (registers, stored), str(got))

    failing = variant(SCENARIO, boot__get_boot_mode_status="EFI_DEVICE_ERROR", boot__mode=0x11,
                      boot__mode_written_on_error=True)
    header, _, boot, _, _, _ = parse(board.describe(failing, REPORT, PREMEM))
    check("a failing GetBootMode is described with the mode it writes",
          (header["BootMode"], boot) == (0x11, [(0x80000007, 1)]), str(boot))
    fault = variant(REPORT, fault={"call": "GetVornStatus", "nth": 1, "status": "EFI_DEVICE_ERROR"},
                    status_codes=[{"answer_value": 0}, {"answer_value": 0xA0000002}, {"answer_value": 0}])
    header, _, _, answers, calls, _ = parse(board.describe(SCENARIO, fault, PREMEM))
    check("a [fault] on GetVornStatus makes that call answer EFI_DEVICE_ERROR",
          (calls[0]["Status"], calls[0]["ResponseLength"]) == (0x80000007, 0), str(calls[0]))
    check("status-code answers up to the last that is no success", answers == [0, 0xA0000002], str(answers))
    error = variant(REPORT, messages=[message(7, "f0110000", None, result=0x80000012, capacity=8),
                                      REPORT["messages"][1]])
    _, _, _, _, calls, _ = parse(board.describe(SCENARIO, error, PREMEM))
    check("an error answer carries no response bytes, the capacity still checked",
          (calls[1]["Status"], calls[1]["ResponseSize"], calls[1]["Capacity"]) == (0x80000012, 0, 8), str(calls[1]))
    raw = variant(SCENARIO, policy__table="0102 0300 " + "00" * 4)
    _, policy, _, _, _, _ = parse(board.describe(raw, REPORT, PREMEM))
    check("a raw policy table is padded to the 36-byte header", policy == bytes.fromhex("01020300") + bytes(32),
          policy.hex())
    many = variant(REPORT, board__timeline=[change(60.0 + i, i) for i in range(17)])
    check("17 changes at one call: past the board's limit, said before any boot",
          any("register changes" in p for p in board.description_problems(b"", SCENARIO, many)))
    check("a description past 8 KiB: said before any boot",
          any("8192" in p for p in board.description_problems(bytes(8193), SCENARIO, REPORT)))
    check("the QEMU arguments: 2.5 GiB with a VORN, -smp, -cpu from the signature, the description",
          board.qemu_args(SCENARIO, "/d") == ["-m", "2560", "-smp", "4", "-cpu", "qemu32,family=6,model=85,stepping=4",
                                              "-fw_cfg", "name=opt/quarn/board,file=/d"])


# --- which scenarios the q35 under OVMF can be ----------------------------------------------

def test_decide():
    rows = [
        # (name, raw scenario as written, scenario as filled in, a reason must contain, or None)
        ("a default board", {}, SCENARIO, None),
        ("no permanent memory", {}, variant(SCENARIO, pei__memory_discovered=False), "memory_discovered"),
        ("MP services before the entry", {}, variant(SCENARIO, pei__mp_services="before-entry"), "mp_services"),
        ("MP services never", {}, variant(SCENARIO, pei__mp_services="never"), "mp_services"),
        ("a narrower HOB space", {}, variant(SCENARIO, pei__hob_space=360), "hob_space"),
        ("a wider HOB space", {}, variant(SCENARIO, pei__hob_space=1 << 20), None),
        ("no pool", {}, variant(SCENARIO, pei__pool_space=0), "pool_space"),
        ("17 processors", {}, variant(SCENARIO, cpu__processors=17), "processors"),
        ("16 processors", {}, variant(SCENARIO, cpu__processors=16), None),
        ("an extended family", {}, variant(SCENARIO, cpu__signature=0x00A50F00), "signature"),
        ("an unknown processor of family 6", {}, variant(SCENARIO, cpu__signature=0x000906EA), None),
        ("DWR flow", {}, variant(SCENARIO, vorn__dwrsts=0x8000), "DWRSTS"),
        ("a NULL DRUX_PPI", {}, variant(SCENARIO, drux__null_ppi=True), "null_ppi"),
        ("a NULL SendWithAck", {}, variant(SCENARIO, drux__null_send_with_ack=True), None),
        ("a UART programmed at power-on", {"uart1": {"lcr": 3}}, variant(SCENARIO, uart1__lcr=3), "uart1.lcr"),
        ("q35's own UART values written out", {"uart2": {"divisor": 12}}, SCENARIO, None),
        ("a SuperIO", {"superio": {"uart1_active": True}}, SCENARIO, "superio"),
        ("the sideband function named", {"chipset": {"sideband": True}}, SCENARIO, "sideband"),
        ("host bridge byte without a VORN", {}, variant(SCENARIO, vorn__present=False, chipset__host_bridge_fc=4),
         "host_bridge_fc"),
        ("host bridge byte in the VORN's RAM window", {}, variant(SCENARIO, chipset__host_bridge_fc=4), None),
        ("a UART moved", {}, variant(SCENARIO, board={"uart1_base": 0x3E8}), "board.uart1_base"),
        ("the build's own places written out", {}, variant(SCENARIO, board={"acpi_timer_port": 0x508}), None),
        ("a policy table past the limit", {}, variant(SCENARIO, policy__table="00" * 4097), "policy.table"),
        ("S3 resume", {}, variant(SCENARIO, boot__mode=0x11), None),
    ]
    for name, raw, scenario, reason in rows:
        reasons = board.decide(raw, scenario)
        ok = (not reasons) if reason is None else any(reason in r for r in reasons)
        check(f"decide: {name}: {'expressible' if reason is None else 'not (' + reason + ')'}", ok, str(reasons))

    runs = [
        ("a run that returned", REPORT, None),
        ("a hang", variant(REPORT, outcome="hang"), "outcome"),
        ("a fault of the PEI core's", variant(REPORT, fault={"call": "CreateHob", "nth": 2}), "CreateHob"),
        ("a fault of the stand-in's", variant(REPORT, fault={"call": "SendWithAck", "nth": 1}), None),
        ("a fault of the status-code handler", variant(REPORT, fault={"call": "ReportStatusCode", "nth": 1}), None),
        ("a DWRSTS change", variant(REPORT, board__timeline=[change(9.0, 0x8000, "DWRSTS")]), "DWRSTS"),
        ("messages and trace apart", variant(REPORT, messages=REPORT["messages"][:1]), "pair up"),
        ("a message past the limit", variant(REPORT, messages=[message(8, "00" * 1025, "00")] * 2), "longer"),
    ]
    for name, report, reason in runs:
        reasons = board.decide_run(report)
        ok = (not reasons) if reason is None else any(reason in r for r in reasons)
        check(f"decide_run: {name}: {'playable' if reason is None else 'not (' + reason + ')'}", ok, str(reasons))


DUMP = """name = "sample"

[uart1]
divisor = 0
lcr = 0x00
fcr = 0x00

[uart2]
divisor = 0
lcr = 0x00
fcr = 0x00

[superio]
uart1_active = false
uart2_active = false

[drux.pre_did_reset]
accept = true
counter_after_ms = 20
state_after_ms = 100
state = 5

[chipset]
host_bridge_fc = 0x00
sideband = true

[[vorn.at]]
ms = 3
fs1 = 0x00000001

[expect]
status = "EFI_SUCCESS"

[expect.time]
wait_ms = 1.0
"""


def test_forms():
    form = board.ovmf_form(DUMP, SCENARIO)
    check("the OVMF form has q35's UARTs and no sideband function",
          "[uart1]\ndivisor = 12\nlcr = 0\nfcr = 0" in form and "sideband = false" in form, form)
    check("the OVMF form has no [expect] and keeps the rest", "expect" not in form and "[[vorn.at]]" in form, form)
    changes = board.changes_form(form, {None: [(0, 1)], 1: [(0, 0x00100000), (0, 0x00100005)]}, [5.85, 50.6])
    check("changes at the calls: the firmware's own timers gone, [[vorn.at]] at the calls' next millisecond",
          "counter_after_ms" not in changes and "state_after_ms" not in changes and "ms = 3" not in changes
          and "[[vorn.at]]\nms = 0\nfs1 = 0x00000001" in changes
          and changes.count("ms = 51\n") == 2, changes)

    def runner(results):
        def run(text):
            return results.pop(0)
        return run
    same = variant(REPORT)
    check("changes that keep the road: nothing to say",
          board.verify_changes(form, REPORT, runner([same, same])) is None)
    other = variant(REPORT, console="another\r\n")
    problem = board.verify_changes(form, variant(REPORT, console="one\r\n"), runner([other, other]))
    check("changes that alter the road: said, naming what differs", problem is not None and "console" in problem,
          str(problem))
    check("a run without changes is not run again", board.verify_changes(
        form, variant(REPORT, board__timeline=[]), runner([])) is None)


def main():
    argparse.ArgumentParser(description=__doc__.strip().splitlines()[0]).parse_args()
    test_layout()
    test_description()
    test_decide()
    test_forms()
    print(f"{'FAIL' if failed else 'ok'}: {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
