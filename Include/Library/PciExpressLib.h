/** @file
  Configuration space through the memory-mapped PCI Express window.
**/
#pragma once

#include <Base.h>

/// Base of the PCI Express configuration window on this platform.
constexpr UINT64 kPcieBaseAddress = 0x0000000080000000ull;

extern "C" {

/** The 32-bit register at configuration Address; asserts "((Address) & ~0xfffffff) == 0". */
UINT32 PciExpressRead32(IN UINTN Address);
/** The byte at configuration Address; asserts "((Address) & ~0xfffffff) == 0". */
UINT8 PciExpressRead8(IN UINTN Address);

}
