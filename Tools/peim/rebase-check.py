#!/usr/bin/env python3
"""Proves the base relocations of a PE32 module: the image rebased to an address must hold,
section for section, exactly the bytes of the same module linked by the linker at that
address. Any absolute address the relocation table missed (or fixed wrongly) shows up as a
differing word.

    rebase-check.py IMAGE.efi ELF_AT_BASE_A ELF_AT_BASE_B ...
Each ELF is the module linked with its first section at (its image base + the PE header size).
"""
import argparse
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import pecoff  # noqa: E402 (a module of this folder: after sys.path names it)


def compare(pe, elf_path):
    """Rebases PE to the ELF's base; returns the list of differences (empty when equal)."""
    with open(elf_path, "rb") as f:
        elf = pecoff.Elf32(f.read())
    loaded = sorted((s for s in elf.sections if s["flags"] & pecoff.SHF_ALLOC and s["size"]),
                    key=lambda s: s["addr"])
    base = loaded[0]["addr"] - pecoff.HEADERS_SIZE
    image = pecoff.PeImage(pe.rebased(base))
    problems = []
    if image.entry + base != elf.entry:
        problems.append(f"entry {image.entry + base:#x} != {elf.entry:#x}")
    for s in loaded:
        name = ".text" if s["flags"] & pecoff.SHF_EXECINSTR else (".data" if s["flags"] & pecoff.SHF_WRITE else ".rdata")
        mine = image.loaded(name)
        theirs = elf.body(s)
        if len(mine) != len(theirs):
            problems.append(f"{s['name']}: {len(mine)} bytes, linker made {len(theirs)}")
            continue
        for off in range(0, len(mine), 4):
            if mine[off:off + 4] != theirs[off:off + 4]:
                a = mine[off:off + 4].ljust(4, b"\0")
                b = theirs[off:off + 4].ljust(4, b"\0")
                problems.append(f"{s['name']}+{off:#x} (address {s['addr'] + off:#x}): "
                                f"{struct.unpack('<I', a)[0]:#010x} != {struct.unpack('<I', b)[0]:#010x}")
    return base, problems


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("image", metavar="IMAGE.efi")
    parser.add_argument("elves", nargs="+", metavar="ELF_AT_BASE", help="the module linked at another base")
    args = parser.parse_args(argv[1:])
    argv = [argv[0], args.image] + args.elves
    with open(argv[1], "rb") as f:
        pe = pecoff.PeImage(f.read())
    failed = False
    for path in argv[2:]:
        base, problems = compare(pe, path)
        if problems:
            failed = True
            print(f"rebase check at {base:#010x}: FAIL, {len(problems)} differences")
            for p in problems[:20]:
                print("  " + p)
        else:
            print(f"rebase check at {base:#010x}: {len(pe.fixups())} fixups, image identical to the linker's")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
