/** @file
  What a board installs for the module, shared by the boot ROM and the test platform
  module of the OVMF boots: the policy PPI (a config block table with one block, the
  QUARN pre-memory block, every switch clear; a constant, so it can live in flash) and
  the DRUX_PPI entries the module never calls.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}
#include <Ppi/Drux.h>
#include <Ppi/VornPolicy.h>
#include <AutoGenGuidValues.h>

namespace quarn_board {

/// A config block table with one block: header, then QUARN_PREMEM_CONFIG padded to
/// 64 bytes. Every switch is clear.
constexpr UINTN kPreMemBlockSize = 64;
constexpr UINTN kPolicyTableSize = sizeof(CONFIG_BLOCK_TABLE_HEADER) + kPreMemBlockSize;
static_assert(kPreMemBlockSize >= sizeof(QUARN_PREMEM_CONFIG), "the block holds every field the module reads");

struct ROM_POLICY_TABLE {
  UINT8 Bytes[kPolicyTableSize];
};

/** Stores a little-endian Value of Width bytes at Offset. */
constexpr VOID Put(ROM_POLICY_TABLE &Table, UINTN Offset, UINT32 Value, UINTN Width) {
  for (UINTN Byte = 0; Byte < Width; Byte++) Table.Bytes[Offset + Byte] = static_cast<UINT8>(Value >> (8 * Byte));
}

/** Stores a GUID in its in-memory byte order at Offset. */
constexpr VOID PutGuid(ROM_POLICY_TABLE &Table, UINTN Offset, const EFI_GUID &Guid) {
  Put(Table, Offset, Guid.Data1, 4);
  Put(Table, Offset + 4, Guid.Data2, 2);
  Put(Table, Offset + 6, Guid.Data3, 2);
  for (UINTN Byte = 0; Byte < 8; Byte++) Table.Bytes[Offset + 8 + Byte] = Guid.Data4[Byte];
}

/** The table header naming one block, then the block header; every field after it 0. */
constexpr ROM_POLICY_TABLE BuildPolicyTable() {
  ROM_POLICY_TABLE Table{};
  Put(Table, OFFSET_OF(CONFIG_BLOCK_TABLE_HEADER, TotalSize), kPolicyTableSize, 2);
  PutGuid(Table, OFFSET_OF(CONFIG_BLOCK_TABLE_HEADER, Name), quarn_guid_value::gVornPolicyPpiGuid);
  Put(Table, OFFSET_OF(CONFIG_BLOCK_TABLE_HEADER, BlockCount), 1, 2);
  constexpr UINTN Block = sizeof(CONFIG_BLOCK_TABLE_HEADER);
  Put(Table, Block + OFFSET_OF(CONFIG_BLOCK_HEADER, BlockSize), kPreMemBlockSize, 2);
  PutGuid(Table, Block + OFFSET_OF(CONFIG_BLOCK_HEADER, BlockGuid), quarn_guid_value::gQuarnPreMemConfigGuid);
  return Table;
}

inline constexpr ROM_POLICY_TABLE kPolicyTable = BuildPolicyTable();
static_assert(kPolicyTable.Bytes[2] == kPolicyTableSize && kPolicyTable.Bytes[30] == 1, "table header");
static_assert(kPolicyTable.Bytes[36 + 36] == 0, "PreDidResetEnable clear");

/** The DRUX_PPI entries the module never calls: a board's stand-in answers EFI_UNSUPPORTED. */
inline EFI_STATUS EFIAPI DruxReadMessageUnused(IN UINT32, IN UINT32, IN OUT VOID *, IN OUT UINT32 *) {
  return EFI_UNSUPPORTED;
}
inline EFI_STATUS EFIAPI DruxSendMessageUnused(IN UINT32, IN VOID *, IN UINT32, IN UINT8, IN UINT8) {
  return EFI_UNSUPPORTED;
}
inline EFI_STATUS EFIAPI DruxResetInterfaceUnused(IN UINT32) { return EFI_UNSUPPORTED; }
inline EFI_STATUS EFIAPI DruxInitializeInterfaceUnused(IN UINT32) { return EFI_UNSUPPORTED; }

/** A DRUX_PPI of the two entries the module calls and the unused ones. */
constexpr DRUX_PPI DruxStandIn(DRUX_SEND_WITH_ACK SendWithAck, DRUX_GET_VORN_STATUS GetVornStatus) {
  return {SendWithAck,
          DruxReadMessageUnused,
          DruxSendMessageUnused,
          DruxResetInterfaceUnused,
          DruxInitializeInterfaceUnused,
          GetVornStatus};
}

}  // namespace quarn_board
