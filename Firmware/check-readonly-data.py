#!/usr/bin/env python3
"""Proves that nothing writes the writable data of an image executed in place.

The framework's build declares every GUID a module names, and the module's name, as
writable objects (EFI_GUID gX = {...}); its images, and ours, which follow the same
convention, carry them in a writable .data section that sits in flash. Such a section is
allowed only where no instruction stores into it and where every object in it is listed,
with why it is only ever read, in readonly-data.txt beside this script.

The image is an ELF32 file linked with its relocations kept (--emit-relocs, or -q as the
framework links): every absolute address in its code and data is a relocation, so every
reference to .data is known. Each is one of:
  - a memory operand of an instruction: a read, unless the operand is the instruction's
    destination (the last operand of a writing instruction, or the one operand of inc,
    dec, not, neg, pop, set..): a store, and the image fails;
  - an immediate (the object's address taken, "push $gX", "mov $gX, %eax") or a word of
    data (an address in a table): the address goes elsewhere, and the listed reason says
    where and why it is only read there.

    check-readonly-data.py IMAGE [LIST]
Prints each object and each reference; exit status 1 when something stores into .data,
when an object of .data is not listed, or when .data holds bytes no object accounts for.
"""
import argparse
import os
import re
import struct
import subprocess
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "Tools", "peim"))
import pecoff  # noqa: E402 (a module of this folder: after sys.path names it)

R_386_32 = 1
STT_OBJECT, STT_SECTION = 1, 3
# Mnemonic stems whose operands are only read (the rest write their last operand).
READ_ONLY = re.compile(r"^(cmp|test|push|bt[lwq]?$|bt\b|call|jmp|j[a-z]+$|lea)")
# One-operand instructions that write their operand.
WRITES_SOLE_OPERAND = re.compile(r"^(inc|dec|not|neg|pop|set[a-z]+)")


def load_list(path):
    """Symbol -> reason of the list file (lines "SYMBOL  reason"; # starts a comment)."""
    listed = {}
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            name, _, reason = line.partition(" ")
            if not reason.strip():
                raise SystemExit(f"{path}:{number}: {name} is listed without a reason")
            listed[name] = reason.strip()
    return listed


def named_symbols(elf):
    """(name, value, size, type, section index) of every symbol of the image."""
    table = next(s for s in elf.sections if s["type"] == pecoff.SHT_SYMTAB)
    strings = elf.sections[table["link"]]
    out = []
    for name_off, value, size, info, _, shndx in elf.symbols():
        end = elf.data.index(b"\0", strings["offset"] + name_off)
        out.append((elf.data[strings["offset"] + name_off:end].decode(), value, size, info & 0xF, shndx))
    return out


def instructions(image, section):
    """(address, length, mnemonic, operands) of every instruction of SECTION."""
    text = subprocess.run(["objdump", "-d", "-w", "--insn-width=16", "-j", section["name"], image],
                          capture_output=True, text=True, check=True).stdout
    out = []
    for line in text.splitlines():
        m = re.match(r"^\s*([0-9a-f]+):\t((?:[0-9a-f]{2} )+)\s*\t?(.*)$", line)
        if not m:
            continue
        words = m.group(3).split(None, 1)
        if not words:
            continue
        mnemonic = words[0]
        if mnemonic in ("lock", "rep", "repz", "repnz", "data16", "addr32") and len(words) > 1:
            words = words[1].split(None, 1)
            mnemonic = words[0]
        out.append((int(m.group(1), 16), len(m.group(2).split()), mnemonic, words[1] if len(words) > 1 else ""))
    return out


def split_operands(operands):
    """AT&T operands, split at the commas outside parentheses."""
    parts, depth, current = [], 0, ""
    for ch in operands.split("#")[0].strip():
        if ch == "(":
            depth += 1
        elif ch == ")":
            depth -= 1
        if ch == "," and depth == 0:
            parts.append(current.strip())
            current = ""
        else:
            current += ch
    if current.strip():
        parts.append(current.strip())
    return parts


def classify(mnemonic, operands, target):
    """"read", "write" or "address" for an instruction that holds TARGET (an address in .data)."""
    parts = split_operands(operands)
    address = re.compile(r"(?<![0-9a-fx])0x0*%x(?![0-9a-f])" % target)
    for index, part in enumerate(parts):
        if not address.search(part.lower()):
            continue
        if part.startswith("$"):
            return "address"
        last = index == len(parts) - 1
        if len(parts) == 1:
            return "write" if WRITES_SOLE_OPERAND.match(mnemonic) else "read"
        if last and not READ_ONLY.match(mnemonic):
            return "write"
        if mnemonic.startswith(("xchg", "xadd", "cmpxchg")):
            return "write"
        return "read"
    return "address"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0])
    parser.add_argument("image", help="the ELF image, linked with its relocations kept")
    parser.add_argument("list", nargs="?", default=os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                                "readonly-data.txt"),
                        help="the objects allowed in .data, each with why it is only read")
    args = parser.parse_args(argv)
    with open(args.image, "rb") as f:
        elf = pecoff.Elf32(f.read())
    writable = [s for s in elf.sections if s["flags"] & pecoff.SHF_ALLOC and s["flags"] & pecoff.SHF_WRITE
                and s["size"] > 0]
    if not writable:
        print("read-only data: no writable section")
        return 0
    listed = load_list(args.list)
    symbols = named_symbols(elf)
    fail = 0
    for data in writable:
        if data["name"] != ".data" or data["type"] == pecoff.SHT_NOBITS:
            print(f"FAIL: writable section {data['name']} (only .data, holding listed objects, is allowed)")
            fail = 1
            continue
        start, end = data["addr"], data["addr"] + data["size"]
        objects = sorted({(value, size, name) for name, value, size, stype, shndx in symbols
                          if shndx == data["index"] and stype == STT_OBJECT and size > 0})
        covered = 0
        for value, size, name in objects:
            covered += size
            if name in listed:
                print(f"  .data {name} ({size} bytes): {listed[name]}")
            else:
                print(f"FAIL: {name} ({size} bytes) is in .data but not in {os.path.basename(args.list)}")
                fail = 1
        padding = data["size"] - covered
        body = elf.body(data)
        for value, size, _ in objects:
            body = body[:value - start] + b"\0" * size + body[value - start + size:]
        if any(body):
            print(f"FAIL: .data holds {data['size'] - covered} bytes that no object accounts for, not all zero")
            fail = 1
        elif padding:
            print(f"  .data {padding} bytes of alignment")

        def owner(address):
            return next((n for v, s, n in objects if v <= address < v + s), f"{address:#x}")

        for section in elf.sections:
            if not section["flags"] & pecoff.SHF_ALLOC or section["size"] == 0:
                continue
            code = bool(section["flags"] & pecoff.SHF_EXECINSTR)
            decoded = instructions(args.image, section) if code else []
            for offset, rtype, _ in elf.relocations(section):
                if rtype != R_386_32:
                    continue
                word, = struct.unpack_from("<I", elf.body(section), offset - section["addr"])
                if not start <= word < end:
                    continue
                name = owner(word)
                if not code:
                    print(f"  {name}: its address in {section['name']} at {offset:#x}")
                    continue
                insn = next((i for i in decoded if i[0] <= offset < i[0] + i[1]), None)
                if insn is None:
                    print(f"FAIL: a reference to {name} at {offset:#x} lies in no instruction")
                    fail = 1
                    continue
                kind = classify(insn[2], insn[3], word)
                text = f"{insn[0]:#x}: {insn[2]} {insn[3]}".strip()
                if kind == "write":
                    print(f"FAIL: {text} stores into {name}")
                    fail = 1
                else:
                    print(f"  {name}: {'read' if kind == 'read' else 'address taken'} at {text}")
    print("read-only data: PASS" if fail == 0 else "read-only data: FAIL")
    return fail


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
