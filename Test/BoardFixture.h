// Helpers shared by the test suites: a bare board with scripted devices, raw HOB lists.
#pragma once

extern "C" {
#include <PiPei.h>
#include <Pi/PiHob.h>
}

#include <cstring>
#include <deque>
#include <vector>

#include "Emulator/Board/Board.h"

namespace quarn::test {

/// A port device that answers 32-bit reads from a script and remembers how many it served.
class ScriptedPort : public emu::IoDevice {
 public:
  explicit ScriptedPort(std::deque<uint32_t> Readings) : Readings_(std::move(Readings)) {}
  std::string Name() const override { return "scripted"; }
  uint32_t IoRead(uint16_t, unsigned) override {
    Reads++;
    if (Readings_.empty()) throw emu::RunStopped("hang", "script exhausted");
    const uint32_t Value = Readings_.front();
    Readings_.pop_front();
    return Value;
  }
  void IoWrite(uint16_t, unsigned, uint32_t) override {}
  unsigned Reads = 0;
  size_t Left() const { return Readings_.size(); }

 private:
  std::deque<uint32_t> Readings_;
};

/// A board the seam reaches for the length of a test.
struct ActiveBoard {
  emu::Board B;
  ActiveBoard() {
    B.Activate();
    B.EnableTrace(true);
  }
  unsigned Breakpoints() { return B.Processors()[0].Breakpoints; }
};

/// Builds a raw HOB list in 8-byte aligned memory.
class RawHobList {
 public:
  /// Appends a HOB of Type with Length bytes (header included); returns its offset.
  size_t Add(uint16_t Type, uint16_t Length, const EFI_GUID *Name = nullptr) {
    const size_t Offset = Bytes_.size();
    Bytes_.resize(Offset + (Length < 8 ? 8 : Length), 0);
    EFI_HOB_GENERIC_HEADER Header{Type, Length, 0};
    std::memcpy(&Bytes_[Offset], &Header, sizeof Header);
    if (Name != nullptr && Length >= 24) std::memcpy(&Bytes_[Offset + 8], Name, sizeof *Name);
    return Offset;
  }
  size_t End() { return Add(EFI_HOB_TYPE_END_OF_HOB_LIST, 8); }
  /// The list, copied to aligned storage that lives as long as this object.
  uint8_t *Data() {
    Storage_.assign((Bytes_.size() + 7) / 8 + 1, 0);
    std::memcpy(Storage_.data(), Bytes_.data(), Bytes_.size());
    return reinterpret_cast<uint8_t *>(Storage_.data());
  }

 private:
  std::vector<uint8_t> Bytes_;
  std::vector<uint64_t> Storage_;
};

}  // namespace quarn::test
