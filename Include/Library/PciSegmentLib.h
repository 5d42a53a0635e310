/** @file
  Configuration space by 64-bit segment address (segment in bits 63:32; only segment 0 exists).
**/
#pragma once

#include <Base.h>

/// Segment address of a configuration register.
constexpr UINT64 PciSegmentLibAddress(UINT32 Segment, UINT32 Bus, UINT32 Device, UINT32 Function, UINT32 Offset) {
  return (static_cast<UINT64>(Segment) << 32) | (Bus << 20) | (Device << 15) | (Function << 12) | Offset;
}

extern "C" {

/** The 32-bit register at Address; asserts "((Address) & (0xfffffffff0000000ULL | (3))) == 0". */
UINT32 PciSegmentRead32(IN UINT64 Address);

}
