/** @file
  The QUARN product info HOB: what the pre-memory phase learned about the firmware,
  for later boot phases.
**/
#pragma once

#include <Base.h>

inline constexpr EFI_GUID gQuarnInfoHobGuid =
  {0xE5A09F3C, 0x27D1, 0x4B86, {0x9F, 0x40, 0x6B, 0x2A, 0xC8, 0x11, 0x5E, 0x97}};

constexpr UINT8 QUARN_FLOW_NON_FUNCTIONAL = 2;

#pragma pack(push, 1)
typedef struct {
  UINT32 FeatureSet;
  UINT32 FeatureSet2;
  UINT8  Flow;
  UINT8  PwrOptBoot;
  UINT8  Cores2Disable;
  UINT8  Reserved[5];
} QUARN_INFO_HOB;
#pragma pack(pop)

static_assert(sizeof(QUARN_INFO_HOB) == 16, "QUARN info HOB data is 16 bytes");
static_assert(offsetof(QUARN_INFO_HOB, Flow) == 8, "Flow at 8");
static_assert(offsetof(QUARN_INFO_HOB, Cores2Disable) == 10, "Cores2Disable at 10");
