#include "Cmos.h"

namespace quarn::emu {

Cmos::Cmos(Board &B, uint32_t ErrorLevel, bool Valid) {
  for (unsigned Byte = 0; Byte < 4; Byte++) Ram_[0x7A + Byte] = uint8_t(ErrorLevel >> (8 * Byte));
  Ram_[0x0E] = Valid ? 0x00 : 0x80;
  B.MapIo(0x70, 2, *this);
}

uint32_t Cmos::IoRead(uint16_t Port, unsigned) {
  if (Port == 0x71) {
    DataAccesses_++;
    return Ram_[Index_ & 0x7F];
  }
  return 0xFF;
}

void Cmos::IoWrite(uint16_t Port, unsigned, uint32_t Value) {
  if (Port == 0x70) {
    Index_ = uint8_t(Value);
  } else {
    DataAccesses_++;
    Ram_[Index_ & 0x7F] = uint8_t(Value);
  }
}

std::string Cmos::RegisterName(uint16_t Port) const {
  if (Port == 0x70) return "index";
  char Text[24];
  snprintf(Text, sizeof Text, "data [0x%02X]", Index_ & 0x7F);
  return Text;
}

}  // namespace quarn::emu
