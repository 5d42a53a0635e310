/** @file
  Diagnostics of the boot stub. They go to the second UART (0x2F8) only: the first
  UART carries the module's console alone, so that it can be compared byte for byte.
  The stub never programs the UART; it only waits for the transmit holding register
  and writes bytes.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

extern "C" {

/** Writes a NUL-terminated text to the second UART; "\n" goes out as CR LF. */
VOID RomPrint(IN CONST CHAR8 *Text);
/** Writes Value as "0x" and eight upper-case hexadecimal digits. */
VOID RomPrintHex32(IN UINT32 Value);
/** Writes Value as "0x" and two upper-case hexadecimal digits. */
VOID RomPrintHex8(IN UINT8 Value);
/** Writes Length bytes as two hex digits each, without a prefix ("1400AB"). */
VOID RomPrintBytes(IN CONST UINT8 *Bytes, IN UINTN Length);
/** Writes Value in decimal. */
VOID RomPrintDec(IN UINT32 Value);
}
