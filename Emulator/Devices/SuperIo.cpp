#include "SuperIo.h"

#include <cstdio>

namespace quarn::emu {

SuperIo::SuperIo(Board &B, bool Ld3Active, bool Ld2Active) : IndexPort_(B.Layout().SioIndexPort) {
  // A serial port found active was set up by an earlier stage: it has its base and IRQ.
  const struct {
    uint8_t Device;
    bool Active;
    uint16_t Base;
    uint8_t Irq;
  } PowerOn[] = {{kSerialA, Ld3Active, B.Layout().Uart1Base, kSerialAIrq},
                 {kSerialB, Ld2Active, B.Layout().Uart2Base, kSerialBIrq}};
  for (const auto &Port : PowerOn) {
    Device_[{Port.Device, 0x30}] = Port.Active ? 1 : 0;
    if (Port.Active) {
      Device_[{Port.Device, 0x60}] = uint8_t(Port.Base >> 8);
      Device_[{Port.Device, 0x61}] = uint8_t(Port.Base);
      Device_[{Port.Device, 0x70}] = Port.Irq;
    }
  }
  B.MapIo(IndexPort_, 1, *this);
  B.MapIo(B.Layout().SioDataPort, 1, *this);
}

uint8_t SuperIo::Register(uint8_t Device, uint8_t Index) const {
  if (Index < kFirstDeviceRegister) {
    auto It = Global_.find(Index);
    return It == Global_.end() ? 0 : It->second;
  }
  auto It = Device_.find({Device, Index});
  return It == Device_.end() ? 0 : It->second;
}

uint8_t &SuperIo::Cell(uint8_t Device, uint8_t Index) {
  return Index < kFirstDeviceRegister ? Global_[Index] : Device_[{Device, Index}];
}

uint32_t SuperIo::IoRead(uint16_t Port, unsigned) {
  if (Port == IndexPort_) return Index_;
  return Register(Register(0, kLogicalDevice), Index_);
}

void SuperIo::IoWrite(uint16_t Port, unsigned, uint32_t Value) {
  if (Port == IndexPort_) {
    Index_ = uint8_t(Value);
    return;
  }
  Writes_.push_back({Index_, uint8_t(Value)});
  Cell(Register(0, kLogicalDevice), Index_) = uint8_t(Value);
}

std::string SuperIo::RegisterName(uint16_t Port) const {
  if (Port == IndexPort_) return "index";
  char Text[40];
  if (Index_ < kFirstDeviceRegister) {
    std::snprintf(Text, sizeof Text, "data [0x%02X]", Index_);
  } else {
    std::snprintf(Text, sizeof Text, "data LD%u [0x%02X]", Register(0, kLogicalDevice), Index_);
  }
  return Text;
}

}  // namespace quarn::emu
