#!/usr/bin/env python3
"""Proves that our standard-named headers declare what the framework's declare.

Our own build compiles against MdeSubset/Include: headers named as the framework's
(Base.h, Library/BaseLib.h, Pi/PiHob.h, ...), each holding a subset of what the
framework's header of that name declares. A platform builds the same sources against
the framework's headers, so every declaration of ours must be one of theirs, identical:

  - functions: the type (return type and parameter types, as spelled) and EFIAPI;
  - typedefs: the type they name and EFIAPI (function-pointer types);
  - structures, unions: the fields (names and types, in order) and the size;
  - enumerations: the constants and their values;
  - variables (the GUIDs): the type;
  - macros: the replacement tokens, with MDEPKG_NDEBUG unset and set;

and it must be declared in the framework's header of the same name (MdePkg, or
MdeModulePkg for the classes that package declares). EXCEPTIONS lists the few
deliberate differences, each with its reason. Both sides are parsed by libclang for
IA32, as the framework's build compiles them (-m32, -fshort-wchar).

Also checked: MdeSubset/MdePkg.dec (what our build reads of the framework's package
declaration: GUIDs, PCD tokens, types and defaults) against MdePkg.dec, and, given
--autogen, the library constructor order of our generated AutoGen.cpp against the
framework's AutoGen.c of the module.

    check-headers.py --mdepkg DIR --root DIR [--autogen EDK2_AUTOGEN_C] [--our-autogen AUTOGEN_CPP]
DIR of --mdepkg is the framework's MdePkg (MdeModulePkg beside it). Prints one line per
header; exit status 1 when something differs.
"""
import argparse
import os
import re
import sys

try:
    import clang.cindex as ci
except ImportError:  # Debian's python3-clang-14, for a python3 that is not Debian's own
    sys.path.append("/usr/lib/python3/dist-packages")
    import clang.cindex as ci

# (header, name): why ours differs from the framework's.
EXCEPTIONS = {
    ("Base.h", "NULL"): "a plain ((void *) 0) where the framework may use the compiler's: the texts of "
                        "the module's assertions spell it so",
    ("Ia32/ProcessorBind.h", "EFIAPI"): "our own build compiles with -mregparm=3: EFIAPI adds regparm(0) "
                                        "to keep the stack convention the framework's cdecl gives",
    ("Library/DebugLib.h", "_ASSERT"): "the assertion's description is the expression as written "
                                       "(\"!EFI_ERROR (Status)\"), the texts the module's console shows",
}

KINDS = {
    ci.CursorKind.FUNCTION_DECL: "function",
    ci.CursorKind.TYPEDEF_DECL: "typedef",
    ci.CursorKind.STRUCT_DECL: "struct",
    ci.CursorKind.UNION_DECL: "union",
    ci.CursorKind.ENUM_DECL: "enum",
    ci.CursorKind.VAR_DECL: "variable",
    ci.CursorKind.MACRO_DEFINITION: "macro",
}


def parse(header, includes, defines):
    """The translation unit of PiPei.h and HEADER, for IA32."""
    text = "#include <PiPei.h>\n" if header not in ("Base.h", "Ia32/ProcessorBind.h") else ""
    text += f"#include <{header}>\n"
    args = ["-m32", "-xc", "-std=gnu11", "-fshort-wchar", "-ffreestanding"]
    args += [f"-I{path}" for path in includes] + [f"-D{d}" for d in defines]
    tu = ci.Index.create().parse("check.c", args=args, unsaved_files=[("check.c", text)],
                                 options=ci.TranslationUnit.PARSE_DETAILED_PROCESSING_RECORD |
                                 ci.TranslationUnit.PARSE_SKIP_FUNCTION_BODIES)
    errors = [str(d) for d in tu.diagnostics if d.severity >= ci.Diagnostic.Error]
    return tu, errors


def spelled(type_):
    """A type as spelled, without its calling-convention attributes (EFIAPI is checked apart)."""
    text = re.sub(r"__attribute__\(\((cdecl|regparm\s*\(\s*0\s*\))\)\)", "", type_.spelling)
    return re.sub(r"\s+", " ", text.replace("EFIAPI", "")).strip()


def has_efiapi(cursor):
    return any(t.spelling == "EFIAPI" for t in cursor.get_tokens())


def record_shape(type_):
    declaration = type_.get_canonical().get_declaration()
    fields = [(f.spelling, spelled(f.type)) for f in declaration.get_children()
              if f.kind == ci.CursorKind.FIELD_DECL]
    return (tuple(fields), type_.get_size())


def describe(cursor):
    """What must be equal, for one declaration."""
    kind = cursor.kind
    if kind == ci.CursorKind.FUNCTION_DECL:
        return (spelled(cursor.type), has_efiapi(cursor))
    if kind == ci.CursorKind.TYPEDEF_DECL:
        underlying = cursor.underlying_typedef_type
        declaration = underlying.get_canonical().get_declaration()
        if declaration.kind in (ci.CursorKind.STRUCT_DECL, ci.CursorKind.UNION_DECL) and \
                not declaration.spelling:
            return ("anonymous record",) + record_shape(underlying)
        return (spelled(underlying), has_efiapi(cursor))
    if kind in (ci.CursorKind.STRUCT_DECL, ci.CursorKind.UNION_DECL):
        return record_shape(cursor.type) if cursor.is_definition() else ("declared",)
    if kind == ci.CursorKind.ENUM_DECL:
        return tuple((c.spelling, c.enum_value) for c in cursor.get_children())
    if kind == ci.CursorKind.VAR_DECL:
        return (spelled(cursor.type),)
    tokens = [t.spelling for t in cursor.get_tokens()]
    return (" ".join(tokens[1:]),)


def declarations(tu, path):
    """{(kind, name): description} of what PATH itself declares in TU."""
    found = {}
    guard = None
    with open(path, encoding="utf-8", errors="replace") as f:
        m = re.search(r"^\s*#\s*ifndef\s+(\w+)", f.read(), re.M)
        guard = m.group(1) if m else None
    for cursor in tu.cursor.get_children():
        if cursor.kind not in KINDS or cursor.location.file is None:
            continue
        if os.path.realpath(cursor.location.file.name) != os.path.realpath(path):
            continue
        if not cursor.spelling or (cursor.kind == ci.CursorKind.MACRO_DEFINITION and cursor.spelling == guard):
            continue
        if cursor.kind in (ci.CursorKind.STRUCT_DECL, ci.CursorKind.UNION_DECL) and not cursor.is_definition():
            continue
        found[(KINDS[cursor.kind], cursor.spelling)] = describe(cursor)
    return found


def anywhere(tu, key):
    """The file of TU declaring KEY, if any."""
    for cursor in tu.cursor.get_children():
        if KINDS.get(cursor.kind) == key[0] and cursor.spelling == key[1] and cursor.location.file:
            return cursor.location.file.name
    return None


def check_header(header, ours_root, theirs_roots, failures):
    ours_path = os.path.join(ours_root, "Include", header)
    theirs_path = next((os.path.join(r, "Include", header) for r in theirs_roots
                        if os.path.exists(os.path.join(r, "Include", header))), None)
    if theirs_path is None:
        failures.append(f"{header}: the framework has no header of that name: give ours a name of our own")
        return 0
    ours_includes = [os.path.join(ours_root, "Include"), os.path.join(ours_root, "Include", "Ia32")]
    theirs_includes = [p for r in theirs_roots for p in (os.path.join(r, "Include"), os.path.join(r, "Include", "Ia32"))]
    compared = 0
    found = []
    for defines in ([], ["MDEPKG_NDEBUG"]):
        ours_tu, errors = parse(header, ours_includes, defines)
        if errors:
            failures.append(f"{header}: ours does not compile: {errors[0]}")
            return 0
        theirs_tu, errors = parse(header, theirs_includes, defines)
        if errors:
            failures.append(f"{header}: the framework's does not compile here: {errors[0]}")
            return 0
        ours = declarations(ours_tu, ours_path)
        theirs = declarations(theirs_tu, theirs_path)
        for key, description in sorted(ours.items()):
            if (header, key[1]) in EXCEPTIONS:
                continue
            if key not in theirs:
                other = anywhere(theirs_tu, key)
                message = (f"{header}: {key[0]} {key[1]}: " +
                           (f"the framework declares it in {os.path.relpath(other, os.path.dirname(theirs_roots[0]))}"
                            if other else "the framework's header has no such declaration"))
            elif theirs[key] != description:
                message = f"{header}: {key[0]} {key[1]}: ours {description}, the framework's {theirs[key]}"
            else:
                continue
            if defines and message in found:
                continue
            found.append(message + (" (with MDEPKG_NDEBUG)" if defines else ""))
        compared = max(compared, len(ours))
    failures.extend(found)
    return compared


def read_dec(path):
    """{name: normalised value} of a package declaration's GUIDs and PCDs."""
    entries, section = {}, ""
    with open(path, encoding="utf-8") as f:
        for raw in f:
            line = raw.split("#", 1)[0].strip()
            if not line:
                continue
            if line.startswith("["):
                section = line.strip("[]").split(".")[0].split(",")[0].strip()
                continue
            if section in ("Guids", "Ppis", "Protocols") and "=" in line:
                name, value = (p.strip() for p in line.split("=", 1))
                entries[name] = re.sub(r"\s+", "", value).upper()
            elif section.startswith("Pcds") and "|" in line:
                fields = [p.strip() for p in line.split("|")]
                entries[fields[0]] = (fields[2], int(fields[3], 0), re.sub(r"\s+", "", fields[1]).upper())
    return entries


def check_dec(ours, theirs, failures):
    mine, real = read_dec(ours), read_dec(theirs)
    for name, value in sorted(mine.items()):
        if name not in real:
            failures.append(f"MdePkg.dec: {name}: not in the framework's MdePkg.dec")
        elif real[name] != value:
            failures.append(f"MdePkg.dec: {name}: ours {value}, the framework's {real[name]}")
    return len(mine)


def constructors(path):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    m = re.search(r"ProcessLibraryConstructorList\s*\([^)]*\)\s*\{(.*?)\n\}", text, re.S)
    return re.findall(r"Status\s*=\s*(\w+)\s*\(", m.group(1)) if m else None


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n", 1)[0])
    parser.add_argument("--mdepkg", required=True, help="the framework's MdePkg")
    parser.add_argument("--root", required=True, help="this repository")
    parser.add_argument("--autogen", help="the framework's AutoGen.c of the module")
    parser.add_argument("--our-autogen", help="our generated AutoGen.cpp (default: build/firmware/AutoGen/AutoGen.cpp)")
    args = parser.parse_args(argv)
    subset = os.path.join(args.root, "MdeSubset")
    theirs_roots = [args.mdepkg, os.path.join(os.path.dirname(args.mdepkg.rstrip("/")), "MdeModulePkg")]
    failures = []
    headers = sorted(os.path.relpath(os.path.join(d, f), os.path.join(subset, "Include"))
                     for d, _, files in os.walk(os.path.join(subset, "Include")) for f in files if f.endswith(".h"))
    total = 0
    for header in headers:
        before = len(failures)
        count = check_header(header, subset, theirs_roots, failures)
        total += count
        print(f"{header}: {count} declarations" + ("" if len(failures) == before else " FAIL"))
    entries = check_dec(os.path.join(subset, "MdePkg.dec"), os.path.join(args.mdepkg, "MdePkg.dec"), failures)
    print(f"MdePkg.dec: {entries} entries")
    if args.autogen:
        ours_path = args.our_autogen or os.path.join(args.root, "build", "firmware", "AutoGen", "AutoGen.cpp")
        theirs, ours = constructors(args.autogen), constructors(ours_path)
        if theirs is None or ours is None or theirs != ours:
            failures.append(f"constructor order: ours {ours}, the framework's {theirs}")
        else:
            print(f"constructor order: {', '.join(ours)}, as the framework's AutoGen.c has it")
    for failure in failures:
        print(f"FAIL: {failure}")
    print(f"headers: {len(headers)} standard-named headers, {total} declarations, {entries} package entries: "
          + ("FAIL" if failures else "each as the framework declares it"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
