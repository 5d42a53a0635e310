/** @file
  Configuration space by 64-bit segment address (segment in bits 47:32).
**/
#ifndef __PCI_SEGMENT_LIB__
#define __PCI_SEGMENT_LIB__

/** The 32-bit register at Address. */
UINT32
EFIAPI
PciSegmentRead32 (
  IN UINT64  Address
  );

#endif
