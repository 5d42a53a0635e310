#!/usr/bin/env python3
"""The header check must pass a subset declared as the framework declares it and name
every kind of difference: a lost EFIAPI, another parameter type, a declaration the
framework's header lacks or keeps elsewhere, a macro that differs only with
MDEPKG_NDEBUG, a structure field of another type, a package-declaration value, and a
constructor order. Each case is one small pair of trees (ours, "the framework's").

    CheckHeadersTest.py
Exit status 0 when every case gives the expected verdict and message.
"""
import argparse
import os
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "..", "..", "Firmware", "Edk2", "check-headers.py")

PIPEI = """#ifndef __PI_PEI_H__
#define __PI_PEI_H__
#define EFIAPI __attribute__((cdecl))
#define IN
#define CONST const
typedef unsigned int UINTN;
typedef unsigned int UINT32;
typedef char CHAR8;
typedef UINTN RETURN_STATUS;
#endif
"""
BASE = "#ifndef __BASE_H__\n#define __BASE_H__\n#endif\n"
THEIRS_LIB = """#ifndef __FOO_LIB_H__
#define __FOO_LIB_H__
#include <Library/BarLib.h>
#define FOO_LEVEL 0x40
#ifdef MDEPKG_NDEBUG
#define FOO_CHECK(X)
#else
#define FOO_CHECK(X) FooAssert (X)
#endif
typedef struct {
  UINT32 Signature;
  UINTN  Length;
} FOO_HEADER;
RETURN_STATUS EFIAPI FooWrite (IN CONST CHAR8 *Text, IN UINTN Length);
UINTN EFIAPI FooCount (void);
#endif
"""
THEIRS_OTHER = "#ifndef __BAR_H__\n#define __BAR_H__\nUINTN EFIAPI BarOnly (void);\n#endif\n"
DEC = """[Guids]
  gFooGuid = { 0x1, 0x2, 0x3, { 0x4, 0x5, 0x6, 0x7, 0x8, 0x9, 0xA, 0xB }}
[PcdsFixedAtBuild]
  gFooTokenSpaceGuid.PcdFooBase|0x80000000|UINT64|0x0000000a
"""
AUTOGEN_C = """VOID EFIAPI ProcessLibraryConstructorList (IN EFI_PEI_FILE_HANDLE FileHandle) {
  EFI_STATUS  Status;

  Status = FirstInit ();
  Status = SecondInit ();
}
"""


def tree(root, files):
    for path, text in files.items():
        full = os.path.join(root, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, "w", encoding="utf-8") as f:
            f.write(text)


def case(name, ours_lib, expect, ours_dec=DEC, our_order=("FirstInit", "SecondInit")):
    """Runs the check on one pair of trees; EXPECT is None (a pass) or a text of the FAIL line."""
    with tempfile.TemporaryDirectory() as work:
        mdepkg = os.path.join(work, "edk2", "MdePkg")
        tree(mdepkg, {"Include/PiPei.h": PIPEI, "Include/Base.h": BASE, "Include/Library/FooLib.h": THEIRS_LIB,
                      "Include/Library/BarLib.h": THEIRS_OTHER, "MdePkg.dec": DEC})
        os.makedirs(os.path.join(work, "edk2", "MdeModulePkg", "Include"))
        ours = os.path.join(work, "repo")
        tree(ours, {"MdeSubset/Include/PiPei.h": PIPEI, "MdeSubset/Include/Base.h": BASE,
                    "MdeSubset/Include/Library/FooLib.h": ours_lib, "MdeSubset/MdePkg.dec": ours_dec})
        theirs_autogen = os.path.join(work, "AutoGen.c")
        ours_autogen = os.path.join(work, "AutoGen.cpp")
        ours_list = "".join(f"  Status = {function} ();\n" for function in our_order)
        tree(work, {"AutoGen.c": AUTOGEN_C, "AutoGen.cpp": AUTOGEN_C.split("  Status = ")[0] + ours_list + "}\n"})
        run = subprocess.run([sys.executable, CHECK, "--mdepkg", mdepkg, "--root", ours, "--autogen", theirs_autogen,
                              "--our-autogen", ours_autogen], capture_output=True, text=True)
        fails = [line for line in run.stdout.splitlines() if line.startswith("FAIL: ")]
        if expect is None:
            ok = run.returncode == 0 and not fails
        else:
            ok = run.returncode == 1 and len(fails) == 1 and expect in fails[0]
        print(f"{'ok  ' if ok else 'FAIL'} {name}")
        if not ok:
            print("     expected " + ("a pass" if expect is None else repr(expect)))
            print("     " + "\n     ".join((run.stdout + run.stderr).strip().splitlines()))
        return ok


def main():
    argparse.ArgumentParser(description=__doc__.strip().splitlines()[0]).parse_args()
    # A subset: one function left out, and the include of the other header (ours needs nothing from it).
    subset = THEIRS_LIB.replace("UINTN EFIAPI FooCount (void);\n", "").replace("#include <Library/BarLib.h>\n", "")
    cases = [
        ("a subset declared as the framework declares it", subset, None),
        ("EFIAPI lost", subset.replace("RETURN_STATUS EFIAPI FooWrite", "RETURN_STATUS FooWrite"),
         "function FooWrite: ours ('RETURN_STATUS (const CHAR8 *, UINTN)', False), the framework's "
         "('RETURN_STATUS (const CHAR8 *, UINTN)', True)"),
        ("another parameter type", subset.replace("IN UINTN Length);", "IN UINT32 Length);"),
         "function FooWrite: ours ('RETURN_STATUS (const CHAR8 *, UINT32)', True)"),
        ("a declaration the framework's header lacks",
         subset.replace("RETURN_STATUS EFIAPI FooWrite", "UINTN EFIAPI FooExtra (void);\nRETURN_STATUS EFIAPI FooWrite"),
         "function FooExtra: the framework's header has no such declaration"),
        ("a declaration the framework keeps in another header",
         subset.replace("RETURN_STATUS EFIAPI FooWrite", "UINTN EFIAPI BarOnly (void);\nRETURN_STATUS EFIAPI FooWrite"),
         "function BarOnly: the framework declares it in MdePkg/Include/Library/BarLib.h"),
        ("a macro that differs only with MDEPKG_NDEBUG", subset.replace("#define FOO_CHECK(X)\n", "#define FOO_CHECK(X) 0\n"),
         "macro FOO_CHECK: ours ('( X ) 0',), the framework's ('( X )',) (with MDEPKG_NDEBUG)"),
        ("a field of another type", subset.replace("  UINTN  Length;", "  UINT32 Length;"),
         "typedef FOO_HEADER: ours ('anonymous record', (('Signature', 'UINT32'), ('Length', 'UINT32')), 8)"),
        ("a package value", subset, "MdePkg.dec: gFooTokenSpaceGuid.PcdFooBase: ours ('UINT64', 11, '0X80000000')",
         DEC.replace("0x0000000a", "0x0000000b")),
        ("a constructor order", subset, "constructor order: ours ['SecondInit', 'FirstInit']", DEC,
         ("SecondInit", "FirstInit")),
    ]
    results = [case(*c) for c in cases]
    print(f"{sum(results)} of {len(results)} cases as expected")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
