#include "SuperIo.h"

namespace quarn::emu {

SuperIo::SuperIo(Board &B, bool Ld3Active, bool Ld2Active) {
  Registers_[{3, 0x30}] = Ld3Active ? 1 : 0;
  Registers_[{2, 0x30}] = Ld2Active ? 1 : 0;
  B.MapIo(0x4E, 2, *this);
}

uint8_t SuperIo::Register(uint8_t Device, uint8_t Index) const {
  auto It = Registers_.find({Device, Index});
  return It == Registers_.end() ? 0 : It->second;
}

uint32_t SuperIo::IoRead(uint16_t Port, unsigned) {
  if (Port == 0x4E) return Index_;
  if (Index_ == 0x07) return Selected_;
  return Register(Selected_, Index_);
}

void SuperIo::IoWrite(uint16_t Port, unsigned, uint32_t Value) {
  if (Port == 0x4E) {
    Index_ = uint8_t(Value);
    return;
  }
  Writes_.push_back({Index_, uint8_t(Value)});
  if (Index_ == 0x07) {
    Selected_ = uint8_t(Value);
  } else {
    Registers_[{Selected_, Index_}] = uint8_t(Value);
  }
}

std::string SuperIo::RegisterName(uint16_t Port) const { return Port == 0x4E ? "index" : "data"; }

}  // namespace quarn::emu
