// Placeholder: transmits at once, always empty.
#include "Uart16550.h"

namespace quarn::emu {

Uart16550::Uart16550(Board &B, uint16_t Base, std::string Name, const UartPowerOn &PowerOn)
    : Board_(B), Base_(Base), Name_(std::move(Name)), Divisor_(PowerOn.Divisor), Lcr_(PowerOn.Lcr) {
  B.MapIo(Base, 8, *this);
}

uint32_t Uart16550::IoRead(uint16_t Port, unsigned) {
  switch (Port - Base_) {
    case 2: return 0xC1;
    case 3: return Lcr_;
    case 5: return 0x60;
    default: return 0;
  }
}

void Uart16550::IoWrite(uint16_t Port, unsigned, uint32_t Value) {
  if (Port - Base_ == 3) Lcr_ = uint8_t(Value);
  if (Port - Base_ == 0 && !(Lcr_ & 0x80)) Transmitted_.push_back(char(Value));
}

std::string Uart16550::RegisterName(uint16_t Port) const { return {}; }

}  // namespace quarn::emu
