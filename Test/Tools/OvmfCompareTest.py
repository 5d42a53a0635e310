#!/usr/bin/env python3
"""The OVMF comparison's masks: the pointer lines' addresses always; with --edk2-asserts
an assertion line's folder, extension and description, and nothing else of it.

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


def main():
    argparse.ArgumentParser(description=__doc__.strip().splitlines()[0]).parse_args()
    failed = 0
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
