/** @file
  Configuration space through the memory-mapped PCI Express window
  (PcdPciExpressBaseAddress); Address is bus 27:20, device 19:15, function 14:12, offset 11:0.
**/
#ifndef __PCI_EXPRESS_LIB__
#define __PCI_EXPRESS_LIB__

/** The byte at configuration Address. */
UINT8
EFIAPI
PciExpressRead8 (
  IN      UINTN  Address
  );

/** The 32-bit register at configuration Address. */
UINT32
EFIAPI
PciExpressRead32 (
  IN      UINTN  Address
  );

#endif
