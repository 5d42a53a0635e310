/** @file
  Status code types, values and the extended-data header of the PEI status code service.
**/
#pragma once

#include <Base.h>

typedef UINT32 EFI_STATUS_CODE_TYPE;
typedef UINT32 EFI_STATUS_CODE_VALUE;

constexpr EFI_STATUS_CODE_TYPE  EFI_ERROR_CODE  = 0x00000002;
constexpr EFI_STATUS_CODE_TYPE  EFI_ERROR_MINOR = 0x40000000;
constexpr EFI_STATUS_CODE_VALUE EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR = 0x00020000;
constexpr EFI_STATUS_CODE_VALUE EFI_CU_EC_NON_SPECIFIC = 0x00000000;

typedef struct {
  UINT16   HeaderSize;
  UINT16   Size;
  EFI_GUID Type;
} EFI_STATUS_CODE_DATA;
static_assert(sizeof(EFI_STATUS_CODE_DATA) == 20, "status code data header is 20 bytes");
static_assert(offsetof(EFI_STATUS_CODE_DATA, Type) == 4, "Type at 4");

/// Names the extended data as specific to the reporting code.
inline constexpr EFI_GUID gEfiStatusCodeSpecificDataGuid =
  {0x335984BD, 0xE805, 0x409A, {0xB8, 0xF8, 0xD2, 0x7E, 0xCE, 0x5F, 0xF7, 0xA6}};
