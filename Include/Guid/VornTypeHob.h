/** @file
  The VORN type HOB: caches which kind of firmware runs in the VORN.
**/
#pragma once

#include <Pi/PiHob.h>

inline constexpr EFI_GUID gVornTypeHobGuid =
  {0x7C41E2B8, 0x93A6, 0x4F0D, {0xA2, 0x58, 0x1E, 0xB7, 0x40, 0x6C, 0xD9, 0x23}};

constexpr UINT32 VORN_TYPE_QUARN    = 1;
constexpr UINT32 VORN_TYPE_CLIENT   = 3;
constexpr UINT32 VORN_TYPE_DFX      = 15;
constexpr UINT32 VORN_TYPE_UNDEF    = 238;
constexpr UINT32 VORN_TYPE_DISABLED = 255;

#pragma pack(push, 1)
typedef struct {
  EFI_HOB_GUID_TYPE Header;
  UINT32            VornType;
  UINT8             FwType;
  UINT8             FwSubType;
} VORN_TYPE_HOB;
#pragma pack(pop)

static_assert(sizeof(VORN_TYPE_HOB) == 30, "VORN type HOB is 30 bytes");
static_assert(offsetof(VORN_TYPE_HOB, VornType) == 24, "VornType at 24");
static_assert(offsetof(VORN_TYPE_HOB, FwType) == 28, "FwType at 28");
static_assert(offsetof(VORN_TYPE_HOB, FwSubType) == 29, "FwSubType at 29");
