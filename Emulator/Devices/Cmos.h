// CMOS RAM behind index port 0x70 (bit 7: NMI mask, not address) and data port 0x71.
#pragma once

#include <array>

#include "Emulator/Board/Board.h"

namespace quarn::emu {

class Cmos : public IoDevice {
 public:
  /// Bytes 0x7A..0x7D hold ErrorLevel (least significant first); !Valid sets 0x0E bit 7.
  Cmos(Board &B, uint32_t ErrorLevel, bool Valid);
  std::string Name() const override { return "CMOS"; }
  uint32_t IoRead(uint16_t Port, unsigned Width) override;
  void IoWrite(uint16_t Port, unsigned Width, uint32_t Value) override;
  std::string RegisterName(uint16_t Port) const override;

  uint8_t Byte(uint8_t Index) const { return Ram_[Index & 0x7F]; }
  void SetByte(uint8_t Index, uint8_t Value) { Ram_[Index & 0x7F] = Value; }
  unsigned DataAccesses() const { return DataAccesses_; }

 private:
  std::array<uint8_t, 128> Ram_{};
  uint8_t Index_ = 0;
  unsigned DataAccesses_ = 0;
};

}  // namespace quarn::emu
