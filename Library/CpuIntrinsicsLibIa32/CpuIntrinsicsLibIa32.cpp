/** @file
  The hardware seam on a real processor: each operation is the instruction itself.
**/
#include <Library/CpuIntrinsicsLib.h>

extern "C" {

UINT8 CpuIoRead8(IN UINT16 Port) {
  UINT8 Value;
  __asm__ __volatile__("inb %w1, %b0" : "=a"(Value) : "Nd"(Port));
  return Value;
}

VOID CpuIoWrite8(IN UINT16 Port, IN UINT8 Value) { __asm__ __volatile__("outb %b0, %w1" : : "a"(Value), "Nd"(Port)); }

UINT32 CpuIoRead32(IN UINT16 Port) {
  UINT32 Value;
  __asm__ __volatile__("inl %w1, %0" : "=a"(Value) : "Nd"(Port));
  return Value;
}

VOID CpuIoWrite32(IN UINT16 Port, IN UINT32 Value) { __asm__ __volatile__("outl %0, %w1" : : "a"(Value), "Nd"(Port)); }

UINT8 CpuMmioRead8(IN UINTN Address) { return *reinterpret_cast<volatile UINT8 *>(Address); }

VOID CpuMmioWrite8(IN UINTN Address, IN UINT8 Value) { *reinterpret_cast<volatile UINT8 *>(Address) = Value; }

UINT32 CpuMmioRead32(IN UINTN Address) { return *reinterpret_cast<volatile UINT32 *>(Address); }

VOID CpuMmioWrite32(IN UINTN Address, IN UINT32 Value) { *reinterpret_cast<volatile UINT32 *>(Address) = Value; }

VOID CpuCpuid(IN UINT32 Leaf, OUT UINT32 Registers[4]) {
  __asm__ __volatile__("cpuid"
                       : "=a"(Registers[0]), "=b"(Registers[1]), "=c"(Registers[2]), "=d"(Registers[3])
                       : "a"(Leaf), "c"(0));
}

VOID CpuSidt(OUT IA32_DESCRIPTOR *Idtr) { __asm__ __volatile__("sidt %0" : "=m"(*Idtr)); }

VOID CpuReadMm0(OUT UINT64 *Value) { __asm__ __volatile__("movq %%mm0, %0\n\temms" : "=m"(*Value)); }

VOID CpuWriteMm0(IN CONST UINT64 *Value) { __asm__ __volatile__("movq %0, %%mm0\n\temms" : : "m"(*Value)); }

VOID CpuReadMm7(OUT UINT64 *Value) { __asm__ __volatile__("movq %%mm7, %0\n\temms" : "=m"(*Value)); }

VOID CpuWriteMm7(IN CONST UINT64 *Value) { __asm__ __volatile__("movq %0, %%mm7\n\temms" : : "m"(*Value)); }

VOID CpuInt3(VOID) { __asm__ __volatile__("int $3"); }

VOID CpuPauseHint(VOID) { __asm__ __volatile__("pause"); }
}
