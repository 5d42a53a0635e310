/** @file
  The static pointer table: 13 pointer slots and their PPI descriptors, kept as the data
  of a GUID HOB whose address every processor holds in MM7.
**/
#pragma once

#include <Pi/PiPeiCis.h>

inline constexpr EFI_GUID gStaticPointerTableHobGuid =
  {0x58D2A6E4, 0x0B7F, 0x4C39, {0xBE, 0x61, 0x92, 0x47, 0x05, 0xDA, 0x3C, 0x8E}};

constexpr UINTN POINTER_TYPE_COUNT             = 13;
constexpr UINTN POINTER_TYPE_CPU_AND_REVISION  = 9;

typedef struct {
  UINT64                 Pointer[POINTER_TYPE_COUNT];
  EFI_PEI_PPI_DESCRIPTOR PpiDescriptor[POINTER_TYPE_COUNT];
  UINT32                 Fill;
} STATIC_POINTER_TABLE;

static_assert(sizeof(STATIC_POINTER_TABLE) == 264, "static pointer table is 264 bytes");
static_assert(offsetof(STATIC_POINTER_TABLE, PpiDescriptor) == 104, "descriptors at 104");
static_assert(offsetof(STATIC_POINTER_TABLE, Pointer) + 8 * POINTER_TYPE_CPU_AND_REVISION == 72, "slot 9 at 72");
static_assert(offsetof(STATIC_POINTER_TABLE, PpiDescriptor) + 12 * POINTER_TYPE_CPU_AND_REVISION == 212,
              "descriptor 9 at 212");

/// HobLength of the table's HOB: header and table.
constexpr UINT16 STATIC_POINTER_TABLE_HOB_LENGTH = 24 + sizeof(STATIC_POINTER_TABLE);
static_assert(STATIC_POINTER_TABLE_HOB_LENGTH == 288, "table HOB is 288 bytes");
