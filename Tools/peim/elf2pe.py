#!/usr/bin/env python3
"""Turns the module's freestanding ELF (linked with -q) into a PE32 image with base relocations.

    elf2pe.py MODULE.elf OUT.efi
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pecoff  # noqa: E402 (a module of this folder: after sys.path names it)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("elf", help="the module's ELF image, linked with its relocations kept")
    parser.add_argument("out", help="the PE32 image to write")
    args = parser.parse_args(argv[1:])
    argv = [argv[0], args.elf, args.out]
    try:
        with open(argv[1], "rb") as f:
            image = pecoff.elf_to_pe(f.read())
    except (OSError, pecoff.ImageError) as e:
        print(f"elf2pe: {e}", file=sys.stderr)
        return 1
    with open(argv[2], "wb") as f:
        f.write(image)
    pe = pecoff.PeImage(image)
    print(f"elf2pe: {argv[2]}: {len(image)} bytes, entry {pe.entry:#x}, {len(pe.fixups())} base relocations")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
