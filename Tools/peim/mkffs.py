#!/usr/bin/env python3
"""Packs a PEI module's PE32 image into an FFS file of type PEIM.

    mkffs.py --name FILE:NAME IMAGE.efi OUT.ffs [--depex-ppi FILE:NAME ...]
             [--depex-true] [--ui NAME]

The file is named by a GUID taken from a package file (an INF's FILE_GUID, a DEC entry). Sections: the PEI dependency
expression (every --depex-ppi present; TRUE with --depex-true), the PE32 image with its
body aligned to the image's section alignment, and the user-interface name.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ffs  # noqa: E402 (a module of this folder: after sys.path names it)
import pecoff  # noqa: E402 (a module of this folder: after sys.path names it)


def guid_arg(text):
    path, _, name = text.rpartition(":")
    return ffs.guid_from_header(path, name)


def build(image, name, depex_ppis, ui):
    """The FFS file bytes for IMAGE (a PE32) named NAME."""
    pe = pecoff.PeImage(image)
    alignment = max(pe.section_alignment, 16)
    file_alignment = next(a for a in ffs.DATA_ALIGNMENTS if a >= alignment)
    parts = [ffs.depex_section(depex_ppis), ffs.section(ffs.SECTION_PE32, image), ffs.ui_section(ui)]
    data = ffs.join_sections(parts, aligned=1, alignment=alignment)
    return ffs.ffs_file(name, ffs.FILE_PEIM, data, alignment=file_alignment)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    p.add_argument("image")
    p.add_argument("out")
    p.add_argument("--name", required=True, help="FILE:NAME of the file GUID (an INF and FILE_GUID, a DEC or header and a GUID name)")
    p.add_argument("--depex-ppi", action="append", default=[], help="FILE:NAME of a PPI GUID")
    p.add_argument("--depex-true", action="store_true", help="dependency expression TRUE")
    p.add_argument("--ui", default=None, help="user-interface name (default: the image's base name)")
    args = p.parse_args(argv[1:])
    if args.depex_true == bool(args.depex_ppi):
        p.error("give either --depex-ppi or --depex-true")
    try:
        with open(args.image, "rb") as f:
            image = f.read()
        out = build(image, guid_arg(args.name), [guid_arg(g) for g in args.depex_ppi],
                    args.ui or os.path.splitext(os.path.basename(args.image))[0])
    except (OSError, ffs.FfsError, pecoff.ImageError) as e:
        print(f"mkffs: {e}", file=sys.stderr)
        return 1
    with open(args.out, "wb") as f:
        f.write(out)
    print(f"mkffs: {args.out}: {len(out)} bytes, file {ffs.guid_text(out[:16])}, "
          f"depex {'TRUE' if args.depex_true else ' AND '.join(g.rpartition(':')[2] for g in args.depex_ppi)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
