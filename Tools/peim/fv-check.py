#!/usr/bin/env python3
"""Checks a flash image with an independent parser (UEFIExtract, Debian's uefitool-cli):
every checksum it reports is valid, and each given FFS file is listed with all its
sections, its PE32 image being the original rebased to where the volume places it.

    fv-check.py IMAGE FILE.ffs [FILE.ffs ...]
Exit status: 0 valid, 1 a finding, 2 UEFIExtract missing.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import ffs  # noqa: E402 (a module of this folder: after sys.path names it)
import pecoff  # noqa: E402 (a module of this folder: after sys.path names it)

SECTION_NAMES = {ffs.SECTION_PEI_DEPEX: "PEI dependency", ffs.SECTION_RAW: "Raw",
                 ffs.SECTION_PE32: "PE32 image", ffs.SECTION_USER_INTERFACE: "UI"}


def read(path):
    with open(path, "rb") as f:
        return f.read()


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.strip().splitlines()[0],
                                     formatter_class=argparse.RawDescriptionHelpFormatter, epilog=__doc__)
    parser.add_argument("image", help="the flash image")
    parser.add_argument("files", nargs="+", metavar="FILE.ffs", help="FFS files the image must hold")
    args = parser.parse_args(argv[1:])
    argv = [argv[0], args.image] + args.files
    tool = shutil.which("UEFIExtract")
    if not tool:
        print("fv-check: UEFIExtract not found (Debian package uefitool-cli)", file=sys.stderr)
        return 2
    problems = []
    with tempfile.TemporaryDirectory() as tmp:
        image = os.path.join(tmp, "image.fd")
        shutil.copyfile(argv[1], image)
        out = subprocess.run([tool, image, "all"], capture_output=True, text=True)
        if out.returncode != 0:
            problems.append(f"UEFIExtract exit status {out.returncode}: {out.stdout.strip()} {out.stderr.strip()}")
        infos = {}
        for root, _, names in os.walk(image + ".dump"):
            if "info.txt" in names:
                with open(os.path.join(root, "info.txt"), encoding="utf-8", errors="replace") as f:
                    infos[root] = f.read()
        checked = 0
        for root, text in infos.items():
            for line in text.splitlines():
                if re.search(r"checksum", line, re.I):
                    checked += 1
                    if "valid" not in line or "invalid" in line:
                        problems.append(f"{os.path.relpath(root, image + '.dump')}: {line.strip()}")
        for path in argv[2:]:
            raw = read(path)
            f = ffs.parse_file(raw, erase_polarity=0)
            guid = ffs.guid_text(f["name"])
            folders = [r for r, t in infos.items() if f"File GUID: {guid}" in t]
            if len(folders) != 1:
                problems.append(f"{os.path.basename(path)}: file {guid} listed {len(folders)} times")
                continue
            folder = folders[0]
            listed = sorted((d for d in os.listdir(folder) if os.path.isdir(os.path.join(folder, d))),
                            key=lambda d: int(d.split()[0]))
            wanted = [SECTION_NAMES.get(t, f"type {t:#x}") for _, t, _, _ in ffs.sections_of(f["data"])]
            got = [infos[os.path.join(folder, d)].split("Subtype: ")[1].splitlines()[0] for d in listed]
            if got != wanted:
                problems.append(f"{os.path.basename(path)}: sections {got}, expected {wanted}")
            for d, (_, stype, _, body) in zip(listed, ffs.sections_of(f["data"])):
                if stype != ffs.SECTION_PE32:
                    continue
                placed = read(os.path.join(folder, d, "body.bin"))
                base = pecoff.PeImage(placed).image_base
                if placed != pecoff.PeImage(body).rebased(base):
                    problems.append(f"{os.path.basename(path)}: PE32 image is not the original rebased to {base:#x}")
                else:
                    print(f"fv-check: {os.path.basename(path)}: file {guid}, sections {', '.join(got)}; "
                          f"PE32 rebased to {base:#010x}")
    for p in problems:
        print(f"fv-check: FAIL: {p}")
    if not problems:
        print(f"fv-check: {checked} checksums reported by UEFIExtract, all valid")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
