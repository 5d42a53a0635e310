// CMOS RAM behind index port 0x70 and data port 0x71. Bit 7 of a byte written to the
// index port is the NMI mask, not part of the address: 0x8E selects register 0x0E
// with NMIs masked. The index port is write-only (it reads 0xFF).
#pragma once

#include <array>
#include <bitset>

#include "Emulator/Board/Board.h"

namespace quarn::emu {

class Cmos : public IoDevice {
 public:
  static constexpr uint16_t kIndexPort = 0x70;
  static constexpr uint16_t kDataPort = 0x71;

  /// The four bytes from the board's CmosLevelIndex on (0x7A..0x7D on the module's own
  /// board) hold ErrorLevel, least significant first; !Valid sets 0x0E bit 7.
  Cmos(Board &B, uint32_t ErrorLevel, bool Valid);
  std::string Name() const override { return "CMOS"; }
  uint32_t IoRead(uint16_t Port, unsigned Width) override;
  void IoWrite(uint16_t Port, unsigned Width, uint32_t Value) override;
  std::string RegisterName(uint16_t Port) const override;

  uint8_t Byte(uint8_t Index) const { return Ram_[Index & kAddressMask]; }
  void SetByte(uint8_t Index, uint8_t Value) { Ram_[Index & kAddressMask] = Value; }
  /// TRUE once register Index was read through the data port.
  bool WasRead(uint8_t Index) const { return ReadRegisters_.test(Index & kAddressMask); }
  /// Reads and writes through the data port so far.
  unsigned DataAccesses() const { return DataAccesses_; }
  /// TRUE while the last index written had bit 7 set (NMIs masked).
  bool NmiMasked() const { return (Index_ & kNmiMask) != 0; }
  /// The register the data port reaches now.
  uint8_t SelectedRegister() const { return Index_ & kAddressMask; }

 private:
  static constexpr uint8_t kNmiMask = 0x80;
  static constexpr uint8_t kAddressMask = 0x7F;
  std::array<uint8_t, 128> Ram_{};
  uint8_t Index_ = 0;
  unsigned DataAccesses_ = 0;
  std::bitset<128> ReadRegisters_;
};

}  // namespace quarn::emu
