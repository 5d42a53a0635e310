/** @file
  The QUARN product info HOB: what the pre-memory phase learned about the firmware,
  for later boot phases. C as well as C++.
**/
#ifndef QUARN_GUID_QUARN_INFO_HOB_H_
#define QUARN_GUID_QUARN_INFO_HOB_H_

#define QUARN_FLOW_NON_FUNCTIONAL  2

#pragma pack(push, 1)
typedef struct {
  UINT32  FeatureSet;
  UINT32  FeatureSet2;
  UINT8   Flow;
  UINT8   PwrOptBoot;
  UINT8   Cores2Disable;
  UINT8   Reserved[5];
} QUARN_INFO_HOB;
#pragma pack(pop)

STATIC_ASSERT (sizeof (QUARN_INFO_HOB) == 16, "QUARN info HOB data is 16 bytes");
STATIC_ASSERT (OFFSET_OF (QUARN_INFO_HOB, Flow) == 8, "Flow at 8");
STATIC_ASSERT (OFFSET_OF (QUARN_INFO_HOB, Cores2Disable) == 10, "Cores2Disable at 10");

#ifdef __cplusplus
extern "C" {
#endif
extern EFI_GUID  gQuarnInfoHobGuid;
#ifdef __cplusplus
}
#endif

#endif
