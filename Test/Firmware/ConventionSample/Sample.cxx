/** @file
  A two-function image for the convention check's own test: an entry point and a
  callback whose address sits in a table. Built with -mregparm=3; with SAMPLE_PLAIN the
  table's type and the callback lack EFIAPI, so the callback takes register arguments.
  It also keeps constant bytes in .text that decode as x87 instructions, as a linker
  script that merges constant data into the code leaves strings there, right after an
  assembly routine; with SAMPLE_X87 that routine executes one, past its first return.
**/
#include <PiPei.h>

#ifdef SAMPLE_PLAIN
#define SAMPLE_CONVENTION
#else
#define SAMPLE_CONVENTION EFIAPI
#endif

typedef UINTN(SAMPLE_CONVENTION *SAMPLE_CALLBACK)(UINTN First, UINTN Second);

extern "C" {

UINTN SAMPLE_CONVENTION SampleCallback(UINTN First, UINTN Second) { return First * 3 + Second; }

extern const SAMPLE_CALLBACK gSampleTable[] = {SampleCallback};

// An assembly routine: a global symbol without type or size, as an assembler leaves it.
#ifdef SAMPLE_X87
#define SAMPLE_ASM_BODY "  test %eax, %eax\n  jnz .Lsample_x87\n  ret\n.Lsample_x87:\n  fld1\n  fstp %st(0)\n  ret\n"
#else
#define SAMPLE_ASM_BODY "  test %eax, %eax\n  jnz .Lsample_x87\n  ret\n.Lsample_x87:\n  dec %eax\n  ret\n"
#endif
// After it, fld1; fstp %st(0) as constant bytes without a symbol (as a string's): data,
// never executed.
__asm__(".text\n.globl SampleAsm\nSampleAsm:\n" SAMPLE_ASM_BODY ".byte 0xD9, 0xE8, 0xDD, 0xD8\n");

UINTN SampleAsm(UINTN Value);

UINTN EFIAPI SampleEntry(UINTN Index) { return gSampleTable[SampleAsm(Index) & 0](Index, 7); }
}
