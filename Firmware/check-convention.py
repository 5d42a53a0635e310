#!/usr/bin/env python3
"""Checks that every function of a firmware image that something outside the compiler's
view calls keeps the stack convention (EFIAPI), although the image passes the arguments
of its internal calls in registers (-mregparm=3).

Such a function is the image's entry point or one whose address the image holds: in a
table, a descriptor, or an argument to a PEI service (a notification, an AP procedure,
a PPI function). The image is linked with its relocations kept (--emit-relocs), so every
absolute address in code and read-only data is known exactly; one that is the start of a
function marks that function.

For each of them the check follows every path through the function's code and fails when
an instruction reads EAX, ECX or EDX before the path has written it: a function that
takes register arguments reads at least one of them as it arrives, one that takes its
arguments from the stack never does. (A jump that leaves the function, a tail call,
counts as reading all three, so that arguments passed on unchanged are seen too. In the
prologue (the pushes of registers, frame set-up and constant loads the function starts
with), a push of one of them only reserves a stack slot, as -Oz does instead of "sub $4, %esp"; it is not taken as a read.)

It also checks the other side: every function-pointer type declared under Include/ (and
MdeSubset/Include/, our copies of the framework's declarations) is
EFIAPI, so that each call the module makes through a table pushes its arguments.

    check-convention.py IMAGE [SOURCE_ROOT]
Prints one line per function checked; exit status 1 on a violation.
"""
import argparse
import os
import re
import struct
import subprocess
import sys

ARGUMENT_REGISTERS = ("eax", "ecx", "edx")
PARTS = {"al": "eax", "ah": "eax", "ax": "eax", "eax": "eax",
         "cl": "ecx", "ch": "ecx", "cx": "ecx", "ecx": "ecx",
         "dl": "edx", "dh": "edx", "dx": "edx", "edx": "edx"}
# Mnemonic stems whose last operand is written without being read.
WRITE_ONLY = re.compile(r"^(mov|movz|movs|lea|pop|set|in|rdtsc|cpuid)")
# Mnemonic stems that only read their operands.
READ_ONLY = re.compile(r"^(cmp|test|push|out|bt)")
# Two identical register operands of these give a value that does not depend on the register.
ZEROING = re.compile(r"^(xor|sub|sbb)")


def sections(data):
    """Section headers of an ELF32 file: name -> (type, address, offset, size, link, info)."""
    shoff, = struct.unpack_from("<I", data, 0x20)
    shentsize, shnum, shstrndx = struct.unpack_from("<HHH", data, 0x2E)
    headers = [struct.unpack_from("<IIIIIIIIII", data, shoff + i * shentsize) for i in range(shnum)]
    names = headers[shstrndx][4]

    def name(offset):
        end = data.index(b"\0", names + offset)
        return data[names + offset:end].decode()

    return [(name(h[0]), h[1], h[3], h[4], h[5], h[6], h[7]) for h in headers]


def reached_from_outside(data):
    """The entry point and every function whose address the image's code or data holds."""
    table = sections(data)
    entry, = struct.unpack_from("<I", data, 0x18)
    functions = {}
    for name, kind, address, offset, size, link, info in table:
        if kind == 2:  # SHT_SYMTAB
            strings = table[link][3]
            for index in range(size // 16):
                st_name, value, st_size, st_info, _, _ = struct.unpack_from("<IIIBBH", data, offset + index * 16)
                if st_info & 0xF == 2:  # STT_FUNC
                    end = data.index(b"\0", strings + st_name)
                    functions[value] = (data[strings + st_name:end].decode(), st_size)
    relocated = 0
    found = {entry}
    for name, kind, address, offset, size, link, info in table:
        if kind != 9:  # SHT_REL
            continue
        target = table[info]
        if target[0] not in (".text", ".rodata"):
            continue
        for index in range(size // 8):
            r_offset, r_info = struct.unpack_from("<II", data, offset + index * 8)
            if r_info & 0xFF != 1:  # R_386_32: an absolute address
                continue
            relocated += 1
            value, = struct.unpack_from("<I", data, target[3] + (r_offset - target[2]))
            if value in functions:
                found.add(value)
    return sorted((functions[a][0], a, functions[a][1]) for a in found if a in functions), relocated


def operands(text):
    """Operands of an AT&T instruction, split at commas outside parentheses."""
    parts, depth, current = [], 0, ""
    for character in text:
        if character == "(":
            depth += 1
        elif character == ")":
            depth -= 1
        if character == "," and depth == 0:
            parts.append(current)
            current = ""
        else:
            current += character
    if current:
        parts.append(current)
    return [p.strip() for p in parts]


def registers(operand):
    return {PARTS[r] for r in re.findall(r"%([a-z]+)", operand) if r in PARTS}


def effects(mnemonic, args):
    """(read, written) argument registers of one instruction."""
    stem = mnemonic.split()[-1]
    prefix = mnemonic.split()[0] if " " in mnemonic else ""
    read, written = set(), set()
    if stem.startswith("call"):
        return set(), set(ARGUMENT_REGISTERS)
    if stem in ("cltd", "cdq", "cwtl", "cwde"):
        return {"eax"}, {"edx"} if stem in ("cltd", "cdq") else {"eax"}
    if stem.startswith(("mul", "div", "idiv")) or (stem.startswith("imul") and len(args) == 1):
        read |= {"eax"} | ({"edx"} if stem.startswith(("div", "idiv")) else set())
        written |= {"eax", "edx"}
    if stem.startswith("cpuid"):
        return {"eax", "ecx"}, {"eax", "ecx", "edx"}
    if stem.startswith("rdtsc"):
        return set(), {"eax", "edx"}
    if stem.startswith(("stos", "movs", "lods", "scas", "cmps", "ins", "outs")):
        read |= set().union(*(registers(a) for a in args)) if args else set()
        if stem.startswith(("stos", "scas")):
            read.add("eax")
        if prefix.startswith("rep"):
            read.add("ecx")
            written.add("ecx")
        return read, written
    if stem in ("in", "inb", "inw", "inl"):
        source = args[0] if args else ""
        return registers(source), registers(args[-1]) if args else set()
    if not args:
        return read, written
    *sources, destination = args
    destination_is_register = destination.startswith("%")
    for source in sources:
        read |= registers(source)
    if ZEROING.match(stem) and len(args) == 2 and args[0] == args[1]:
        return set(), registers(destination)
    if stem.startswith("imul") and len(args) == 3:
        return read, registers(destination)
    if destination_is_register:
        if WRITE_ONLY.match(stem) and len(args) >= 2:
            written |= registers(destination)
        elif stem.startswith("pop"):
            written |= registers(destination)
        elif READ_ONLY.match(stem):
            read |= registers(destination)
        else:
            read |= registers(destination)
            written |= registers(destination)
    else:
        read |= registers(destination)  # the address of a memory operand
    return read, written


def disassemble(image, start, size):
    out = subprocess.run(["objdump", "-d", "--no-show-raw-insn", f"--start-address={start:#x}",
                          f"--stop-address={start + size:#x}", image],
                         capture_output=True, text=True, check=True).stdout
    code = []
    for line in out.splitlines():
        m = re.match(r"^\s*([0-9a-f]+):\s+(.*)$", line)
        if not m:
            continue
        text = re.sub(r"\s*<[^>]*>\s*$", "", m.group(2)).strip()
        if not text:
            continue
        words = text.split()
        if words[0] in ("rep", "repz", "repnz", "repe", "repne", "lock") and len(words) > 1:
            mnemonic = words[0] + " " + words[1]
            rest = " ".join(words[2:])
        else:
            mnemonic = words[0]
            rest = " ".join(words[1:])
        code.append((int(m.group(1), 16), mnemonic, operands(rest) if rest else []))
    return code


def first_early_read(image, start, size):
    """The first instruction that reads an argument register before a write on some path, or None."""
    code = disassemble(image, start, size)
    index_of = {address: i for i, (address, _, _) in enumerate(code)}

    def in_prologue(mnemonic, args):
        return ((mnemonic == "push" and args[0].startswith("%")) or (mnemonic, args) == ("mov", ["%esp", "%ebp"])
                or (mnemonic == "mov" and args[0].startswith("$") and args[1].startswith("%"))
                or (mnemonic == "sub" and args[0].startswith("$") and args[1] == "%esp"))

    prologue = 0
    while prologue < len(code) and in_prologue(code[prologue][1], code[prologue][2]):
        prologue += 1
    defined = {0: frozenset()}
    work = [0]
    while work:
        i = work.pop()
        address, mnemonic, args = code[i]
        state = defined[i]
        read, written = effects(mnemonic, args)
        stem = mnemonic.split()[-1]
        successors = []
        if stem.startswith("j"):
            target = int(args[0], 16) if args and re.fullmatch(r"[0-9a-f]+", args[0]) else None
            if target is None or target not in index_of:
                read = read | set(ARGUMENT_REGISTERS)  # leaves the function: a tail call
            else:
                successors.append(index_of[target])
            if stem != "jmp" and i + 1 < len(code):
                successors.append(i + 1)
        elif stem.startswith(("ret", "hlt", "ud2", "iret")):
            pass
        elif i + 1 < len(code):
            successors.append(i + 1)
        if i < prologue:
            read = set()  # a slot reserved, or a callee-saved register kept
        early = read - state
        if early:
            return f"{address:#x}: {mnemonic} {','.join(args)} reads {', '.join(sorted(early))}"
        after = state | written
        for s in successors:
            merged = defined[s] & after if s in defined else after
            if s not in defined or merged != defined[s]:
                defined[s] = frozenset(merged)
                work.append(s)
    return None


def typedefs_without_efiapi(root):
    """Function-pointer types under Include/ and MdeSubset/Include/ that do not say EFIAPI."""
    found = []
    for folder, _, files in [w for top in ("Include", "MdeSubset/Include") for w in os.walk(os.path.join(root, top))]:
        for file in sorted(files):
            path = os.path.join(folder, file)
            with open(path, encoding="utf-8") as f:
                for number, line in enumerate(f, 1):
                    if re.search(r"\(\s*(\w+\s+)*\*\s*\w*\s*\)\s*\(", line) and "EFIAPI" not in line:
                        found.append(f"{os.path.relpath(path, root)}:{number}: {line.strip()}")
    return found


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("image", help="the linked image (ELF, relocations kept)")
    parser.add_argument("root", nargs="?", default=os.path.dirname(os.path.dirname(os.path.abspath(__file__))),
                        help="the source tree whose function-pointer types are checked (default: this repository)")
    args = parser.parse_args()
    image, root = args.image, args.root
    with open(image, "rb") as f:
        data = f.read()
    functions, relocated = reached_from_outside(data)
    if relocated == 0:
        print(f"FAIL: {image} holds no relocations: link it with -Wl,--emit-relocs")
        return 1
    fail = 0
    for name, address, size in functions:
        early = first_early_read(image, address, size)
        if early:
            print(f"FAIL: {name} is called from outside but takes register arguments ({early})")
            fail = 1
        else:
            print(f"  stack convention: {name}")
    for line in typedefs_without_efiapi(root):
        print(f"FAIL: a function-pointer type without EFIAPI: {line}")
        fail = 1
    return fail


if __name__ == "__main__":
    sys.exit(main())
