// The VORN policy PPI: a config block table built from the scenario (the QUARN
// pre-memory block and its three switches), or a raw table given whole.
#pragma once

extern "C" {
#include <PiPei.h>
}

#include <cstdint>
#include <vector>

#include "Emulator/Scenario.h"

namespace quarn::emu {

class PolicyPpi {
 public:
  explicit PolicyPpi(const Scenario &S);
  /// The table; its address is the PPI pointer.
  void *Table() { return Table_.data(); }
  size_t Size() const { return Table_.size(); }
  /// A table holding the given blocks (each whole, header included) after a 36-byte header.
  static std::vector<uint8_t> BuildTable(const std::vector<std::vector<uint8_t>> &Blocks);
  /// A zero-filled block of Size bytes (at least its 24-byte header) named Guid, BlockSize set.
  static std::vector<uint8_t> BuildBlock(const EFI_GUID &Guid, size_t Size);
  /// A QUARN pre-memory block with the three switches.
  static std::vector<uint8_t> BuildPreMemBlock(bool PreDidReset, bool SscAlternate, bool BiosUpdateWatchdog);

 private:
  std::vector<uint8_t> Table_;
};

}  // namespace quarn::emu
