/** @file
  HOB records of the PEI phase: the generic header, the hand-off table that opens every
  HOB list, and the GUID extension HOB.
**/
#pragma once

#include <Base.h>

constexpr UINT16 EFI_HOB_TYPE_HANDOFF            = 0x0001;
constexpr UINT16 EFI_HOB_TYPE_GUID_EXTENSION     = 0x0004;
constexpr UINT16 EFI_HOB_TYPE_UNUSED             = 0xFFFE;
constexpr UINT16 EFI_HOB_TYPE_END_OF_HOB_LIST    = 0xFFFF;

typedef struct {
  UINT16 HobType;
  UINT16 HobLength;
  UINT32 Reserved;
} EFI_HOB_GENERIC_HEADER;
static_assert(sizeof(EFI_HOB_GENERIC_HEADER) == 8, "HOB header is 8 bytes");

typedef struct {
  EFI_HOB_GENERIC_HEADER Header;
  UINT32                 Version;
  EFI_BOOT_MODE          BootMode;
  EFI_PHYSICAL_ADDRESS   EfiMemoryTop;
  EFI_PHYSICAL_ADDRESS   EfiMemoryBottom;
  EFI_PHYSICAL_ADDRESS   EfiFreeMemoryTop;
  EFI_PHYSICAL_ADDRESS   EfiFreeMemoryBottom;
  EFI_PHYSICAL_ADDRESS   EfiEndOfHobList;
} EFI_HOB_HANDOFF_INFO_TABLE;
static_assert(sizeof(EFI_HOB_HANDOFF_INFO_TABLE) == 56, "PHIT HOB is 56 bytes");
static_assert(offsetof(EFI_HOB_HANDOFF_INFO_TABLE, EfiMemoryTop) == 16, "EfiMemoryTop at 16");
static_assert(offsetof(EFI_HOB_HANDOFF_INFO_TABLE, EfiEndOfHobList) == 48, "EfiEndOfHobList at 48");

typedef struct {
  EFI_HOB_GENERIC_HEADER Header;
  EFI_GUID               Name;
} EFI_HOB_GUID_TYPE;
static_assert(sizeof(EFI_HOB_GUID_TYPE) == 24, "GUID HOB header is 24 bytes");
static_assert(offsetof(EFI_HOB_GUID_TYPE, Name) == 8, "GUID HOB name at offset 8");

/// Size of a GUID extension HOB header; the data follows it.
constexpr UINT16 kGuidHobHeaderSize = sizeof(EFI_HOB_GUID_TYPE);
