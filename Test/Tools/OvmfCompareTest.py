#!/usr/bin/env python3
"""The OVMF comparison's masks: the pointer lines' addresses always; with --edk2-asserts
an assertion line's folder, extension and description, and nothing else of it. And how
it reads the board's report: the debug messages' hash masks the same addresses and
nothing else, OVMF's console must follow the module's, each SendWithAck the board
logged is held against the emulator's messages.

    OvmfCompareTest.py
"""
import argparse
import importlib.util
import os
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
spec = importlib.util.spec_from_file_location(
    "ovmf_compare", os.path.join(HERE, "..", "..", "Firmware", "Ovmf", "ovmf-compare.py"))
compare = importlib.util.module_from_spec(spec)
spec.loader.exec_module(compare)

OURS = "ASSERT [QuarnPeiPreMem] Pei/QuarnPeiPreMem/Watchdog(34): !EFI_ERROR (Status)\r\n"
EDK2 = ("ASSERT [QuarnPeiPreMem] QuarnPkg/Pei/QuarnPeiPreMem/Watchdog.cpp(34): "
        "!(((INTN)(RETURN_STATUS)(Status)) < 0)\r\n")
CASES = [
    # (name, first console, second console, edk2_asserts, equal after the masks)
    ("our file name and description against the framework build's", OURS, EDK2, True, True),
    ("the same without the EDK II masks", OURS, EDK2, False, False),
    ("another line", OURS, EDK2.replace("(34)", "(35)"), True, False),
    ("another file", OURS, EDK2.replace("Watchdog.cpp", "PreDidReset.cpp"), True, False),
    ("another module", OURS, EDK2.replace("[QuarnPeiPreMem]", "[Other]"), True, False),
    ("the text around it", "a\r\n" + OURS, "b\r\n" + EDK2, True, False),
    ("pointer addresses", "Sync MM7: 7C040250\r\n", "Sync MM7: 3AF90BD8\r\n", False, True),
    ("pointer line kind", "Sync MM7: 7C040250\r\n", "Reload MM7 with new pointer: 3AF90BD8\r\n", False, False),
]


SYNC = "Sync MM7: 7C040250\n"
HASHES = [
    # (name, messages, other messages, equal hashes)
    ("the pointer lines' addresses", [SYNC, "Reload MM7 with new pointer: 840250 => 7C040250\n"],
     ["Sync MM7: 3AF90BD8\n", "Reload MM7 with new pointer: 810BD8 => 9AF90BD8\n"], True),
    ("a digit of another line", ["Wait for VORN state reaches VORN State = 5\n"],
     ["Wait for VORN state reaches VORN State = 2\n"], False),
    ("the pointer line's text", [SYNC], ["Sync MM7 : 7C040250\n"], False),
    ("the migration type", ["Migration pointer type 9: 850200 => 7C050200\n"],
     ["Migration pointer type 8: 850200 => 7C050200\n"], False),
    ("one message or two", ["ab"], ["a", "b"], False),
]
FOLLOWS = [("nothing", "", True), ("OVMF's terminal", "\x1b[2J\x1b[01;01H", True),
           ("a module line more", "[QUARN][PreMem] ERROR\r\n", False)]
MESSAGE = {"client": 7, "request": "f0110000", "response_capacity": 8, "result_value": 0,
           "response": "f091000001000000", "response_length": 8}
LOGGED = ("board: drux call 0 SendWithAck client 0x00000007 request F0110000 capacity 8\r\n"
          "board: drux call 0 answered 0x00000000 response F091000001000000 length 8\r\n")
REPORTS = [
    # (name, com2, a mismatch must name, or None)
    ("the call as the emulator made it", LOGGED, None),
    ("another capacity", LOGGED.replace("capacity 8", "capacity 12"), "SendWithAck calls"),
    ("another response", LOGGED.replace("length 8", "length 4"), "SendWithAck calls"),
    ("a call the emulator did not make", LOGGED + LOGGED.replace("call 0", "call 1"), "SendWithAck calls"),
    ("the board's own error", LOGGED + "board: error: the request differs\r\n", "the request differs"),
]


def board_rows():
    failed = 0
    for name, first, second, equal in HASHES:
        ok = (compare.fnv1a(first) == compare.fnv1a(second)) == equal
        print(f"{'ok  ' if ok else 'FAIL'} debug hash, {name}: {'equal' if equal else 'differs'}")
        failed += not ok
    ok = compare.fnv1a([]) == 0x811C9DC5
    print(f"{'ok  ' if ok else 'FAIL'} debug hash of no message: the board's starting value")
    failed += not ok
    for name, rest, follows in FOLLOWS:
        ok = compare.ovmf_follows(rest) == follows
        print(f"{'ok  ' if ok else 'FAIL'} after the module's console, {name}: {'OVMF' if follows else 'not OVMF'}")
        failed += not ok
    report = {"scenario": "t", "messages": [MESSAGE], "asserts": [], "debug_ppi": []}
    for name, com2, named in REPORTS:
        com2 += "board: drux calls made 0x00000001\r\nboard: drux calls described 0x00000001\r\n"
        found = compare.board_mismatches(com2, report, compare.board_values(com2) | {"breakpoints": 0,
                                         "debug PPI messages": 0, "debug PPI hash": 0x811C9DC5})
        ok = (not found) if named is None else any(named in f for f in found)
        print(f"{'ok  ' if ok else 'FAIL'} board report, {name}: {found or 'agrees'}")
        failed += not ok
    return failed


def main():
    argparse.ArgumentParser(description=__doc__.strip().splitlines()[0]).parse_args()
    failed = board_rows()
    for name, first, second, edk2, equal in CASES:
        a, _ = compare.normalised(first, edk2)
        b, _ = compare.normalised(second, edk2)
        ok = (a == b) == equal
        print(f"{'ok  ' if ok else 'FAIL'} {name}: {a!r} {'==' if a == b else '!='} {b!r}")
        failed += not ok
    masked, _ = compare.normalised(EDK2, True)
    if masked != "ASSERT [QuarnPeiPreMem] Watchdog(34): <description>\r\n":
        print(f"FAIL the masked form: {masked!r}")
        failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
