"""PE32 images for IA32 modules: made from a freestanding ELF, read back, rebased.

The ELF is the module linked with its relocations kept (`ld -q`) at a base just above room
for the PE headers; every section keeps its address, so the PE image's relative virtual
addresses equal the ELF addresses minus the image base and the file layout equals the
memory layout (a module executed in place is never loaded, only rebased).
"""
import struct

MACHINE_I386 = 0x014C
SUBSYSTEM_EFI_BOOT_SERVICE_DRIVER = 11   # what PEI modules carry
SECTION_ALIGNMENT = 0x10                 # file alignment equals it: in-place layout
HEADERS_SIZE = 0x200                     # DOS stub, PE headers, up to four section headers

IMAGE_FILE_EXECUTABLE_IMAGE = 0x0002
IMAGE_FILE_LINE_NUMS_STRIPPED = 0x0004
IMAGE_FILE_LOCAL_SYMS_STRIPPED = 0x0008
IMAGE_FILE_32BIT_MACHINE = 0x0100

SCN_CNT_CODE = 0x00000020
SCN_CNT_INITIALIZED_DATA = 0x00000040
SCN_MEM_DISCARDABLE = 0x02000000
SCN_MEM_EXECUTE = 0x20000000
SCN_MEM_READ = 0x40000000
SCN_MEM_WRITE = 0x80000000

DIR_BASERELOC = 5
REL_BASED_ABSOLUTE = 0
REL_BASED_HIGHLOW = 3

R_386_NONE, R_386_32, R_386_PC32 = 0, 1, 2
SHT_PROGBITS, SHT_SYMTAB, SHT_NOBITS, SHT_REL = 1, 2, 8, 9
SHF_WRITE, SHF_ALLOC, SHF_EXECINSTR = 1, 2, 4
SHN_UNDEF, SHN_ABS = 0, 0xFFF1


class ImageError(Exception):
    pass


def align_up(value, alignment):
    return (value + alignment - 1) & ~(alignment - 1)


class Elf32:
    """The parts of an ELF32 i386 file a converter needs: sections, symbols, REL relocations."""

    def __init__(self, data):
        if data[:4] != b"\x7fELF" or data[4] != 1 or data[5] != 1:
            raise ImageError("not a little-endian ELF32 file")
        (self.type, machine, _, self.entry, _, shoff, _, _, _, _, shentsize, shnum, shstrndx) = \
            struct.unpack_from("<HHIIIIIHHHHHH", data, 16)
        if machine != 3:
            raise ImageError(f"ELF machine {machine}, expected i386")
        self.data = data
        self.sections = []
        for i in range(shnum):
            name, stype, flags, addr, offset, size, link, info, align, entsize = \
                struct.unpack_from("<IIIIIIIIII", data, shoff + i * shentsize)
            self.sections.append(dict(index=i, name_off=name, type=stype, flags=flags, addr=addr,
                                      offset=offset, size=size, link=link, info=info, align=align))
        names = self.sections[shstrndx]
        for s in self.sections:
            end = data.index(b"\0", names["offset"] + s["name_off"])
            s["name"] = data[names["offset"] + s["name_off"]:end].decode()

    def body(self, section):
        if section["type"] == SHT_NOBITS:
            return bytes(section["size"])
        return self.data[section["offset"]:section["offset"] + section["size"]]

    def symbols(self):
        table = next((s for s in self.sections if s["type"] == SHT_SYMTAB), None)
        if table is None:
            raise ImageError("the ELF has no symbol table (link without -s)")
        return [struct.unpack_from("<IIIBBH", self.data, table["offset"] + 16 * i)
                for i in range(table["size"] // 16)]

    def relocations(self, section):
        """(offset, type, symbol index) of every REL entry that applies to SECTION."""
        out = []
        for rel in self.sections:
            if rel["type"] == SHT_REL and rel["info"] == section["index"]:
                for i in range(rel["size"] // 8):
                    offset, info = struct.unpack_from("<II", self.data, rel["offset"] + 8 * i)
                    out.append((offset, info & 0xFF, info >> 8))
        return out


def base_relocation_table(rvas):
    """The .reloc contents: one block per 4 KiB page of HIGHLOW fixups, each block 4-aligned."""
    out = bytearray()
    pages = {}
    for rva in sorted(set(rvas)):
        pages.setdefault(rva & ~0xFFF, []).append(rva & 0xFFF)
    for page, offsets in sorted(pages.items()):
        entries = [(REL_BASED_HIGHLOW << 12) | off for off in offsets]
        if len(entries) % 2:
            entries.append(REL_BASED_ABSOLUTE << 12)
        out += struct.pack("<II", page, 8 + 2 * len(entries))
        out += struct.pack(f"<{len(entries)}H", *entries)
    return bytes(out)


def absolute_fixups(elf):
    """Addresses of every 32-bit word in the loaded sections that holds an absolute address."""
    symbols = elf.symbols()
    sites = []
    for s in elf.sections:
        if not s["flags"] & SHF_ALLOC or s["size"] == 0:
            continue
        for offset, rtype, sym in elf.relocations(s):
            shndx = symbols[sym][5]
            if rtype == R_386_NONE:
                continue
            if rtype == R_386_PC32:
                if shndx == SHN_ABS:
                    raise ImageError(f"PC-relative reference to an absolute symbol at {offset:#x}")
                continue
            if rtype != R_386_32:
                raise ImageError(f"relocation type {rtype} at {offset:#x} cannot be expressed "
                                 "(build without PIC)")
            if shndx == SHN_UNDEF:
                raise ImageError(f"undefined symbol referenced at {offset:#x}")
            if shndx != SHN_ABS:
                sites.append(offset)
    return sites


def elf_to_pe(data, subsystem=SUBSYSTEM_EFI_BOOT_SERVICE_DRIVER):
    """A PE32 image with base relocations holding exactly the ELF's loaded sections."""
    elf = Elf32(data)
    loaded = [s for s in elf.sections if s["flags"] & SHF_ALLOC and s["size"] > 0]
    for s in loaded:
        if s["type"] == SHT_NOBITS or (s["flags"] & SHF_WRITE and s["name"] != ".data"):
            raise ImageError(f"writable section {s['name']} in an image executed in place")
    if len(loaded) == 0 or len(loaded) > 3:
        raise ImageError(f"expected code, read-only data and .data, found {[s['name'] for s in loaded]}")
    loaded.sort(key=lambda s: s["addr"])
    image_base = loaded[0]["addr"] - HEADERS_SIZE
    if image_base < 0 or image_base % SECTION_ALIGNMENT:
        raise ImageError(f"link the ELF with its first section at {HEADERS_SIZE:#x} past an aligned base")
    rvas = [addr - image_base for addr in absolute_fixups(elf)]

    sections = []          # (name, rva, bytes, characteristics)
    for s in loaded:
        if s["addr"] % SECTION_ALIGNMENT:
            raise ImageError(f"section {s['name']} at {s['addr']:#x} is not {SECTION_ALIGNMENT}-aligned")
        code = bool(s["flags"] & SHF_EXECINSTR)
        # .data holds objects declared writable that the image only reads (the image check
        # proves no instruction stores into it): read-only like the rest, in flash.
        name = ".text" if code else (".data" if s["flags"] & SHF_WRITE else ".rdata")
        flags = (SCN_CNT_CODE | SCN_MEM_EXECUTE if code else SCN_CNT_INITIALIZED_DATA) | SCN_MEM_READ
        sections.append((name, s["addr"] - image_base, elf.body(s), flags))
    for rva in rvas:
        if not any(r <= rva and rva + 4 <= r + len(b) for _, r, b, _ in sections):
            raise ImageError(f"relocation at {rva:#x} outside the loaded sections")
    end = align_up(sections[-1][1] + len(sections[-1][2]), SECTION_ALIGNMENT)
    reloc = base_relocation_table(rvas)
    sections.append((".reloc", end, reloc, SCN_CNT_INITIALIZED_DATA | SCN_MEM_DISCARDABLE | SCN_MEM_READ))
    size_of_image = align_up(end + len(reloc), SECTION_ALIGNMENT)

    image = bytearray(size_of_image)
    struct.pack_into("<2s58xI", image, 0, b"MZ", 0x40)
    coff = struct.pack("<4sHHIIIHH", b"PE\0\0", MACHINE_I386, len(sections), 0, 0, 0, 224,
                       IMAGE_FILE_EXECUTABLE_IMAGE | IMAGE_FILE_LINE_NUMS_STRIPPED |
                       IMAGE_FILE_LOCAL_SYMS_STRIPPED | IMAGE_FILE_32BIT_MACHINE)
    code_size = sum(len(b) for n, _, b, _ in sections if n == ".text")
    data_size = sum(len(b) for n, _, b, _ in sections if n != ".text")
    rdata = next((r for n, r, _, _ in sections if n == ".rdata"), 0)
    optional = struct.pack("<HBBIIIIIIIIIHHHHHHIIIIHHIIIIII",
                           0x10B, 0, 0, code_size, data_size, 0, elf.entry - image_base,
                           sections[0][1], rdata, image_base, SECTION_ALIGNMENT, SECTION_ALIGNMENT,
                           0, 0, 0, 0, 0, 0, 0, size_of_image, HEADERS_SIZE, 0, subsystem, 0,
                           0, 0, 0, 0, 0, 16)
    directories = [(0, 0)] * 16
    directories[DIR_BASERELOC] = (end, len(reloc))
    optional += b"".join(struct.pack("<II", *d) for d in directories)
    headers = coff + optional
    for name, rva, body, flags in sections:
        headers += struct.pack("<8sIIIIIIHHI", name.encode(), len(body), rva,
                               align_up(len(body), SECTION_ALIGNMENT), rva, 0, 0, 0, 0, flags)
    if 0x40 + len(headers) > HEADERS_SIZE:
        raise ImageError("PE headers do not fit")
    image[0x40:0x40 + len(headers)] = headers
    for _, rva, body, _ in sections:
        image[rva:rva + len(body)] = body
    return bytes(image)


class PeImage:
    """A PE32 image laid out in place (file offset = relative virtual address)."""

    def __init__(self, data):
        data = bytearray(data)
        if data[:2] != b"MZ":
            raise ImageError("no DOS header")
        self.pe = struct.unpack_from("<I", data, 0x3C)[0]
        if data[self.pe:self.pe + 4] != b"PE\0\0":
            raise ImageError("no PE signature")
        self.machine, count, _, _, _, opt_size, self.characteristics = \
            struct.unpack_from("<HHIIIHH", data, self.pe + 4)
        self.opt = self.pe + 24
        magic = struct.unpack_from("<H", data, self.opt)[0]
        if magic != 0x10B:
            raise ImageError(f"optional header magic {magic:#x}, expected PE32")
        self.entry = struct.unpack_from("<I", data, self.opt + 16)[0]
        self.image_base = struct.unpack_from("<I", data, self.opt + 28)[0]
        self.section_alignment, self.file_alignment = struct.unpack_from("<II", data, self.opt + 32)
        self.size_of_image, self.size_of_headers = struct.unpack_from("<II", data, self.opt + 56)
        self.subsystem = struct.unpack_from("<H", data, self.opt + 68)[0]
        self.reloc_rva, self.reloc_size = struct.unpack_from("<II", data, self.opt + 96 + 8 * DIR_BASERELOC)
        self.sections = []
        table = self.opt + opt_size
        for i in range(count):
            name, vsize, rva, rawsize, rawptr, _, _, _, _, flags = \
                struct.unpack_from("<8sIIIIIIHHI", data, table + 40 * i)
            if rva != rawptr:
                raise ImageError(f"section {name} is not laid out in place")
            self.sections.append(dict(name=name.rstrip(b"\0").decode(), size=vsize, rva=rva, flags=flags))
        self.data = data

    def fixups(self):
        """Relative virtual addresses of every HIGHLOW fixup."""
        out = []
        pos, end = self.reloc_rva, self.reloc_rva + self.reloc_size
        while pos < end:
            page, size = struct.unpack_from("<II", self.data, pos)
            if size < 8 or pos + size > end:
                raise ImageError(f"base relocation block at {pos:#x} is malformed")
            for i in range((size - 8) // 2):
                entry = struct.unpack_from("<H", self.data, pos + 8 + 2 * i)[0]
                kind = entry >> 12
                if kind == REL_BASED_HIGHLOW:
                    out.append(page + (entry & 0xFFF))
                elif kind != REL_BASED_ABSOLUTE:
                    raise ImageError(f"base relocation type {kind} not supported on IA32")
            pos += size
        return out

    def rebased(self, new_base):
        """The image's bytes with every fixup applied and the image base set to NEW_BASE."""
        data = bytearray(self.data)
        delta = (new_base - self.image_base) & 0xFFFFFFFF
        for rva in self.fixups():
            value = struct.unpack_from("<I", data, rva)[0]
            struct.pack_into("<I", data, rva, (value + delta) & 0xFFFFFFFF)
        struct.pack_into("<I", data, self.opt + 28, new_base)
        return bytes(data)

    def loaded(self, name):
        """The bytes of section NAME as they sit in memory."""
        s = next(s for s in self.sections if s["name"] == name)
        return bytes(self.data[s["rva"]:s["rva"] + s["size"]])
