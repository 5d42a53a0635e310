/** @file
  The VORN policy PPI and its config block table. The PPI pointer is the start of the
  table; the table header is followed by BlockCount blocks, each starting right after
  the previous one. C as well as C++, for the module that produces the policy.
**/
#ifndef QUARN_PPI_VORN_POLICY_H_
#define QUARN_PPI_VORN_POLICY_H_

#pragma pack(push, 1)
typedef struct {
  UINT16    HobType;
  UINT16    TotalSize;       ///< bytes of the whole table, header and blocks
  UINT32    Reserved0;
  EFI_GUID  Name;
  UINT32    Revision;
  UINT16    Reserved1;
  UINT16    BlockCount;      ///< number of config blocks in the table
  UINT32    AvailableSize;
} CONFIG_BLOCK_TABLE_HEADER;

typedef struct {
  UINT16    Reserved0;
  UINT16    BlockSize;       ///< bytes of this block, header included
  UINT32    Revision;
  EFI_GUID  BlockGuid;
} CONFIG_BLOCK_HEADER;

///
/// The QUARN pre-memory config block. Words may lie unaligned in a table, so the flow
/// reads them with the unaligned readers.
///
typedef struct {
  CONFIG_BLOCK_HEADER  Header;
  UINT32               Reserved0[3];
  UINT8                PreDidResetEnable;   ///< bit 0
  UINT8                Reserved1[3];
  UINT32               ClockConfig;         ///< bit 13: SscAlternate
  UINT32               Reserved2[2];
  UINT32               WatchdogConfig;      ///< bit 14: BiosUpdateWatchdog
} QUARN_PREMEM_CONFIG;
#pragma pack(pop)

STATIC_ASSERT (sizeof (CONFIG_BLOCK_TABLE_HEADER) == 36, "config block table header is 36 bytes");
STATIC_ASSERT (OFFSET_OF (CONFIG_BLOCK_TABLE_HEADER, TotalSize) == 2, "TotalSize at 2");
STATIC_ASSERT (OFFSET_OF (CONFIG_BLOCK_TABLE_HEADER, BlockCount) == 30, "BlockCount at 30");
STATIC_ASSERT (sizeof (CONFIG_BLOCK_HEADER) == 24, "config block header is 24 bytes");
STATIC_ASSERT (OFFSET_OF (CONFIG_BLOCK_HEADER, BlockSize) == 2, "BlockSize at 2");
STATIC_ASSERT (OFFSET_OF (CONFIG_BLOCK_HEADER, BlockGuid) == 8, "BlockGuid at 8");
STATIC_ASSERT (OFFSET_OF (QUARN_PREMEM_CONFIG, PreDidResetEnable) == 36, "PreDidResetEnable at 36");
STATIC_ASSERT (OFFSET_OF (QUARN_PREMEM_CONFIG, ClockConfig) == 40, "ClockConfig at 40");
STATIC_ASSERT (OFFSET_OF (QUARN_PREMEM_CONFIG, WatchdogConfig) == 52, "WatchdogConfig at 52");
STATIC_ASSERT (sizeof (QUARN_PREMEM_CONFIG) == 56, "the flow reads 56 bytes of the block");

#define QUARN_PRE_DID_RESET_ENABLE_BIT  0x01
#define QUARN_SSC_ALTERNATE_SHIFT       13
#define QUARN_BIOS_UPDATE_WATCHDOG_BIT  0x4000

#ifdef __cplusplus
extern "C" {
#endif
extern EFI_GUID  gVornPolicyPpiGuid;
extern EFI_GUID  gQuarnPreMemConfigGuid;
#ifdef __cplusplus
}
#endif

#endif
