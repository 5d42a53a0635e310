/** @file
  Processor, string, arithmetic and unaligned-access helpers.
**/
#pragma once

#include <Base.h>
#include <Library/CpuIntrinsicsLib.h>

/// Longest ASCII string the module handles (format strings, buffer sizes).
constexpr UINTN kMaximumAsciiStringLength = 1000000;

extern "C" {

/** Little-endian 16-bit read at any address; asserts "Buffer != ((void *) 0)". */
UINT16 ReadUnaligned16(IN CONST UINT16 *Buffer);
/** Little-endian 32-bit read at any address; asserts "Buffer != ((void *) 0)". */
UINT32 ReadUnaligned32(IN CONST UINT32 *Buffer);
/** Little-endian 64-bit read at any address; asserts "Buffer != ((void *) 0)". */
UINT64 ReadUnaligned64(IN CONST UINT64 *Buffer);
/** Little-endian 64-bit write at any address; returns Value. */
UINT64 WriteUnaligned64(OUT UINT64 *Buffer, IN UINT64 Value);

/** Copies a GUID as two unaligned 64-bit halves; returns Destination. */
EFI_GUID *CopyGuid(OUT EFI_GUID *Destination, IN CONST EFI_GUID *Source);
/** TRUE when both 64-bit halves of the two GUIDs are equal. */
BOOLEAN CompareGuid(IN CONST EFI_GUID *Guid1, IN CONST EFI_GUID *Guid2);

/** Stores the IDTR image at Idtr; asserts "Idtr != ((void *) 0)". */
VOID AsmReadIdtr(OUT IA32_DESCRIPTOR *Idtr);
/** Executes CPUID(Index) and stores each register whose destination is given; returns Index. */
UINT32 AsmCpuid(IN UINT32 Index, OUT UINT32 *Eax OPTIONAL, OUT UINT32 *Ebx OPTIONAL,
                       OUT UINT32 *Ecx OPTIONAL, OUT UINT32 *Edx OPTIONAL);
/** Raises a breakpoint. */
VOID CpuBreakpoint(VOID);
/** Spin-loop hint. */
VOID CpuPause(VOID);
/** Signals the halt codes and spins until a debugger releases it. */
VOID CpuDeadLoop(VOID);

/** Number of characters before the NUL; asserts on NULL and on more than 1000000. */
UINTN AsciiStrLen(IN CONST CHAR8 *String);
/** Length of String, at most MaxSize; 0 for NULL. */
UINTN AsciiStrnLenS(IN CONST CHAR8 *String, IN UINTN MaxSize);

/** 64-by-32 division without compiler helpers; asserts "Divisor != 0". */
UINT64 DivU64x32Remainder(IN UINT64 Dividend, IN UINT32 Divisor, OUT UINT32 *Remainder OPTIONAL);

}
