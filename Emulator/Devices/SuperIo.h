// The Super I/O chip's configuration ports: index 0x4E, data 0x4F, logical devices
// 2 and 3 (the two serial ports) with activate, I/O base and IRQ registers.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "Emulator/Board/Board.h"

namespace quarn::emu {

class SuperIo : public IoDevice {
 public:
  SuperIo(Board &B, bool Ld3Active, bool Ld2Active);
  std::string Name() const override { return "SuperIO"; }
  uint32_t IoRead(uint16_t Port, unsigned Width) override;
  void IoWrite(uint16_t Port, unsigned Width, uint32_t Value) override;
  std::string RegisterName(uint16_t Port) const override;

  /// Register Index of logical device Device.
  uint8_t Register(uint8_t Device, uint8_t Index) const;
  /// Every (index, value) pair written through the data port, in order.
  const std::vector<std::pair<uint8_t, uint8_t>> &Writes() const { return Writes_; }

 private:
  uint8_t Index_ = 0;
  uint8_t Selected_ = 0;
  std::map<std::pair<uint8_t, uint8_t>, uint8_t> Registers_;
  std::vector<std::pair<uint8_t, uint8_t>> Writes_;
};

}  // namespace quarn::emu
