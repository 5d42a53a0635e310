/** @file
  The debug console: two 16550 UARTs at 0x3F8 and 0x2F8, polled, every byte to both,
  the first one first.
**/
#pragma once

#include <Base.h>

extern "C" {

/** Opens the chipset decode, sets up the Super I/O and programs both UARTs. Always RETURN_SUCCESS. */
RETURN_STATUS SerialPortInitialize(VOID);

/**
  Writes NumberOfBytes bytes to both UARTs in bursts of at most 16.
  @return NumberOfBytes, or 0 for a NULL buffer, a flush (0 bytes) or a FIFO check that failed.
**/
UINTN SerialPortWrite(IN UINT8 *Buffer, IN UINTN NumberOfBytes);

}
