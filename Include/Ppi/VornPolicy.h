/** @file
  The VORN policy PPI and its config block table. The PPI pointer is the start of the
  table; the table header is followed by BlockCount blocks, each starting right after
  the previous one.
**/
#pragma once

#include <Base.h>

inline constexpr EFI_GUID gVornPolicyPpiGuid =
  {0x91E3B45A, 0x0C2F, 0x4D68, {0xB7, 0x5E, 0x28, 0x4C, 0x93, 0x1A, 0x6F, 0xD0}};
inline constexpr EFI_GUID gQuarnPreMemConfigGuid =
  {0x4F7B62C1, 0xD5A8, 0x4391, {0x8B, 0x2E, 0xC0, 0x15, 0x7A, 0x94, 0x3E, 0x6B}};

#pragma pack(push, 1)
typedef struct {
  UINT16   HobType;
  UINT16   TotalSize;       // bytes of the whole table, header and blocks
  UINT32   Reserved0;
  EFI_GUID Name;
  UINT32   Revision;
  UINT16   Reserved1;
  UINT16   BlockCount;      // number of config blocks in the table
  UINT32   AvailableSize;
} CONFIG_BLOCK_TABLE_HEADER;

typedef struct {
  UINT16   Reserved0;
  UINT16   BlockSize;       // bytes of this block, header included
  UINT32   Revision;
  EFI_GUID BlockGuid;
} CONFIG_BLOCK_HEADER;

/// The QUARN pre-memory config block. Words may lie unaligned in a table, so the flow
/// reads them at the offsets below with the unaligned readers.
typedef struct {
  CONFIG_BLOCK_HEADER Header;
  UINT32              Reserved0[3];
  UINT8               PreDidResetEnable;   // bit 0
  UINT8               Reserved1[3];
  UINT32              ClockConfig;         // bit 13: SscAlternate
  UINT32              Reserved2[2];
  UINT32              WatchdogConfig;      // bit 14: BiosUpdateWatchdog
} QUARN_PREMEM_CONFIG;
#pragma pack(pop)

static_assert(sizeof(CONFIG_BLOCK_TABLE_HEADER) == 36, "config block table header is 36 bytes");
static_assert(offsetof(CONFIG_BLOCK_TABLE_HEADER, TotalSize) == 2, "TotalSize at 2");
static_assert(offsetof(CONFIG_BLOCK_TABLE_HEADER, BlockCount) == 30, "BlockCount at 30");
static_assert(sizeof(CONFIG_BLOCK_HEADER) == 24, "config block header is 24 bytes");
static_assert(offsetof(CONFIG_BLOCK_HEADER, BlockSize) == 2, "BlockSize at 2");
static_assert(offsetof(CONFIG_BLOCK_HEADER, BlockGuid) == 8, "BlockGuid at 8");
static_assert(offsetof(QUARN_PREMEM_CONFIG, PreDidResetEnable) == 36, "PreDidResetEnable at 36");
static_assert(offsetof(QUARN_PREMEM_CONFIG, ClockConfig) == 40, "ClockConfig at 40");
static_assert(offsetof(QUARN_PREMEM_CONFIG, WatchdogConfig) == 52, "WatchdogConfig at 52");
static_assert(sizeof(QUARN_PREMEM_CONFIG) == 56, "the flow reads 56 bytes of the block");

constexpr UINT8  QUARN_PRE_DID_RESET_ENABLE_BIT = 0x01;
constexpr UINT32 QUARN_SSC_ALTERNATE_SHIFT      = 13;
constexpr UINT32 QUARN_BIOS_UPDATE_WATCHDOG_BIT = 0x4000;
