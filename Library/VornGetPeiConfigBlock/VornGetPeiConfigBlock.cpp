/** @file
  Finds the QUARN pre-memory config block in the config block table that the VORN
  policy PPI points to.

  The table is another module's data and is read defensively:
    - a block is examined only when its whole 24-byte header lies within TotalSize;
    - a block of size 0 ends the walk (every later step would examine it again);
    - a QUARN pre-memory block too small to hold the fields the flow reads, or reaching
      past TotalSize, counts as absent, so the flow runs with its defaults instead of
      taking a neighbour's bytes for settings.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/PeiServicesLib.h>
}
#include <Library/VornGetPeiConfigBlockLib.h>

namespace {


constexpr UINT32 kTableHeaderSize = sizeof(CONFIG_BLOCK_TABLE_HEADER);
constexpr UINT32 kBlockHeaderSize = sizeof(CONFIG_BLOCK_HEADER);
/// Bytes of the QUARN block the flow reads: up to and including the watchdog word.
constexpr UINT32 kPreMemConfigSize = sizeof(QUARN_PREMEM_CONFIG);

const UINT8 *Bytes(const VOID *Address) { return static_cast<const UINT8 *>(Address); }

/// The 16-bit field at Offset of a table or block that may lie at any address.
UINT16 Field16(const VOID *Start, UINTN Offset) {
  return ReadUnaligned16(reinterpret_cast<const UINT16 *>(Bytes(Start) + Offset));
}

}  // namespace

extern "C" {

/**
  Walks the config block table for the first block named ConfigBlockGuid.

  @param ConfigBlockTableAddress  Start of the table (its 36-byte header).
  @param ConfigBlockGuid          Name of the wanted block.
  @param ConfigBlockAddress       Receives the block's start when found.
  @retval EFI_SUCCESS    found; *ConfigBlockAddress holds the block's first byte.
  @retval EFI_NOT_FOUND  no such block within BlockCount and TotalSize (prints
                         "Could not find the config block.\n"); *ConfigBlockAddress untouched.
**/
EFI_STATUS FindConfigBlock(IN VOID *ConfigBlockTableAddress, IN CONST EFI_GUID *ConfigBlockGuid,
                           OUT VOID **ConfigBlockAddress) {
  const UINT16 TotalSize = Field16(ConfigBlockTableAddress, OFFSET_OF(CONFIG_BLOCK_TABLE_HEADER, TotalSize));
  const UINT16 BlockCount = Field16(ConfigBlockTableAddress, OFFSET_OF(CONFIG_BLOCK_TABLE_HEADER, BlockCount));
  UINT32 Offset = 0;

  for (UINT16 Index = 0; Index < BlockCount; Index++) {
    const UINT32 BlockStart = kTableHeaderSize + Offset;
    if (BlockStart + kBlockHeaderSize > TotalSize) {
      break;
    }
    UINT8 *Block = static_cast<UINT8 *>(ConfigBlockTableAddress) + BlockStart;
    if (CompareGuid(reinterpret_cast<const EFI_GUID *>(Block + OFFSET_OF(CONFIG_BLOCK_HEADER, BlockGuid)),
                                                       ConfigBlockGuid)) {
      *ConfigBlockAddress = Block;
      return EFI_SUCCESS;
    }
    const UINT16 BlockSize = Field16(Block, OFFSET_OF(CONFIG_BLOCK_HEADER, BlockSize));
    if (BlockSize == 0) {
      break;
    }
    Offset += BlockSize;
  }

  DEBUG ((DEBUG_ERROR, "Could not find the config block.\n"));
  return EFI_NOT_FOUND;
}

/**
  Locates the VORN policy PPI and returns its QUARN pre-memory config block.

  Asserts "!EFI_ERROR (Status)" when the PPI is not installed or the block is not in
  the table. A block too small for the fields the flow reads, or reaching past the
  table, is reported and ignored.

  @return the block's first byte, or NULL when the PPI or a usable block is missing.
**/
QUARN_PREMEM_CONFIG *VornGetPeiConfigBlock(VOID) {
  VOID *Ppi = nullptr;
  VOID *Block = nullptr;

  EFI_STATUS Status = PeiServicesLocatePpi(&gVornPolicyPpiGuid, 0, nullptr, &Ppi);
  ASSERT_EFI_ERROR (Status);
  if (EFI_ERROR(Status) || Ppi == nullptr) {
    return nullptr;
  }

  Status = FindConfigBlock(Ppi, &gQuarnPreMemConfigGuid, &Block);
  ASSERT_EFI_ERROR (Status);
  if (EFI_ERROR(Status) || Block == nullptr) {
    return nullptr;
  }

  const UINT16 BlockSize = Field16(Block, OFFSET_OF(CONFIG_BLOCK_HEADER, BlockSize));
  const UINT16 TotalSize = Field16(Ppi, OFFSET_OF(CONFIG_BLOCK_TABLE_HEADER, TotalSize));
  const UINT32 BlockOffset = static_cast<UINT32>(Bytes(Block) - Bytes(Ppi));
  if (BlockSize < kPreMemConfigSize || BlockOffset + kPreMemConfigSize > TotalSize) {
    DEBUG ((DEBUG_ERROR, "QUARN config block is malformed (size %d), ignored.\n", static_cast<UINT32>(BlockSize)));
    return nullptr;
  }
  return static_cast<QUARN_PREMEM_CONFIG *>(Block);
}
}
