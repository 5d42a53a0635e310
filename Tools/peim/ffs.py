"""Firmware file system pieces: GUIDs, sections, FFS files and their checksums.

Layouts as a PI firmware volume holds them: a section is a 4-byte header (24-bit size,
type) and its body, 4-byte aligned within the file; an FFS file is a 24-byte header (name,
header and data checksums, type, attributes, 24-bit size, state) and its sections.
"""
import re
import struct
import uuid

SECTION_GUID_DEFINED = 0x02
SECTION_PE32 = 0x10
SECTION_TE = 0x12
SECTION_USER_INTERFACE = 0x15
SECTION_FIRMWARE_VOLUME_IMAGE = 0x17
SECTION_RAW = 0x19
SECTION_PEI_DEPEX = 0x1B

FILE_PEIM = 0x06
FILE_PAD = 0xF0

ATTRIB_CHECKSUM = 0x40
ATTRIB_LARGE_FILE = 0x01
FILE_HEADER_SIZE = 24
FILE_DATA_CHECKSUM_NONE = 0xAA
# State bits as written by a tool (erase polarity 0); a volume with erase polarity 1 stores them inverted.
FILE_STATE_COMPLETE = 0x07       # header construction, header valid, data valid

# File data alignments the 3-bit attribute field can express (index = field value).
DATA_ALIGNMENTS = (1, 16, 128, 512, 1024, 4096, 32768, 65536)

DEPEX_PUSH, DEPEX_TRUE, DEPEX_END = 0x02, 0x06, 0x08


class FfsError(Exception):
    pass


def guid_bytes(text):
    """The on-disk bytes of a GUID written as 8-4-4-4-12 hex."""
    return uuid.UUID(text).bytes_le


def guid_text(raw):
    return str(uuid.UUID(bytes_le=bytes(raw))).upper()


def guid_from_header(path, name):
    """The GUID NAME as a file of the package states it, as its 16 bytes: a package
    declaration (QuarnPkg.dec: NAME = {0x..., 0x..., 0x..., {8 bytes}}), a module
    description (an INF: NAME = XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX, FILE_GUID for one),
    or a C++ header that defines NAME with such an initializer."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    m = re.search(r"^\s*" + re.escape(name) + r"\s*=\s*([0-9A-Fa-f]{8}(?:-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12})\s*$",
                  text, re.M)
    if m:
        g = m.group(1).split("-")
        return struct.pack("<IHH", int(g[0], 16), int(g[1], 16), int(g[2], 16)) + bytes.fromhex(g[3] + g[4])
    m = re.search(re.escape(name) + r"\s*=\s*\{([^{};]*\{[^{};]*\})\s*\}", text)
    if not m:
        raise FfsError(f"{path}: no GUID named {name}")
    parts = [int(x, 16) for x in re.findall(r"0x[0-9A-Fa-f]+", m.group(1))]
    if len(parts) != 11:
        raise FfsError(f"{path}: {name} is not a GUID initializer")
    return struct.pack("<IHH8B", *parts)


def checksum8(data):
    """The byte that makes DATA plus it sum to zero (mod 256)."""
    return (-sum(data)) & 0xFF


def checksum16(data):
    """The word that makes DATA's little-endian words plus it sum to zero (mod 65536)."""
    words = struct.unpack(f"<{len(data) // 2}H", data)
    return (-sum(words)) & 0xFFFF


def align_up(value, alignment):
    return (value + alignment - 1) // alignment * alignment


def section(stype, body):
    size = 4 + len(body)
    if size >= 0xFFFFFF:
        raise FfsError("section too large for a 24-bit size")
    return struct.pack("<I", size | (stype << 24)) + bytes(body)


def depex_section(ppi_guids):
    """A PEI dependency section: all PPIS present (AND), or TRUE when there are none."""
    expr = bytearray()
    for i, g in enumerate(ppi_guids):
        expr += bytes([DEPEX_PUSH]) + g
        if i:
            expr += bytes([0x03])     # AND
    if not ppi_guids:
        expr.append(DEPEX_TRUE)
    expr.append(DEPEX_END)
    return section(SECTION_PEI_DEPEX, expr)


def ui_section(name):
    return section(SECTION_USER_INTERFACE, (name + "\0").encode("utf-16-le"))


def join_sections(parts, aligned=None, alignment=1):
    """Concatenates sections at 4-byte boundaries. ALIGNED (an index into PARTS) names the
    section whose body must start ALIGNMENT-aligned relative to the file data; a RAW pad
    section is put before it where needed."""
    out = bytearray()
    for i, part in enumerate(parts):
        out += bytes(align_up(len(out), 4) - len(out))
        if i == aligned:
            need = (alignment - (len(out) + 4) % alignment) % alignment
            if need:
                if need < 4:
                    need += alignment
                out += section(SECTION_RAW, bytes(need - 4))
        out += part
    return bytes(out)


def ffs_file(name, ftype, data, alignment=1, erase_polarity=0, checksum=True):
    """An FFS file (header and DATA) with its header checksum and, with CHECKSUM, a data
    checksum (otherwise the byte that says there is none)."""
    if alignment not in DATA_ALIGNMENTS:
        raise FfsError(f"file data alignment {alignment} cannot be expressed")
    size = FILE_HEADER_SIZE + len(data)
    if size >= 0xFFFFFF:
        raise FfsError("file too large for a 24-bit size")
    attributes = (ATTRIB_CHECKSUM if checksum else 0) | (DATA_ALIGNMENTS.index(alignment) << 3)
    header = bytearray(struct.pack("<16sBBBB3sB", name, 0, 0, ftype, attributes,
                                   size.to_bytes(3, "little"), 0))
    header[16] = checksum8(header)                      # state and data checksum count as 0
    header[17] = checksum8(data) if checksum else FILE_DATA_CHECKSUM_NONE
    header[23] = FILE_STATE_COMPLETE ^ (0xFF if erase_polarity else 0)
    return bytes(header) + bytes(data)


def parse_file(raw, erase_polarity=1):
    """Name, type, attributes, size, data of the FFS file at the start of RAW; checks both checksums."""
    name, hsum, dsum, ftype, attributes, size3, state = struct.unpack_from("<16sBBBB3sB", raw, 0)
    size = int.from_bytes(size3, "little")
    if attributes & ATTRIB_LARGE_FILE:
        raise FfsError("large files are not supported")
    if size < FILE_HEADER_SIZE or size > len(raw):
        raise FfsError(f"file {guid_text(name)}: size {size} out of range")
    header = bytearray(raw[:FILE_HEADER_SIZE])
    header[17] = 0
    header[23] = 0
    if sum(header) & 0xFF:
        raise FfsError(f"file {guid_text(name)}: header checksum wrong")
    data = bytes(raw[FILE_HEADER_SIZE:size])
    if attributes & ATTRIB_CHECKSUM:
        if (sum(data) + dsum) & 0xFF:
            raise FfsError(f"file {guid_text(name)}: data checksum wrong")
    elif dsum != FILE_DATA_CHECKSUM_NONE:
        raise FfsError(f"file {guid_text(name)}: data checksum byte {dsum:#x} without the checksum attribute")
    return dict(name=name, type=ftype, attributes=attributes, size=size, data=data,
                alignment=DATA_ALIGNMENTS[(attributes >> 3) & 7])


def sections_of(data):
    """(offset, type, header size, body) of every section in DATA."""
    out = []
    pos = 0
    while pos + 4 <= len(data):
        size = int.from_bytes(data[pos:pos + 3], "little")
        stype = data[pos + 3]
        hsize = 4
        if size == 0xFFFFFF:
            size = struct.unpack_from("<I", data, pos + 4)[0]
            hsize = 8
        if size < hsize or pos + size > len(data):
            raise FfsError(f"section at {pos:#x}: size {size} out of range")
        out.append((pos, stype, hsize, bytes(data[pos + hsize:pos + size])))
        pos = align_up(pos + size, 4)
    return out
