// The Super I/O chip's configuration ports, index and data where the board's layout
// places them (0x4E and 0x4F on the module's own board), in the Plug and Play ISA layout:
// register 0x07 selects the logical device; registers 0x00..0x2F are global, 0x30 and up
// belong to the selected device (0x30 activate, 0x60/0x61 I/O base high/low, 0x70
// interrupt). Logical devices 3 and 2 are the two serial ports; a port that is active at
// power-on comes with the board's base for that UART and its IRQ (4 / 3). The ports
// need no entry key.
#pragma once

#include <map>
#include <utility>
#include <vector>

#include "Emulator/Board/Board.h"

namespace quarn::emu {

class SuperIo : public IoDevice {
 public:
  static constexpr uint8_t kSerialA = _PCD_VALUE_PcdQuarnUart1SioDevice;  // UART 1's logical device
  static constexpr uint8_t kSerialB = _PCD_VALUE_PcdQuarnUart2SioDevice;  // UART 2's logical device
  static constexpr uint8_t kSerialAIrq = _PCD_VALUE_PcdQuarnUart1Irq;
  static constexpr uint8_t kSerialBIrq = _PCD_VALUE_PcdQuarnUart2Irq;
  static_assert(kSerialA != kSerialB, "two logical devices");

  /// Maps the index and data ports where the board's layout places them; Ld3Active and
  /// Ld2Active: UART 1's and UART 2's logical device already set up and active.
  SuperIo(Board &B, bool Ld3Active, bool Ld2Active);
  std::string Name() const override { return "SuperIO"; }
  uint32_t IoRead(uint16_t Port, unsigned Width) override;
  void IoWrite(uint16_t Port, unsigned Width, uint32_t Value) override;
  std::string RegisterName(uint16_t Port) const override;

  /// Register Index of logical device Device (a global register when Index < 0x30).
  uint8_t Register(uint8_t Device, uint8_t Index) const;
  /// Activate bit of logical device Device.
  bool Active(uint8_t Device) const { return (Register(Device, 0x30) & 1) != 0; }
  /// I/O base of logical device Device (registers 0x60/0x61).
  uint16_t IoBase(uint8_t Device) const { return uint16_t(Register(Device, 0x60) << 8 | Register(Device, 0x61)); }
  /// Interrupt of logical device Device (register 0x70).
  uint8_t Irq(uint8_t Device) const { return Register(Device, 0x70); }
  /// Every (index, value) pair written through the data port, in order.
  const std::vector<std::pair<uint8_t, uint8_t>> &Writes() const { return Writes_; }

 private:
  static constexpr uint8_t kLogicalDevice = 0x07;
  static constexpr uint8_t kFirstDeviceRegister = 0x30;
  uint8_t &Cell(uint8_t Device, uint8_t Index);

  uint16_t IndexPort_;
  uint8_t Index_ = 0;
  std::map<uint8_t, uint8_t> Global_;
  std::map<std::pair<uint8_t, uint8_t>, uint8_t> Device_;
  std::vector<std::pair<uint8_t, uint8_t>> Writes_;
};

}  // namespace quarn::emu
