/** @file
  HOB records of the PEI phase: the generic header, the hand-off table that opens every
  HOB list, and the GUID extension HOB.
**/
#ifndef __PI_HOB_H__
#define __PI_HOB_H__

#define EFI_HOB_TYPE_HANDOFF          0x0001
#define EFI_HOB_TYPE_GUID_EXTENSION   0x0004
#define EFI_HOB_TYPE_UNUSED           0xFFFE
#define EFI_HOB_TYPE_END_OF_HOB_LIST  0xFFFF

typedef struct {
  UINT16  HobType;
  UINT16  HobLength;
  UINT32  Reserved;
} EFI_HOB_GENERIC_HEADER;
STATIC_ASSERT (sizeof (EFI_HOB_GENERIC_HEADER) == 8, "HOB header is 8 bytes");

#define EFI_HOB_HANDOFF_TABLE_VERSION  0x0009

typedef struct {
  EFI_HOB_GENERIC_HEADER  Header;
  UINT32                  Version;
  EFI_BOOT_MODE           BootMode;
  EFI_PHYSICAL_ADDRESS    EfiMemoryTop;
  EFI_PHYSICAL_ADDRESS    EfiMemoryBottom;
  EFI_PHYSICAL_ADDRESS    EfiFreeMemoryTop;
  EFI_PHYSICAL_ADDRESS    EfiFreeMemoryBottom;
  EFI_PHYSICAL_ADDRESS    EfiEndOfHobList;
} EFI_HOB_HANDOFF_INFO_TABLE;
STATIC_ASSERT (sizeof (EFI_HOB_HANDOFF_INFO_TABLE) == 56, "PHIT HOB is 56 bytes");
STATIC_ASSERT (OFFSET_OF (EFI_HOB_HANDOFF_INFO_TABLE, EfiMemoryTop) == 16, "EfiMemoryTop at 16");
STATIC_ASSERT (OFFSET_OF (EFI_HOB_HANDOFF_INFO_TABLE, EfiEndOfHobList) == 48, "EfiEndOfHobList at 48");

typedef struct {
  EFI_HOB_GENERIC_HEADER  Header;
  EFI_GUID                Name;
} EFI_HOB_GUID_TYPE;
STATIC_ASSERT (sizeof (EFI_HOB_GUID_TYPE) == 24, "GUID HOB header is 24 bytes");
STATIC_ASSERT (OFFSET_OF (EFI_HOB_GUID_TYPE, Name) == 8, "GUID HOB name at offset 8");

#endif
