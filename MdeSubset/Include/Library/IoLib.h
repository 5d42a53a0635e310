/** @file
  Port and memory-mapped register access.
**/
#ifndef __IO_LIB_H__
#define __IO_LIB_H__

/** Reads a byte from Port. */
UINT8
EFIAPI
IoRead8 (
  IN      UINTN  Port
  );

/** Writes Value to Port; returns Value. */
UINT8
EFIAPI
IoWrite8 (
  IN      UINTN  Port,
  IN      UINT8  Value
  );

/** Reads 32 bits from Port. */
UINT32
EFIAPI
IoRead32 (
  IN      UINTN  Port
  );

/** Writes 32 bits to Port; returns Value. */
UINT32
EFIAPI
IoWrite32 (
  IN      UINTN   Port,
  IN      UINT32  Value
  );

/** One byte load from Address. */
UINT8
EFIAPI
MmioRead8 (
  IN      UINTN  Address
  );

/** One 32-bit load from Address. */
UINT32
EFIAPI
MmioRead32 (
  IN      UINTN  Address
  );

/** One 32-bit store to Address; returns Value. */
UINT32
EFIAPI
MmioWrite32 (
  IN      UINTN   Address,
  IN      UINT32  Value
  );

#endif
