/** @file
  The hardware seam: every operation of the module that touches hardware. Two
  instances exist, chosen at link time: one executes the instructions, the other
  forwards each operation to the platform emulator. Nothing else in the module
  executes an instruction that reaches hardware.
**/
#pragma once

extern "C" {
#include <Base.h>
#include <Library/BaseLib.h>  // IA32_DESCRIPTOR
}

extern "C" {

/** Reads one byte from an I/O port. */
UINT8 CpuIoRead8(IN UINT16 Port);
/** Writes one byte to an I/O port. */
VOID CpuIoWrite8(IN UINT16 Port, IN UINT8 Value);
/** Reads 32 bits from an I/O port. */
UINT32 CpuIoRead32(IN UINT16 Port);
/** Writes 32 bits to an I/O port. */
VOID CpuIoWrite32(IN UINT16 Port, IN UINT32 Value);

/** One volatile byte load from a physical address. */
UINT8 CpuMmioRead8(IN UINTN Address);
/** One volatile byte store to a physical address. */
VOID CpuMmioWrite8(IN UINTN Address, IN UINT8 Value);
/** One volatile 32-bit load from a physical address. */
UINT32 CpuMmioRead32(IN UINTN Address);
/** One volatile 32-bit store to a physical address. */
VOID CpuMmioWrite32(IN UINTN Address, IN UINT32 Value);

/** Executes CPUID with Leaf in EAX (ECX 0); Registers receives EAX, EBX, ECX, EDX. */
VOID CpuCpuid(IN UINT32 Leaf, OUT UINT32 Registers[4]);
/** Stores the IDTR image (SIDT). */
VOID CpuSidt(OUT IA32_DESCRIPTOR *Idtr);

/** MM0 -> *Value, then EMMS. */
VOID CpuReadMm0(OUT UINT64 *Value);
/** *Value -> MM0, then EMMS. */
VOID CpuWriteMm0(IN CONST UINT64 *Value);
/** MM7 -> *Value, then EMMS. */
VOID CpuReadMm7(OUT UINT64 *Value);
/** *Value -> MM7, then EMMS. */
VOID CpuWriteMm7(IN CONST UINT64 *Value);

/** Raises a breakpoint (INT3). */
VOID CpuInt3(VOID);
/** Spin-loop hint (PAUSE). */
VOID CpuPauseHint(VOID);
}
