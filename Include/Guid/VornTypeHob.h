/** @file
  The VORN type HOB: caches which kind of firmware runs in the VORN. C as well as C++.
**/
#ifndef QUARN_GUID_VORN_TYPE_HOB_H_
#define QUARN_GUID_VORN_TYPE_HOB_H_

#define VORN_TYPE_QUARN     1
#define VORN_TYPE_CLIENT    3
#define VORN_TYPE_DFX       15
#define VORN_TYPE_UNDEF     238
#define VORN_TYPE_DISABLED  255

#pragma pack(push, 1)
typedef struct {
  EFI_HOB_GUID_TYPE  Header;
  UINT32             VornType;
  UINT8              FwType;
  UINT8              FwSubType;
} VORN_TYPE_HOB;
#pragma pack(pop)

STATIC_ASSERT (sizeof (VORN_TYPE_HOB) == 30, "VORN type HOB is 30 bytes");
STATIC_ASSERT (OFFSET_OF (VORN_TYPE_HOB, VornType) == 24, "VornType at 24");
STATIC_ASSERT (OFFSET_OF (VORN_TYPE_HOB, FwType) == 28, "FwType at 28");
STATIC_ASSERT (OFFSET_OF (VORN_TYPE_HOB, FwSubType) == 29, "FwSubType at 29");

#ifdef __cplusplus
extern "C" {
#endif
extern EFI_GUID  gVornTypeHobGuid;
#ifdef __cplusplus
}
#endif

#endif
