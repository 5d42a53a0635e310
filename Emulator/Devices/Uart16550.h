// A 16550-compatible UART, register-accurate as far as a polled driver can see.
#pragma once

#include <string>

#include "Emulator/Board/Board.h"
#include "Emulator/Scenario.h"

namespace quarn::emu {

class Uart16550 : public IoDevice {
 public:
  /// Maps ports Base..Base+7 on the board.
  Uart16550(Board &B, uint16_t Base, std::string Name, const UartPowerOn &PowerOn);
  std::string Name() const override { return Name_; }
  uint32_t IoRead(uint16_t Port, unsigned Width) override;
  void IoWrite(uint16_t Port, unsigned Width, uint32_t Value) override;
  std::string RegisterName(uint16_t Port) const override;

  /// Every byte the UART has transmitted, in order.
  const std::string &Transmitted() const { return Transmitted_; }
  uint16_t Divisor() const { return Divisor_; }
  uint8_t Lcr() const { return Lcr_; }

 private:
  Board &Board_;
  uint16_t Base_;
  std::string Name_;
  uint16_t Divisor_ = 0;
  uint8_t Lcr_ = 0;
  std::string Transmitted_;
};

}  // namespace quarn::emu
