#!/usr/bin/env python3
"""Inserts FFS files into a firmware volume of a flash image.

    fvinsert.py IMAGE OUT FILE.ffs [FILE.ffs ...] [--volume GUID] [--base ADDRESS] [--apriori]

The volume is the one named GUID (its extended header), by default the one that holds
the PEI core; it may sit inside FV-image sections and GUID-defined LZMA sections, which
are rebuilt around it. Each file goes into the volume's free space at its data alignment
(a pad file fills any gap); its PE32 images are rebased to the address they will execute
at: the volume's address (ADDRESS, by default what the volume's own modules were linked
for) plus the image's offset. Every checksum is recomputed. With --apriori the files are
also appended, in the order given, to the volume's PEI a-priori file, so that the PEI
core dispatches them before the volume's other modules.
"""
import argparse
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ffs  # noqa: E402 (a module of this folder: after sys.path names it)
import fv  # noqa: E402 (a module of this folder: after sys.path names it)
import pecoff  # noqa: E402 (a module of this folder: after sys.path names it)


def main(argv):
    p = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0])
    p.add_argument("image")
    p.add_argument("out")
    p.add_argument("files", nargs="+")
    p.add_argument("--volume", help="name GUID of the volume (default: the one with the PEI core)")
    p.add_argument("--base", type=lambda s: int(s, 0), help="address the volume executes at")
    p.add_argument("--apriori", action="store_true", help="append the files to the PEI a-priori file")
    args = p.parse_args(argv[1:])
    wanted = ffs.guid_bytes(args.volume) if args.volume else None
    report = []

    def visit(volume):
        if wanted is not None and volume.name != wanted:
            return False
        if wanted is None and not any(f["type"] == fv.FILE_PEI_CORE for _, f in volume.files()):
            return False
        base = args.base if args.base is not None else volume.executes_at()
        if base is None:
            raise fv.FvError("the volume holds no PE32 image to tell its address: give --base")
        names = []
        for path in args.files:
            with open(path, "rb") as f:
                raw = f.read()
            pos = volume.insert(raw, base)
            names.append(raw[:16])
            report.append(f"fvinsert: {os.path.basename(path)} at volume offset {pos:#x}, "
                          f"data at {base + pos + ffs.FILE_HEADER_SIZE:#010x}")
        if args.apriori:
            volume.add_to_apriori(names)
            report.append(f"fvinsert: {len(names)} file(s) added to the PEI a-priori file")
        name = ffs.guid_text(volume.name) if volume.name else "(unnamed)"
        report.insert(0, f"fvinsert: volume {name} executes at {base:#010x}, "
                         f"{volume.length - volume.free_start()} bytes left free")
        return True

    try:
        with open(args.image, "rb") as f:
            image = f.read()
        out = fv.rewrite_image(image, visit)
        if out is None:
            raise fv.FvError("no such volume in the image")
    except (OSError, ffs.FfsError, fv.FvError, pecoff.ImageError) as e:
        print(f"fvinsert: {e}", file=sys.stderr)
        return 1
    with open(args.out, "wb") as f:
        f.write(out)
    print("\n".join(report))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
