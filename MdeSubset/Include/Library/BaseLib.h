/** @file
  Processor, string, arithmetic and unaligned-access helpers.
**/
#ifndef __BASE_LIB__
#define __BASE_LIB__

#pragma pack (1)
///
/// The 6-byte image SIDT stores: 16-bit limit, 32-bit base.
///
typedef struct {
  UINT16  Limit;
  UINTN   Base;
} IA32_DESCRIPTOR;
#pragma pack ()
STATIC_ASSERT (sizeof (IA32_DESCRIPTOR) == 6, "IDTR image is 6 bytes");

/** Number of characters before the NUL. */
UINTN
EFIAPI
AsciiStrnLenS (
  IN CONST CHAR8  *String,
  IN UINTN        MaxSize
  );

/** Number of characters before the NUL; asserts on NULL and on a string too long. */
UINTN
EFIAPI
AsciiStrLen (
  IN      CONST CHAR8  *String
  );

/** 64-by-32 division: the quotient, and the remainder where Remainder is given. */
UINT64
EFIAPI
DivU64x32Remainder (
  IN      UINT64  Dividend,
  IN      UINT32  Divisor,
  OUT     UINT32  *Remainder  OPTIONAL
  );

/** Little-endian 16-bit read at any address. */
UINT16
EFIAPI
ReadUnaligned16 (
  IN CONST UINT16  *Buffer
  );

/** Little-endian 32-bit read at any address. */
UINT32
EFIAPI
ReadUnaligned32 (
  IN      CONST UINT32  *Buffer
  );

/** Little-endian 64-bit read at any address. */
UINT64
EFIAPI
ReadUnaligned64 (
  IN      CONST UINT64  *Buffer
  );

/** Little-endian 64-bit write at any address; returns Value. */
UINT64
EFIAPI
WriteUnaligned64 (
  OUT     UINT64  *Buffer,
  IN      UINT64  Value
  );

/** Spin-loop hint. */
VOID
EFIAPI
CpuPause (
  VOID
  );

/** Raises a breakpoint. */
VOID
EFIAPI
CpuBreakpoint (
  VOID
  );

/** Loops until a debugger releases it. */
VOID
EFIAPI
CpuDeadLoop (
  VOID
  );

/** Executes CPUID(Index) and stores each register whose destination is given; returns Index. */
UINT32
EFIAPI
AsmCpuid (
  IN      UINT32  Index,
  OUT     UINT32  *Eax   OPTIONAL,
  OUT     UINT32  *Ebx   OPTIONAL,
  OUT     UINT32  *Ecx   OPTIONAL,
  OUT     UINT32  *Edx   OPTIONAL
  );

/** Stores the IDTR image at Idtr. */
VOID
EFIAPI
AsmReadIdtr (
  OUT     IA32_DESCRIPTOR  *Idtr
  );

#endif
