/** @file
  Port helpers of the boot stub on top of the hardware seam: PCI configuration through
  0xCF8/0xCFC and CMOS through 0x70/0x71.
**/
#pragma once

#include <Library/CpuIntrinsicsLib.h>

constexpr UINT16 kPciConfigAddressPort = 0xCF8;
constexpr UINT16 kPciConfigDataPort = 0xCFC;
constexpr UINT16 kCmosIndexPort = 0x70;
constexpr UINT16 kCmosDataPort = 0x71;

/** The 0xCF8 word that selects dword register Reg of Bus:Dev.Fn. */
constexpr UINT32 RomPciCf8(UINT8 Bus, UINT8 Dev, UINT8 Fn, UINT8 Reg) {
  return 0x80000000u | (UINT32(Bus) << 16) | (UINT32(Dev & 0x1F) << 11) | (UINT32(Fn & 7) << 8) | (Reg & 0xFCu);
}
static_assert(RomPciCf8(0, 31, 1, 0x10) == 0x8000F910u, "00:1F.1 register 0x10");

/** Reads the 32-bit configuration register Reg (dword aligned) of Bus:Dev.Fn. */
inline UINT32 RomPciRead32(UINT8 Bus, UINT8 Dev, UINT8 Fn, UINT8 Reg) {
  CpuIoWrite32(kPciConfigAddressPort, RomPciCf8(Bus, Dev, Fn, Reg));
  return CpuIoRead32(kPciConfigDataPort);
}

/** Writes the 32-bit configuration register Reg (dword aligned) of Bus:Dev.Fn. */
inline VOID RomPciWrite32(UINT8 Bus, UINT8 Dev, UINT8 Fn, UINT8 Reg, UINT32 Value) {
  CpuIoWrite32(kPciConfigAddressPort, RomPciCf8(Bus, Dev, Fn, Reg));
  CpuIoWrite32(kPciConfigDataPort, Value);
}

/** Reads the 8-bit configuration register Reg of Bus:Dev.Fn. */
inline UINT8 RomPciRead8(UINT8 Bus, UINT8 Dev, UINT8 Fn, UINT8 Reg) {
  CpuIoWrite32(kPciConfigAddressPort, RomPciCf8(Bus, Dev, Fn, Reg));
  return CpuIoRead8(static_cast<UINT16>(kPciConfigDataPort + (Reg & 3)));
}

/** Writes the 8-bit configuration register Reg of Bus:Dev.Fn. */
inline VOID RomPciWrite8(UINT8 Bus, UINT8 Dev, UINT8 Fn, UINT8 Reg, UINT8 Value) {
  CpuIoWrite32(kPciConfigAddressPort, RomPciCf8(Bus, Dev, Fn, Reg));
  CpuIoWrite8(static_cast<UINT16>(kPciConfigDataPort + (Reg & 3)), Value);
}

/** Reads CMOS register Index (NMI left enabled). */
inline UINT8 RomCmosRead(UINT8 Index) {
  CpuIoWrite8(kCmosIndexPort, Index & 0x7F);
  return CpuIoRead8(kCmosDataPort);
}

/** Writes CMOS register Index (NMI left enabled). */
inline VOID RomCmosWrite(UINT8 Index, UINT8 Value) {
  CpuIoWrite8(kCmosIndexPort, Index & 0x7F);
  CpuIoWrite8(kCmosDataPort, Value);
}

/** Writes 16 bits to an I/O port. The module's seam has no 16-bit port access; the
    stub needs one for the fw_cfg selector only. */
inline VOID RomIoWrite16(UINT16 Port, UINT16 Value) {
  __asm__ __volatile__("outw %w0, %w1" : : "a"(Value), "Nd"(Port));
}
