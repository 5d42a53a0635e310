/** @file
  The policy PPI and the DRUX_PPI stand-in of the boot stub. Both live in ROM as
  constants; the call counter of the stand-in is kept in the stub's RAM.
**/
#include "RomPlatformPpis.h"

#include <Ppi/Drux.h>
#include <Ppi/VornPolicy.h>

#include "RomRam.h"

namespace {

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
  Put(Table, offsetof(CONFIG_BLOCK_TABLE_HEADER, TotalSize), kPolicyTableSize, 2);
  PutGuid(Table, offsetof(CONFIG_BLOCK_TABLE_HEADER, Name), gVornPolicyPpiGuid);
  Put(Table, offsetof(CONFIG_BLOCK_TABLE_HEADER, BlockCount), 1, 2);
  constexpr UINTN Block = sizeof(CONFIG_BLOCK_TABLE_HEADER);
  Put(Table, Block + offsetof(CONFIG_BLOCK_HEADER, BlockSize), kPreMemBlockSize, 2);
  PutGuid(Table, Block + offsetof(CONFIG_BLOCK_HEADER, BlockGuid), gQuarnPreMemConfigGuid);
  return Table;
}

constexpr ROM_POLICY_TABLE kPolicyTable = BuildPolicyTable();
static_assert(kPolicyTable.Bytes[2] == kPolicyTableSize && kPolicyTable.Bytes[30] == 1, "table header");
static_assert(kPolicyTable.Bytes[36 + 36] == 0, "PreDidResetEnable clear");

/** SendWithAck of the stand-in: no VORN answers on this board. */
EFI_STATUS EFIAPI RomDruxSendWithAck(IN UINT32, IN OUT VOID *, IN UINT32, IN OUT UINT32 *, IN UINT8, IN UINT8) {
  gRomRam.DruxCallCount++;
  return EFI_DEVICE_ERROR;
}

/** GetVornStatus of the stand-in: status word 0. */
EFI_STATUS EFIAPI RomDruxGetVornStatus(OUT UINT32 *Status) {
  gRomRam.DruxCallCount++;
  if (Status == nullptr) return EFI_INVALID_PARAMETER;
  *Status = 0;
  return EFI_SUCCESS;
}

/** The entries the module never calls. */
EFI_STATUS EFIAPI RomDruxReadMessage(IN UINT32, IN UINT32, IN OUT VOID *, IN OUT UINT32 *) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI RomDruxSendMessage(IN UINT32, IN VOID *, IN UINT32, IN UINT8, IN UINT8) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI RomDruxResetInterface(IN UINT32) { return EFI_UNSUPPORTED; }
EFI_STATUS EFIAPI RomDruxInitializeInterface(IN UINT32) { return EFI_UNSUPPORTED; }

constexpr DRUX_PPI kDruxPpi = {RomDruxSendWithAck,    RomDruxReadMessage,         RomDruxSendMessage,
                               RomDruxResetInterface, RomDruxInitializeInterface, RomDruxGetVornStatus};

constexpr EFI_PEI_PPI_DESCRIPTOR kPlatformPpis[] = {
  {EFI_PEI_PPI_DESCRIPTOR_PPI, const_cast<EFI_GUID *>(&gVornPolicyPpiGuid),
   const_cast<UINT8 *>(kPolicyTable.Bytes)},
  {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, const_cast<EFI_GUID *>(&gDruxPpiGuid),
   const_cast<DRUX_PPI *>(&kDruxPpi)},
};

}  // namespace

extern "C" {

EFI_STATUS RomInstallPlatformPpis(IN CONST EFI_PEI_SERVICES **PeiServices) {
  gRomRam.DruxCallCount = 0;
  return (*PeiServices)->InstallPpi(PeiServices, kPlatformPpis);
}

UINTN RomDruxCallCount(VOID) { return gRomRam.DruxCallCount; }

}
