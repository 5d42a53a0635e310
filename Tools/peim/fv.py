"""Firmware volumes: parsing, free space, files inserted, and volumes nested in sections.

A volume is a header (signature "_FVH" at 40, length at 32, attributes, header length
and checksum, block map, optional extended header with the volume's name) followed by
8-byte aligned FFS files; after the last file the rest is free space in the erased state.
Volumes nest in FV-image sections, which may sit inside GUID-defined LZMA sections.
"""
import lzma
import struct

import ffs
import pecoff

FVH_SIGNATURE = b"_FVH"
ERASE_POLARITY = 0x00000800
LZMA_SECTION_GUID = ffs.guid_bytes("EE4E5898-3914-4259-9D6E-DC7BD79403CF")
PEI_APRIORI_FILE = ffs.guid_bytes("1B45CC0A-156A-428A-AF62-49864DA0E6E6")
FILE_PEI_CORE = 0x04
FILE_RAW = 0x01
GUIDED_PROCESSING_REQUIRED = 0x01


class FvError(Exception):
    pass


class Volume:
    """One firmware volume held as a mutable byte array."""

    def __init__(self, data):
        data = bytearray(data)
        if len(data) < 56 or data[40:44] != FVH_SIGNATURE:
            raise FvError("no firmware volume signature")
        self.length = struct.unpack_from("<Q", data, 32)[0]
        self.attributes, self.header_length, self.checksum, ext_offset = \
            struct.unpack_from("<IHHH", data, 44)
        if self.length > len(data) or self.header_length > self.length:
            raise FvError(f"volume length {self.length:#x} exceeds its container")
        if sum(struct.unpack_from(f"<{self.header_length // 2}H", data, 0)) & 0xFFFF:
            raise FvError("volume header checksum wrong")
        self.data = data[:self.length]
        self.erased = 0xFF if self.attributes & ERASE_POLARITY else 0x00
        self.name = None
        self.files_start = ffs.align_up(self.header_length, 8)
        if ext_offset:
            self.name = bytes(self.data[ext_offset:ext_offset + 16])
            # The extended header either follows the header or sits in the data of a pad
            # file that comes first; in the first case the files start after it.
            try:
                first = ffs.parse_file(self.data[self.files_start:], self.erased)
                holds_it = first["type"] == ffs.FILE_PAD and \
                    self.files_start + ffs.FILE_HEADER_SIZE <= ext_offset < self.files_start + first["size"]
            except ffs.FfsError:
                holds_it = False
            if not holds_it:
                end = ext_offset + struct.unpack_from("<I", self.data, ext_offset + 16)[0]
                self.files_start = ffs.align_up(end, 8)

    def files(self):
        """(offset, parsed file) of every file, in order."""
        out = []
        pos = self.files_start
        while pos + ffs.FILE_HEADER_SIZE <= self.length:
            header = self.data[pos:pos + ffs.FILE_HEADER_SIZE]
            if all(b == self.erased for b in header):
                break
            out.append((pos, ffs.parse_file(self.data[pos:], self.erased)))
            pos = ffs.align_up(pos + out[-1][1]["size"], 8)
        return out

    def free_start(self):
        files = self.files()
        if not files:
            return self.files_start
        pos, f = files[-1]
        return ffs.align_up(pos + f["size"], 8)

    def state(self):
        return ffs.FILE_STATE_COMPLETE ^ self.erased

    def pad_file(self, size):
        """A pad file of SIZE bytes (header included)."""
        return ffs.ffs_file(b"\xff" * 16, ffs.FILE_PAD, bytes([self.erased]) * (size - 24),
                            erase_polarity=self.erased, checksum=False)

    def executes_at(self):
        """The address the volume runs at, as its PE32 modules were linked for, or None."""
        bases = set()
        for pos, f in self.files():
            if f["type"] in (FILE_RAW, ffs.FILE_PAD):
                continue
            for off, stype, hsize, body in ffs.sections_of(f["data"]):
                if stype == ffs.SECTION_PE32:
                    image = pecoff.PeImage(body)
                    bases.add((image.image_base - (pos + ffs.FILE_HEADER_SIZE + off + hsize)) & 0xFFFFFFFF)
        if len(bases) > 1:
            raise FvError(f"the volume's modules disagree about its address: {sorted(hex(b) for b in bases)}")
        return bases.pop() if bases else None

    def insert(self, raw, base):
        """Puts the FFS file RAW into the free space at its data alignment, its PE32 sections
        rebased to where they will execute (BASE = the volume's address); returns the offset."""
        f = ffs.parse_file(raw, erase_polarity=0)
        if any(other["name"] == f["name"] for _, other in self.files()):
            raise FvError(f"the volume already holds a file {ffs.guid_text(f['name'])}")
        free = self.free_start()
        pos = free
        while (pos + ffs.FILE_HEADER_SIZE) % f["alignment"] or 0 < pos - free < ffs.FILE_HEADER_SIZE:
            pos += 8
        end = pos + f["size"]
        if end > self.length:
            raise FvError(f"{ffs.guid_text(f['name'])}: {f['size']} bytes do not fit the "
                          f"{self.length - free} bytes of free space")
        if any(b != self.erased for b in self.data[free:end]):
            raise FvError("the free space is not erased")
        data = bytearray(f["data"])
        for off, stype, hsize, body in ffs.sections_of(f["data"]):
            if stype == ffs.SECTION_PE32:
                at = base + pos + ffs.FILE_HEADER_SIZE + off + hsize
                data[off + hsize:off + hsize + len(body)] = pecoff.PeImage(body).rebased(at)
        if pos > free:
            self.data[free:pos] = self.pad_file(pos - free)
        placed = bytearray(raw[:ffs.FILE_HEADER_SIZE]) + data
        placed[17] = ffs.checksum8(data) if f["attributes"] & ffs.ATTRIB_CHECKSUM else ffs.FILE_DATA_CHECKSUM_NONE
        placed[23] = self.state()
        self.data[pos:end] = placed
        return pos

    def replace_file(self, pos, new_raw):
        """Puts NEW_RAW where the file at POS is; a size change is taken from or given to the
        pad file or free space that follows (files after it never move)."""
        files = self.files()
        index = next(i for i, (p, _) in enumerate(files) if p == pos)
        old_end = ffs.align_up(pos + files[index][1]["size"], 8)
        new_end = ffs.align_up(pos + len(new_raw), 8)
        nxt = index + 1
        while nxt < len(files) and files[nxt][1]["type"] == ffs.FILE_PAD:
            nxt += 1
        limit = files[nxt][0] if nxt < len(files) else self.length
        if new_end > limit or 0 < limit - new_end < ffs.FILE_HEADER_SIZE and nxt < len(files):
            raise FvError(f"file at {pos:#x} grows to {len(new_raw)} bytes: no room before the next file")
        gap_end = files[nxt][0] if nxt < len(files) else max(old_end, new_end)
        self.data[pos:gap_end] = bytes([self.erased]) * (gap_end - pos)
        self.data[pos:pos + len(new_raw)] = new_raw
        if nxt < len(files) and gap_end > new_end:
            self.data[new_end:gap_end] = self.pad_file(gap_end - new_end)

    def add_to_apriori(self, names):
        """Appends file NAMES to the volume's PEI a-priori file (dispatched first, in order)."""
        for pos, f in self.files():
            if f["name"] == PEI_APRIORI_FILE:
                sections = ffs.sections_of(f["data"])
                if len(sections) != 1 or sections[0][1] != ffs.SECTION_RAW:
                    raise FvError("the a-priori file is not one raw section")
                body = sections[0][3] + b"".join(names)
                raw = ffs.ffs_file(f["name"], f["type"], ffs.section(ffs.SECTION_RAW, body),
                                   alignment=f["alignment"], erase_polarity=self.erased,
                                   checksum=bool(f["attributes"] & ffs.ATTRIB_CHECKSUM))
                self.replace_file(pos, raw)
                return
        raise FvError("the volume has no PEI a-priori file")


def lzma_alone(data):
    """An LZMA "alone" stream of DATA whose header states the uncompressed size."""
    out = bytearray(lzma.compress(data, format=lzma.FORMAT_ALONE, preset=6))
    out[5:13] = struct.pack("<Q", len(data))
    return bytes(out)


def rewrite_sections(data, visit):
    """Looks for a volume VISIT rewrites among the sections in DATA (recursing into FV images
    and GUID-defined sections); returns the new section bytes, or None if VISIT found nothing."""
    for off, stype, hsize, body in ffs.sections_of(data):
        new_body = None
        if stype == ffs.SECTION_FIRMWARE_VOLUME_IMAGE:
            new_body = rewrite_volume(body, visit)
        elif stype == ffs.SECTION_GUID_DEFINED:
            guid = body[:16]
            data_offset, attributes = struct.unpack_from("<HH", body, 16)
            inner = body[data_offset - hsize:]
            if guid == LZMA_SECTION_GUID:
                unpacked = lzma.decompress(inner, format=lzma.FORMAT_ALONE)
                new_inner = rewrite_sections(unpacked, visit)
                if new_inner is not None:
                    new_body = body[:data_offset - hsize] + lzma_alone(new_inner)
            elif not attributes & GUIDED_PROCESSING_REQUIRED:
                new_inner = rewrite_sections(inner, visit)
                if new_inner is not None:
                    new_body = body[:data_offset - hsize] + new_inner
        if new_body is not None:
            if hsize != 4:
                raise FvError("sections with extended sizes are not supported")
            rest = data[min(ffs.align_up(off + hsize + len(body), 4), len(data)):]
            rebuilt = ffs.section(stype, new_body)
            if rest:
                rebuilt += bytes(ffs.align_up(len(rebuilt), 4) - len(rebuilt))
            return data[:off] + rebuilt + rest
    return None


def rewrite_volume(raw, visit):
    """VISIT(volume) may change a volume and return True; the change is carried up through
    every enclosing file and section. Returns the new volume bytes or None."""
    volume = Volume(raw)
    if visit(volume):
        return bytes(volume.data) + bytes(raw[volume.length:])
    for pos, f in volume.files():
        if f["type"] in (FILE_RAW, ffs.FILE_PAD):
            continue                                    # no sections inside
        new_data = rewrite_sections(f["data"], visit)
        if new_data is not None:
            volume.replace_file(pos, ffs.ffs_file(f["name"], f["type"], new_data, alignment=f["alignment"],
                                                  erase_polarity=volume.erased,
                                                  checksum=bool(f["attributes"] & ffs.ATTRIB_CHECKSUM)))
            return bytes(volume.data) + bytes(raw[volume.length:])
    return None


def top_level_volumes(image):
    """Offsets of the firmware volumes laid end to end (or at 4 KiB steps) in a flash image."""
    out = []
    pos = 0
    while pos + 56 <= len(image):
        if image[pos + 40:pos + 44] == FVH_SIGNATURE:
            try:
                v = Volume(image[pos:])
            except FvError:
                v = None
            if v is not None:
                out.append(pos)
                pos += v.length
                continue
        pos += 0x1000
    return out


def rewrite_image(image, visit):
    """Applies VISIT to the first volume of the flash IMAGE (searching nested volumes) it accepts."""
    for pos in top_level_volumes(image):
        length = Volume(image[pos:]).length
        new = rewrite_volume(image[pos:pos + length], visit)
        if new is not None:
            return image[:pos] + new[:length] + image[pos + length:]
    return None
