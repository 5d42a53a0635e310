/** @file
  The serial console.
**/
#ifndef __SERIAL_PORT_LIB__
#define __SERIAL_PORT_LIB__

/** Makes the console ready. */
RETURN_STATUS
EFIAPI
SerialPortInitialize (
  VOID
  );

/** Writes NumberOfBytes bytes of Buffer; returns how many were written. */
UINTN
EFIAPI
SerialPortWrite (
  IN UINT8  *Buffer,
  IN UINTN  NumberOfBytes
  );

#endif
