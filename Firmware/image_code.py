"""The code of an ELF32 image, routine by routine, for the image checks.

A routine is either a function the compiler emitted (an STT_FUNC symbol with its size)
or an assembly routine (a global symbol without type or size in .text, as an assembler
leaves it). An assembly routine runs from its symbol to the return or jump after which
no branch of its own lands; that end is found by sweeping its instructions, so constant
data placed after it in .text (a linker script may merge constant data into the code) is
not taken for code. Local labels inside a routine ("Routine.1", "@Loop") do not end it.
"""
import re
import subprocess

INSTRUCTION = re.compile(r"^\s*([0-9a-f]+):\t(.*)$")
BRANCH = re.compile(r"^(j[a-z]+|loop[a-z]*|jecxz|jcxz)\s+([0-9a-f]+)\b")
ENDS_FLOW = re.compile(r"^(ret[lw]?|jmp\s+[0-9a-f]+\b|jmp\s+\*|ljmp|iret[lw]?|ud2)")


class Routine:
    def __init__(self, name, start, end, assembly, instructions):
        self.name, self.start, self.end, self.assembly = name, start, end, assembly
        self.instructions = instructions  # [(address, text)]


class CodeError(Exception):
    pass


def _run(*command):
    return subprocess.run(command, capture_output=True, text=True, check=True).stdout


def is_pe(image):
    return "pei-i386" in _run("objdump", "-f", image)


def symbols(image):
    """(name, value, size, type, bind, section index) of every symbol of an ELF image."""
    rows = []
    for line in _run("readelf", "-sW", image).splitlines():
        fields = line.split()
        if len(fields) >= 8 and fields[0].endswith(":") and fields[0][:-1].isdigit():
            rows.append((fields[7], int(fields[1], 16), int(fields[2], 0), fields[3], fields[4], fields[6]))
    return rows


def text_instructions(image):
    """[(address, text)] of .text as objdump decodes it, in address order."""
    listing = _run("objdump", "-d", "--no-show-raw-insn", "-j", ".text", image)
    out = []
    for line in listing.splitlines():
        m = INSTRUCTION.match(line)
        if m:
            out.append((int(m.group(1), 16), m.group(2).strip()))
    return out


def _text_section_index(image):
    for line in _run("readelf", "-SW", image).splitlines():
        m = re.match(r"^\s*\[\s*(\d+)\]\s+\.text\s", line)
        if m:
            return m.group(1)
    raise CodeError(f"{image}: no .text section")


def routines(image):
    """Every routine of an ELF image."""
    text = _text_section_index(image)
    rows = [r for r in symbols(image) if r[5] == text]
    instructions = text_instructions(image)
    found = []
    for name, value, size, kind, bind, _ in rows:
        if kind == "FUNC" and size > 0:
            body = [i for i in instructions if value <= i[0] < value + size]
            found.append(Routine(name, value, value + size, False, body))
    # Assembly routines: global, untyped, sizeless. Their limit is the next symbol that is
    # not one of their own local labels.
    starts = sorted({value for name, value, size, kind, bind, _ in rows
                     if not (kind == "NOTYPE" and bind == "LOCAL" and ("." in name or name.startswith("@")))})
    for name, value, size, kind, bind, _ in rows:
        if kind != "NOTYPE" or bind != "GLOBAL" or size != 0:
            continue
        limit = next((s for s in starts if s > value), None)
        body, reach = [], value
        for address, insn in instructions:
            if address < value or (limit is not None and address >= limit):
                continue
            body.append((address, insn))
            m = BRANCH.match(insn) or re.match(r"^jmp\s+([0-9a-f]+)\b", insn)
            if m:
                target = int(m.group(m.lastindex), 16)
                if target > value and (limit is None or target < limit):
                    reach = max(reach, target)
            if ENDS_FLOW.match(insn) and address >= reach:
                break
        else:
            if body:
                raise CodeError(f"{image}: assembly routine {name} has no end (no return or jump found)")
        end = body[-1][0] + 1 if body else value
        found.append(Routine(name, value, end, True, body))
    return sorted(found, key=lambda r: r.start)
