#!/usr/bin/env python3
"""What EDK II's build generates for a module (AutoGen.h and AutoGen.c), made for our own
CMake builds from the same package files, so that both builds take the GUIDs, the PCD
values, the module's name and entry point and the order of the library constructors
from one place: QuarnPkg.dec, QuarnPkg.dsc and the INF files.

    autogen.py --root DIR --out DIR [--dec FILE]... --dsc FILE --module INF

Writes into --out:
  AutoGenPcd.h  the FixedAtBuild PCDs: _PCD_VALUE_<Name>, _PCD_GET_MODE_<Size>_<Name>
                (the forms PcdLib.h's FixedPcdGet and PcdGet expand to); nothing else,
                so that host code (the emulator, tests) can take the board's values too
  AutoGen.h     the module's view: the PI headers, the debug library, the entry point
                class, the PCDs, gEfiCallerIdGuid and gEfiCallerBaseName
  AutoGen.cpp   every GUID of the DEC files, the module's GUID and name, and
                ProcessLibraryConstructorList / ProcessModuleEntryPointList

The constructors run in the order EDK II's build gives them: a library's constructor
after those of the libraries it consumes (directly or through others). Only our own
library instances (DSC lines into QuarnPkg) carry constructors; the framework's
instances of the standard classes, which our builds replace with their own, have none.
"""
import argparse
import os
import re
import sys


class PackageError(Exception):
    """A package file that cannot be used; the message names the file and line."""


def sections(path):
    """Yields (section name in lower case, line number, text) for every content line."""
    section = None
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("["):
                if not line.endswith("]"):
                    raise PackageError(f"{path}:{number}: unterminated section header")
                section = line[1:-1].strip()
                continue
            if section is None:
                raise PackageError(f"{path}:{number}: content before the first section")
            for name in section.split(","):
                yield name.strip().lower(), number, line


GUID_VALUE = re.compile(r"^\{\s*(0x[0-9A-Fa-f]+)\s*,\s*(0x[0-9A-Fa-f]+)\s*,\s*(0x[0-9A-Fa-f]+)\s*,"
                        r"\s*\{((?:\s*0x[0-9A-Fa-f]+\s*,){7}\s*0x[0-9A-Fa-f]+\s*)\}\s*\}$")
PCD_TYPES = {"UINT8": (1, "8", "U"), "UINT16": (2, "16", "U"), "UINT32": (4, "32", "U"),
             "UINT64": (8, "64", "ULL"), "BOOLEAN": (1, "BOOL", "U")}


def parse_guid(path, number, text):
    """A DEC GUID value as a C initializer with the fields the framework writes."""
    match = GUID_VALUE.match(text)
    if not match:
        raise PackageError(f"{path}:{number}: not a GUID value: {text}")
    data4 = [int(x, 16) for x in match.group(4).split(",")]
    fields = [int(match.group(i), 16) for i in (1, 2, 3)]
    if fields[0] > 0xFFFFFFFF or fields[1] > 0xFFFF or fields[2] > 0xFFFF or max(data4) > 0xFF:
        raise PackageError(f"{path}:{number}: a GUID field is out of range: {text}")
    return "{0x%08X, 0x%04X, 0x%04X, {%s}}" % (fields[0], fields[1], fields[2],
                                               ", ".join("0x%02X" % b for b in data4))


def read_dec(path, guids, pcds):
    """GUIDs (name -> initializer) and FixedAtBuild PCDs (name -> dict) of a DEC file."""
    for section, number, line in sections(path):
        base = section.split(".")[0]
        if base in ("guids", "ppis", "protocols"):
            name, _, value = line.partition("=")
            guids[name.strip()] = parse_guid(path, number, value.strip())
        elif base.startswith("pcdsfixedatbuild"):
            parts = [p.strip() for p in line.split("|")]
            if len(parts) != 4 or "." not in parts[0]:
                raise PackageError(f"{path}:{number}: a PCD is Space.Name|Value|Type|Token: {line}")
            space, name = parts[0].split(".", 1)
            if parts[2] not in PCD_TYPES:
                raise PackageError(f"{path}:{number}: PCD type {parts[2]} is not a fixed-size number")
            pcds[name] = {"space": space, "value": parts[1], "type": parts[2], "token": parts[3],
                          "where": f"{path}:{number}"}


def read_dsc(path):
    """The [LibraryClasses] mapping and the [PcdsFixedAtBuild] values of a DSC file."""
    classes, values = {}, {}
    for section, number, line in sections(path):
        base = section.split(".")[0]
        if base == "libraryclasses":
            name, _, instance = line.partition("|")
            classes[name.strip()] = instance.strip()
        elif base == "pcdsfixedatbuild":
            key, _, value = line.partition("|")
            if "." not in key:
                raise PackageError(f"{path}:{number}: a PCD value is Space.Name|Value: {line}")
            values[key.split(".", 1)[1].strip()] = (value.strip(), f"{path}:{number}")
    return classes, values


def read_inf(path):
    """[Defines] and [LibraryClasses] of an INF file."""
    defines, consumed = {}, []
    for section, number, line in sections(path):
        base = section.split(".")[0]
        if base == "defines":
            key, _, value = line.partition("=")
            defines.setdefault(key.strip(), []).append(value.strip())
        elif base == "libraryclasses":
            consumed.append(line.split("|")[0].strip())
    return defines, consumed


def number(text, where):
    """A PCD value written in decimal, hex, TRUE or FALSE."""
    if text in ("TRUE", "FALSE"):
        return 1 if text == "TRUE" else 0
    try:
        return int(text, 0)
    except ValueError:
        raise PackageError(f"{where}: PCD value {text} is not a number") from None


# A library constructor's prototype and the check of its result, by the library's
# MODULE_TYPE, as EDK II's AutoGen declares and calls them.
CONSTRUCTOR_FORMS = {
    "BASE": ("RETURN_STATUS EFIAPI {name}(VOID);", "  Status = {name}();", "  ASSERT_RETURN_ERROR (Status);"),
    "PEIM": ("EFI_STATUS EFIAPI {name}(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices);",
             "  Status = {name}(FileHandle, PeiServices);", "  ASSERT_EFI_ERROR (Status);"),
}


def constructor_order(module_inf, classes, root):
    """(function, MODULE_TYPE) of the constructors of our library instances, consumed ones first."""
    package_prefix = "QuarnPkg/"
    instances = {}

    def visit(class_name):
        path = classes.get(class_name)
        if path is None or not path.startswith(package_prefix):
            return None
        inf = os.path.join(root, path[len(package_prefix):])
        if inf not in instances:
            defines, consumed = read_inf(inf)
            module_type = defines.get("MODULE_TYPE", ["BASE"])[0]
            if defines.get("CONSTRUCTOR") and module_type not in CONSTRUCTOR_FORMS:
                raise PackageError(f"{inf}: a constructor of a {module_type} library is not supported "
                                   f"(only {', '.join(CONSTRUCTOR_FORMS)})")
            instances[inf] = {"constructors": [(name, module_type) for name in defines.get("CONSTRUCTOR", [])],
                              "consumes": set()}
            for consumed_class in consumed:
                target = visit(consumed_class)
                if target is not None:
                    instances[inf]["consumes"].add(target)
        return inf

    _, module_classes = read_inf(module_inf)
    for class_name in module_classes:
        visit(class_name)

    def reaches(start):
        seen, stack = set(), [start]
        while stack:
            for nxt in instances[stack.pop()]["consumes"]:
                if nxt not in seen:
                    seen.add(nxt)
                    stack.append(nxt)
        return seen

    with_constructors = sorted(inf for inf, data in instances.items() if data["constructors"])
    below = {inf: reaches(inf) for inf in with_constructors}
    ordered = []
    remaining = list(with_constructors)
    while remaining:
        ready = [inf for inf in remaining if not (below[inf] & set(remaining))]
        if not ready:
            raise PackageError("the library constructors consume each other in a cycle: " + ", ".join(remaining))
        ordered.append(ready[0])
        remaining.remove(ready[0])
    return [name for inf in ordered for name in instances[inf]["constructors"]]


def write_if_changed(path, text):
    """Writes text to path unless it already holds it (so that nothing rebuilds needlessly)."""
    try:
        with open(path, encoding="utf-8") as f:
            if f.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8") as f:
        f.write(text)


HEADER = "// Generated by cmake/autogen.py from {sources}; do not edit.\n"


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0])
    parser.add_argument("--root", required=True, help="the package's directory (QuarnPkg)")
    parser.add_argument("--out", required=True, help="where the generated files go")
    parser.add_argument("--dec", action="append", required=True, help="a package declaration (DEC)")
    parser.add_argument("--dsc", required=True, help="the platform description with the PCD values")
    parser.add_argument("--module", required=True, help="the module's INF")
    args = parser.parse_args(argv)

    guids, pcds = {}, {}
    for dec in args.dec:
        read_dec(dec, guids, pcds)
    classes, values = read_dsc(args.dsc)
    for name, (value, where) in values.items():
        if name not in pcds:
            raise PackageError(f"{where}: {name} is declared in no DEC file")
        pcds[name]["value"], pcds[name]["where"] = value, where
    module_defines, _ = read_inf(args.module)
    for key in ("BASE_NAME", "FILE_GUID", "ENTRY_POINT"):
        if key not in module_defines:
            raise PackageError(f"{args.module}: [Defines] has no {key}")
    base_name = module_defines["BASE_NAME"][0]
    file_guid = module_defines["FILE_GUID"][0]
    if not re.fullmatch(r"[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}", file_guid):
        raise PackageError(f"{args.module}: FILE_GUID {file_guid} is not a GUID")
    g = file_guid.split("-")
    caller = "{0x%s, 0x%s, 0x%s, {0x%s, 0x%s, %s}}" % (
        g[0].upper(), g[1].upper(), g[2].upper(), g[3][:2].upper(), g[3][2:].upper(),
        ", ".join("0x" + g[4][i:i + 2].upper() for i in range(0, 12, 2)))
    constructors = constructor_order(args.module, classes, args.root)

    sources = ", ".join(os.path.relpath(p, args.root) for p in args.dec + [args.dsc, args.module])
    os.makedirs(args.out, exist_ok=True)

    pcd_lines = [HEADER.format(sources=sources), "#ifndef QUARN_AUTOGEN_PCD_H_", "#define QUARN_AUTOGEN_PCD_H_", ""]
    for name in sorted(pcds):
        pcd = pcds[name]
        size, mode, suffix = PCD_TYPES[pcd["type"]]
        value = number(pcd["value"], pcd["where"])
        if value < 0 or value >= 1 << (8 * size):
            raise PackageError(f"{pcd['where']}: {name} = {pcd['value']} does not fit {pcd['type']}")
        literal = ("((BOOLEAN)%dU)" % value) if pcd["type"] == "BOOLEAN" else ("0x%X%s" % (value, suffix))
        pcd_lines += [f"#define _PCD_TOKEN_{name}  {number(pcd['token'], pcd['where'])}U",
                      f"#define _PCD_SIZE_{name} {size}",
                      f"#define _PCD_VALUE_{name}  {literal}",
                      f"#define _PCD_GET_MODE_{mode}_{name}  _PCD_VALUE_{name}", ""]
    pcd_lines += ["#endif", ""]
    write_if_changed(os.path.join(args.out, "AutoGenPcd.h"), "\n".join(pcd_lines))

    header = [HEADER.format(sources=sources), "#ifndef QUARN_AUTOGEN_H_", "#define QUARN_AUTOGEN_H_", "",
              "#ifdef __cplusplus", 'extern "C" {', "#endif", "",
              "#include <PiPei.h>", "#include <Library/DebugLib.h>", "#include <Library/PeimEntryPoint.h>",
              "#include <Library/PcdLib.h>", '#include "AutoGenPcd.h"', "",
              "extern GUID  gEfiCallerIdGuid;", "extern CHAR8 *gEfiCallerBaseName;", "",
              "#ifdef __cplusplus", "}", "#endif", "", "#endif", ""]
    write_if_changed(os.path.join(args.out, "AutoGen.h"), "\n".join(header))

    values = [HEADER.format(sources=sources), "#ifndef QUARN_AUTOGEN_GUID_VALUES_H_", "#define QUARN_AUTOGEN_GUID_VALUES_H_", "",
              "// The GUIDs of the DEC files as constants, for code outside the module that needs",
              "// one at compile time (the boards of the ROM and OVMF boots, the emulator): the",
              "// module itself uses the objects, as EDK II's build defines them.",
              "namespace quarn_guid_value {", ""]
    values += [f"inline constexpr EFI_GUID {name} = {value};" for name, value in sorted(guids.items())]
    values += ["", "// The module's file GUID: the caller of its status codes.",
               f"inline constexpr EFI_GUID gEfiCallerIdGuid = {caller};"]
    values += ["", "}  // namespace quarn_guid_value", "", "#endif", ""]
    write_if_changed(os.path.join(args.out, "AutoGenGuidValues.h"), "\n".join(values))

    body = [HEADER.format(sources=sources), '#include "AutoGen.h"', "", 'extern "C" {', "",
            f"GLOBAL_REMOVE_IF_UNREFERENCED GUID gEfiCallerIdGuid = {caller};",
            f'GLOBAL_REMOVE_IF_UNREFERENCED CHAR8 *gEfiCallerBaseName = const_cast<CHAR8 *>("{base_name}");', ""]
    body += [f"GLOBAL_REMOVE_IF_UNREFERENCED EFI_GUID {name} = {value};" for name, value in sorted(guids.items())]
    body += [""]
    body += [CONSTRUCTOR_FORMS[kind][0].format(name=name) for name, kind in constructors]
    body += ["", "VOID EFIAPI ProcessLibraryConstructorList(IN EFI_PEI_FILE_HANDLE FileHandle,",
             "                                          IN CONST EFI_PEI_SERVICES **PeiServices) {"]
    if constructors:
        body += ["  EFI_STATUS Status;"]
        for name, kind in constructors:
            body += [line.format(name=name) for line in CONSTRUCTOR_FORMS[kind][1:]]
    body += ["}", "",
             f"EFI_STATUS EFIAPI {module_defines['ENTRY_POINT'][0]}(IN EFI_PEI_FILE_HANDLE FileHandle,",
             "                                  IN CONST EFI_PEI_SERVICES **PeiServices);", "",
             "EFI_STATUS EFIAPI ProcessModuleEntryPointList(IN EFI_PEI_FILE_HANDLE FileHandle,",
             "                                              IN CONST EFI_PEI_SERVICES **PeiServices) {",
             f"  return {module_defines['ENTRY_POINT'][0]}(FileHandle, PeiServices);", "}", "", "}", ""]
    write_if_changed(os.path.join(args.out, "AutoGen.cpp"), "\n".join(body))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv[1:]))
    except (PackageError, OSError) as error:
        print(f"autogen.py: {error}", file=sys.stderr)
        sys.exit(2)
