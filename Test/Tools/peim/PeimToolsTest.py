#!/usr/bin/env python3
"""Tests of the PEI module tools (Tools/peim): the FFS file of the firmware build, and the
insertion into a volume nested in an LZMA section of another volume, on volumes built here.

    PeimToolsTest.py FIRMWARE_BUILD_DIR
"""
import lzma
import argparse
import os
import struct
import sys
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))))
sys.path.insert(0, os.path.join(ROOT, "Tools", "peim"))
import ffs  # noqa: E402 (a module of this folder: after sys.path names it)
import fv  # noqa: E402 (a module of this folder: after sys.path names it)
import pecoff  # noqa: E402 (a module of this folder: after sys.path names it)

FIRMWARE = None
POLICY_PPI = ffs.guid_from_header(os.path.join(ROOT, "QuarnPkg.dec"), "gVornPolicyPpiGuid")
MODULE_FILE = ffs.guid_from_header(os.path.join(ROOT, "Pei/QuarnPeiPreMem/QuarnPeiPreMem.inf"), "FILE_GUID")
CORE_FILE = ffs.guid_bytes("11111111-2222-3333-4444-555555555555")
OUTER_FILE = ffs.guid_bytes("66666666-7777-8888-9999-AAAAAAAAAAAA")
FS2 = ffs.guid_bytes("8C8CE578-8A3D-4F1C-9935-896185C32DD3")


def read(name):
    with open(os.path.join(FIRMWARE, name), "rb") as f:
        return f.read()


def volume(name, files, length, polarity=1, ext_in_pad=False):
    """A volume: header with one block-map entry and an extended header naming it (right
    after the header, or with EXT_IN_PAD in the data of a first pad file), FILES (raw FFS
    bytes, state set for POLARITY) at 8-byte boundaries, erased up to LENGTH."""
    erased = 0xFF if polarity else 0
    header_length = 56 + 16
    ext_offset = header_length + (ffs.FILE_HEADER_SIZE if ext_in_pad else 0)
    header = bytearray(struct.pack("<16s16sQ4sIHHHBB", bytes(16), FS2, length, b"_FVH",
                                   0x0004FEFF if polarity else 0x0004F6FF, header_length, 0, ext_offset, 0, 2))
    header += struct.pack("<IIII", length // 0x1000, 0x1000, 0, 0)
    struct.pack_into("<H", header, 50, ffs.checksum16(bytes(header)))
    ext = name + struct.pack("<I", 20)
    if ext_in_pad:
        pad = bytearray(ffs.ffs_file(b"\xff" * 16, ffs.FILE_PAD, ext + bytes([erased]) * 4, checksum=False))
        pad[23] = ffs.FILE_STATE_COMPLETE ^ erased
        ext = bytes(pad)
    body = bytearray(header) + ext
    for raw in files:
        body += bytes([erased]) * (ffs.align_up(len(body), 8) - len(body))
        raw = bytearray(raw)
        raw[23] = ffs.FILE_STATE_COMPLETE ^ erased
        body += raw
    return bytes(body) + bytes([erased]) * (length - len(body))


def core_file(image_at, file_at):
    """A PEI core file at FILE_AT whose PE32 image is the module's, rebased as if the volume
    ran at IMAGE_AT: a 12-byte raw section, then the PE32 section, its body 16 bytes in."""
    image = pecoff.PeImage(read("QuarnPeiPreMem.efi")).rebased(image_at + file_at + ffs.FILE_HEADER_SIZE + 16)
    data = ffs.section(ffs.SECTION_RAW, bytes(8)) + ffs.section(ffs.SECTION_PE32, image)
    return ffs.ffs_file(CORE_FILE, fv.FILE_PEI_CORE, data, alignment=16)


def nested_image(pei_at, pad_size):
    """An outer volume holding one file: an LZMA GUID-defined section around the PEI volume
    (the a-priori file naming the core, a pad file of PAD_SIZE bytes, the core)."""
    apriori = ffs.ffs_file(fv.PEI_APRIORI_FILE, 0x02, ffs.section(ffs.SECTION_RAW, CORE_FILE), checksum=False)
    pad = ffs.ffs_file(b"\xff" * 16, ffs.FILE_PAD, b"\xff" * (pad_size - 24), checksum=False)
    core_at = 0x90 + pad_size                      # files from 0x60; the a-priori file takes 44 bytes
    files = [apriori, pad, core_file(pei_at, core_at)]
    pei = volume(ffs.guid_bytes("6938079B-B503-4E3D-9D24-B28337A25806"), files, 0x20000)
    assert fv.Volume(pei).files()[2][0] == core_at
    inner = ffs.section(ffs.SECTION_RAW, b"before") + bytes(2) + ffs.section(ffs.SECTION_FIRMWARE_VOLUME_IMAGE, pei)
    guided = ffs.section(ffs.SECTION_GUID_DEFINED, fv.LZMA_SECTION_GUID + struct.pack("<HH", 24, 1) + fv.lzma_alone(inner))
    outer = ffs.ffs_file(OUTER_FILE, 0x0B, guided, checksum=False)
    return volume(ffs.guid_bytes("48DB5E17-707C-472D-91CD-1613E7EF51B0"), [outer], 0x40000)


def pei_volume_of(image):
    """The PEI volume inside nested_image()'s layout, parsed again from the bytes."""
    outer = fv.Volume(image)
    (_, f), = outer.files()
    (_, stype, hsize, body), = ffs.sections_of(f["data"])
    assert stype == ffs.SECTION_GUID_DEFINED
    data_offset = struct.unpack_from("<H", body, 16)[0]
    inner = lzma.decompress(body[data_offset - hsize:], format=lzma.FORMAT_ALONE)
    for _, stype, _, sbody in ffs.sections_of(inner):
        if stype == ffs.SECTION_FIRMWARE_VOLUME_IMAGE:
            return fv.Volume(sbody), inner
    raise AssertionError("no volume image")


class ModuleFileTest(unittest.TestCase):
    """The FFS file `make peim` writes, read back the way a PEI core reads it."""

    def test_file_header_sections_and_alignment(self):
        raw = read("QuarnPeiPreMem.ffs")
        f = ffs.parse_file(raw, erase_polarity=0)
        self.assertEqual((f["name"], f["type"], f["alignment"], f["size"]), (MODULE_FILE, ffs.FILE_PEIM, 16, len(raw)))
        self.assertEqual(raw[23], ffs.FILE_STATE_COMPLETE)
        sections = ffs.sections_of(f["data"])
        self.assertEqual([s[1] for s in sections],
                         [ffs.SECTION_PEI_DEPEX, ffs.SECTION_RAW, ffs.SECTION_PE32, ffs.SECTION_USER_INTERFACE])
        self.assertEqual(sections[0][3], bytes([ffs.DEPEX_PUSH]) + POLICY_PPI + bytes([ffs.DEPEX_END]))
        pe_offset = sections[2][0] + sections[2][2]
        self.assertEqual(pe_offset % 16, 0)
        self.assertEqual(sections[2][3], read("QuarnPeiPreMem.efi"))
        self.assertEqual(sections[3][3], "QuarnPeiPreMem\0".encode("utf-16-le"))

    def test_checksums_catch_a_changed_byte(self):
        raw = bytearray(read("QuarnPeiPreMem.ffs"))
        for at, complaint in ((4, "header checksum"), (200, "data checksum")):
            changed = bytearray(raw)
            changed[at] ^= 0x01
            with self.assertRaisesRegex(ffs.FfsError, complaint):
                ffs.parse_file(bytes(changed), erase_polarity=0)

    def test_the_pe32_image(self):
        pe = pecoff.PeImage(read("QuarnPeiPreMem.efi"))
        self.assertEqual((pe.machine, pe.subsystem, pe.section_alignment, pe.file_alignment), (0x14C, 11, 16, 16))
        self.assertEqual([s["name"] for s in pe.sections], [".text", ".rdata", ".data", ".reloc"])
        self.assertFalse(any(s["flags"] & pecoff.SCN_MEM_WRITE for s in pe.sections))
        code = pe.sections[0]                                 # the entry point lies in the code
        self.assertTrue(code["rva"] <= pe.entry < code["rva"] + code["size"], hex(pe.entry))
        again = pecoff.PeImage(pe.rebased(0x00900000))
        self.assertEqual(again.rebased(pe.image_base), bytes(pe.data))
        self.assertGreater(len(pe.fixups()), 100)


class InsertTest(unittest.TestCase):
    """fvinsert's work on a PEI volume nested in an LZMA section of an outer volume."""

    PEI_AT = 0x00820000

    def insert(self, image, files, apriori=True, base=None):
        def visit(v):
            if not any(f["type"] == fv.FILE_PEI_CORE for _, f in v.files()):
                return False
            at = v.executes_at() if base is None else base
            for raw in files:
                v.insert(raw, at)
            if apriori:
                v.add_to_apriori([raw[:16] for raw in files])
            return True
        return fv.rewrite_image(image, visit)

    def test_inserted_file_is_aligned_rebased_listed_and_checksummed(self):
        image = nested_image(self.PEI_AT, pad_size=56)
        module = read("QuarnPeiPreMem.ffs")
        out = self.insert(image, [module, read("OvmfBoardPei.ffs")])
        self.assertEqual(len(out), len(image))
        outer = fv.Volume(out)                        # header checksum checked on parsing
        self.assertEqual(outer.length, 0x40000)
        pei, inner = pei_volume_of(out)
        self.assertTrue(inner.startswith(ffs.section(ffs.SECTION_RAW, b"before")))
        files = pei.files()                            # every header and data checksum checked
        names = [f["name"] for _, f in files]
        self.assertEqual(names[:3], [fv.PEI_APRIORI_FILE, b"\xff" * 16, CORE_FILE])
        self.assertIn(MODULE_FILE, names)
        pos, placed = next((p, f) for p, f in files if f["name"] == MODULE_FILE)
        self.assertEqual((pos + ffs.FILE_HEADER_SIZE) % 16, 0)
        self.assertEqual(pei.data[pos + 23], 0xF8)
        off, _, hsize, body = ffs.sections_of(placed["data"])[2]
        at = self.PEI_AT + pos + ffs.FILE_HEADER_SIZE + off + hsize
        self.assertEqual(body, pecoff.PeImage(read("QuarnPeiPreMem.efi")).rebased(at))
        self.assertEqual(pei.executes_at(), self.PEI_AT)
        apriori = ffs.sections_of(files[0][1]["data"])[0][3]
        self.assertEqual(apriori, CORE_FILE + MODULE_FILE + ffs.guid_from_header(
            os.path.join(ROOT, "Firmware/Ovmf/OvmfBoardPei.h"), "gQuarnOvmfBoardFileGuid"))
        self.assertEqual(files[2][0], 0xC8)           # the core did not move; a smaller pad file before it
        self.assertEqual((files[1][0], files[1][1]["size"]), (0xB0, 24))
        self.assertTrue(all(b == 0xFF for b in pei.data[pei.free_start():]))

    def test_extended_header_in_a_pad_file(self):
        name = ffs.guid_bytes("0F0E0D0C-0B0A-0908-0706-050403020100")
        v = fv.Volume(volume(name, [ffs.ffs_file(CORE_FILE, ffs.FILE_PEIM, ffs.section(ffs.SECTION_RAW, b"x"))],
                             0x10000, polarity=0, ext_in_pad=True))
        self.assertEqual(v.name, name)
        self.assertEqual([(p, f["type"]) for p, f in v.files()], [(0x48, ffs.FILE_PAD), (0x78, ffs.FILE_PEIM)])
        pos = v.insert(read("QuarnPeiPreMem.ffs"), 0x00900000)
        self.assertEqual((pos, v.data[pos + 23]), (0x98, ffs.FILE_STATE_COMPLETE))   # data at 0xB0: 16-aligned, no gap
        self.assertEqual(v.files()[-1][1]["name"], MODULE_FILE)

    def test_refusals(self):
        image = nested_image(self.PEI_AT, pad_size=40)
        module = read("QuarnPeiPreMem.ffs")
        board = read("OvmfBoardPei.ffs")
        self.assertIsNotNone(self.insert(image, [module], apriori=True))   # 16 more bytes: a 24-byte pad is left
        with self.assertRaisesRegex(fv.FvError, "no room before the next file"):
            self.insert(image, [module, board], apriori=True)       # 32 more bytes: 8 left, too few for a pad file
        with self.assertRaisesRegex(fv.FvError, "already holds"):
            self.insert(image, [module, module], apriori=False)
        big = ffs.ffs_file(MODULE_FILE, ffs.FILE_PEIM, ffs.section(ffs.SECTION_RAW, bytes(0x20000)))
        with self.assertRaisesRegex(fv.FvError, "do not fit"):
            self.insert(image, [big], apriori=False)
        bad = bytearray(image)
        bad[0x62] ^= 1                                  # a file header byte of the outer volume
        with self.assertRaises(ffs.FfsError):
            self.insert(bytes(bad), [module])


def main():
    global FIRMWARE
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    parser.add_argument("firmware", nargs="?", default=os.path.join(ROOT, "build", "firmware"),
                        help="the firmware build tree (default build/firmware)")
    options, rest = parser.parse_known_args()
    FIRMWARE = options.firmware
    unittest.main(verbosity=1, argv=[sys.argv[0]] + rest)


if __name__ == "__main__":
    main()
