/** @file
  The static pointer table: 13 pointer slots and their PPI descriptors, kept as the data
  of a GUID HOB whose address every processor holds in MM7. C as well as C++.
**/
#ifndef QUARN_GUID_STATIC_POINTER_TABLE_HOB_H_
#define QUARN_GUID_STATIC_POINTER_TABLE_HOB_H_

#define POINTER_TYPE_COUNT             13
#define POINTER_TYPE_CPU_AND_REVISION  9

typedef struct {
  UINT64                  Pointer[POINTER_TYPE_COUNT];
  EFI_PEI_PPI_DESCRIPTOR  PpiDescriptor[POINTER_TYPE_COUNT];
  UINT32                  Fill;
} STATIC_POINTER_TABLE;

STATIC_ASSERT (sizeof (STATIC_POINTER_TABLE) == 264, "static pointer table is 264 bytes");
STATIC_ASSERT (OFFSET_OF (STATIC_POINTER_TABLE, PpiDescriptor) == 104, "descriptors at 104");
STATIC_ASSERT (OFFSET_OF (STATIC_POINTER_TABLE, Pointer) + 8 * POINTER_TYPE_CPU_AND_REVISION == 72, "slot 9 at 72");
STATIC_ASSERT (OFFSET_OF (STATIC_POINTER_TABLE, PpiDescriptor) + 12 * POINTER_TYPE_CPU_AND_REVISION == 212,
               "descriptor 9 at 212");

///
/// HobLength of the table's HOB: header and table.
///
#define STATIC_POINTER_TABLE_HOB_LENGTH  (24 + 264)

#ifdef __cplusplus
extern "C" {
#endif
extern EFI_GUID  gStaticPointerTableHobGuid;
#ifdef __cplusplus
}
#endif

#endif
