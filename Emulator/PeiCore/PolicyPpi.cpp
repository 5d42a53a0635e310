#include "PolicyPpi.h"

extern "C" {
#include <PiPei.h>
}
#include <Ppi/VornPolicy.h>

#include <algorithm>
#include <cstring>

namespace quarn::emu {

namespace {

/// Another block a policy table carries besides the QUARN one.
constexpr EFI_GUID kOtherBlockGuid = {0x0B3E7A61, 0x2C94, 0x4F10, {0x9E, 0x27, 0x55, 0xA1, 0x0C, 0xD8, 0x43, 0x6F}};

void Put16(std::vector<uint8_t> &Bytes, size_t Offset, uint16_t Value) { std::memcpy(&Bytes[Offset], &Value, 2); }
void Put32(std::vector<uint8_t> &Bytes, size_t Offset, uint32_t Value) { std::memcpy(&Bytes[Offset], &Value, 4); }

}  // namespace

std::vector<uint8_t> PolicyPpi::BuildBlock(const EFI_GUID &Guid, size_t Size) {
  std::vector<uint8_t> Bytes(std::max(Size, sizeof(CONFIG_BLOCK_HEADER)), 0);
  Put16(Bytes, offsetof(CONFIG_BLOCK_HEADER, BlockSize), static_cast<uint16_t>(Size));
  std::memcpy(&Bytes[offsetof(CONFIG_BLOCK_HEADER, BlockGuid)], &Guid, sizeof Guid);
  return Bytes;
}

std::vector<uint8_t> PolicyPpi::BuildPreMemBlock(bool PreDidReset, bool SscAlternate, bool BiosUpdateWatchdog) {
  std::vector<uint8_t> Bytes = BuildBlock(gQuarnPreMemConfigGuid, 64);
  Bytes[offsetof(QUARN_PREMEM_CONFIG, PreDidResetEnable)] = PreDidReset ? QUARN_PRE_DID_RESET_ENABLE_BIT : 0;
  Put32(Bytes, offsetof(QUARN_PREMEM_CONFIG, ClockConfig), SscAlternate ? (1u << QUARN_SSC_ALTERNATE_SHIFT) : 0);
  Put32(Bytes, offsetof(QUARN_PREMEM_CONFIG, WatchdogConfig), BiosUpdateWatchdog ? QUARN_BIOS_UPDATE_WATCHDOG_BIT : 0);
  return Bytes;
}

std::vector<uint8_t> PolicyPpi::BuildTable(const std::vector<std::vector<uint8_t>> &Blocks) {
  std::vector<uint8_t> Table(sizeof(CONFIG_BLOCK_TABLE_HEADER), 0);
  for (const auto &B : Blocks) Table.insert(Table.end(), B.begin(), B.end());
  Put16(Table, offsetof(CONFIG_BLOCK_TABLE_HEADER, TotalSize), static_cast<uint16_t>(Table.size()));
  Put16(Table, offsetof(CONFIG_BLOCK_TABLE_HEADER, BlockCount), static_cast<uint16_t>(Blocks.size()));
  return Table;
}

PolicyPpi::PolicyPpi(const Scenario &S) {
  if (S.PolicyTable) {
    // The module reads the 36-byte header and, within the size the header claims,
    // the blocks: a short raw table is padded with zeros so that every read it may
    // make stays inside host memory the table owns.
    Table_ = *S.PolicyTable;
    size_t Claimed = 0;
    if (Table_.size() >= 4) Claimed = Table_[2] | (size_t(Table_[3]) << 8);
    Table_.resize(std::max({Table_.size(), sizeof(CONFIG_BLOCK_TABLE_HEADER), Claimed}), 0);
    return;
  }
  std::vector<std::vector<uint8_t>> Blocks{BuildBlock(kOtherBlockGuid, 40)};
  if (S.PolicyBlock) Blocks.push_back(BuildPreMemBlock(S.PreDidReset, S.SscAlternate, S.BiosUpdateWatchdog));
  Table_ = BuildTable(Blocks);
}

}  // namespace quarn::emu
