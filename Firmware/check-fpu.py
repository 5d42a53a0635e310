#!/usr/bin/env python3
"""Finds the x87, MMX and SSE instructions of an image executed before memory exists.

Nothing saves or restores that state before memory: the only such instructions allowed
are the moves between MM0/MM7 and memory (the debug level and the pointer table live
there) and EMMS.

    check-fpu.py IMAGE

IMAGE is an ELF32 image or the PE32 form of one. In an ELF image only its routines
(image_code.py: the compiler's functions and the assembly routines) are read as
instructions: a linker script that puts constant data into .text (the framework's does)
would otherwise have strings decoded as code. A PE32 image has no symbols; its .text is
read whole (ours holds only code there). Prints each offending instruction with its
count; exit status 1 when there is one.
"""
import argparse
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import image_code  # noqa: E402 (a module of this folder: after sys.path names it)

TOUCHES_FPU = re.compile(r"%(mm[0-9]|xmm[0-9]+|ymm[0-9]+|st)|^(f[a-z0-9]+|emms|movq|movd|ldmxcsr|stmxcsr|fxsave|fxrstor)\b")
MEMORY = r"(-?0x[0-9a-f]+)?\(%[a-z]+\)"
ALLOWED = re.compile(rf"^(movq +(%mm[07],{MEMORY}|{MEMORY},%mm[07])|emms)\s*$")


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("image", help="an ELF32 image or its PE32 form")
    image = parser.parse_args(argv[1:]).image
    try:
        if image_code.is_pe(image):
            instructions = image_code.text_instructions(image)
        else:
            instructions = [i for r in image_code.routines(image) for i in r.instructions]
    except image_code.CodeError as error:
        print(f"FAIL: {error}")
        return 1
    bad = {}
    for _, text in instructions:
        if TOUCHES_FPU.search(text) and not ALLOWED.match(text):
            bad[text] = bad.get(text, 0) + 1
    if bad:
        print("FAIL: x87/SSE instructions:")
        for text, count in sorted(bad.items()):
            print(f"  {count:6d} {text}")
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
