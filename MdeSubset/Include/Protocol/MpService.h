/** @file
  What the multi-processor services say about a processor.
**/
#ifndef __MP_SERVICE_PROTOCOL_H__
#define __MP_SERVICE_PROTOCOL_H__

typedef struct {
  UINT32  Package;
  UINT32  Core;
  UINT32  Thread;
} EFI_CPU_PHYSICAL_LOCATION;

typedef struct {
  UINT32  Package;
  UINT32  Module;
  UINT32  Tile;
  UINT32  Die;
  UINT32  Core;
  UINT32  Thread;
} EFI_CPU_PHYSICAL_LOCATION2;

typedef union {
  EFI_CPU_PHYSICAL_LOCATION2  Location2;
} EXTENDED_PROCESSOR_INFORMATION;

typedef struct {
  UINT64                          ProcessorId;
  UINT32                          StatusFlag;
  EFI_CPU_PHYSICAL_LOCATION       Location;
  EXTENDED_PROCESSOR_INFORMATION  ExtendedInformation;
} EFI_PROCESSOR_INFORMATION;

#endif
