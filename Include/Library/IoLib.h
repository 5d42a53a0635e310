/** @file
  Port and memory-mapped register access. The 32-bit operations check alignment
  (an assertion), then perform the access anyway; byte operations are plain.
**/
#pragma once

#include <Base.h>

extern "C" {

/** Reads a byte from Port. No checks. */
UINT8 IoRead8(IN UINTN Port);
/** Writes Value to Port. No checks. Returns Value. */
UINT8 IoWrite8(IN UINTN Port, IN UINT8 Value);
/** Reads 32 bits from Port; asserts "(Port & 3) == 0". */
UINT32 IoRead32(IN UINTN Port);
/** Writes 32 bits to Port; asserts "(Port & 3) == 0". Returns Value. */
UINT32 IoWrite32(IN UINTN Port, IN UINT32 Value);
/** One volatile byte load from Address. */
UINT8 MmioRead8(IN UINTN Address);
/** One volatile 32-bit load from Address; asserts "(Address & 3) == 0". */
UINT32 MmioRead32(IN UINTN Address);
/** One volatile 32-bit store to Address; asserts "(Address & 3) == 0". Returns Value. */
UINT32 MmioWrite32(IN UINTN Address, IN UINT32 Value);

}
