#include "Cmos.h"

#include <cstdio>

namespace quarn::emu {

Cmos::Cmos(Board &B, uint32_t ErrorLevel, bool Valid) {
  // The layout keeps the four bytes inside the RAM (CheckBoardLayout); the mask keeps any
  // layout a board is built with inside it too.
  const unsigned First = B.Layout().CmosLevelIndex;
  for (unsigned Byte = 0; Byte < BoardLayout::kCmosLevelBytes; Byte++) {
    Ram_[(First + Byte) & kAddressMask] = uint8_t(ErrorLevel >> (8 * Byte));
  }
  Ram_[0x0E] = Valid ? 0x00 : 0x80;
  B.MapIo(kIndexPort, 2, *this);
}

uint32_t Cmos::IoRead(uint16_t Port, unsigned) {
  if (Port != kDataPort) return 0xFF;
  DataAccesses_++;
  ReadRegisters_.set(Index_ & kAddressMask);
  return Ram_[Index_ & kAddressMask];
}

void Cmos::IoWrite(uint16_t Port, unsigned, uint32_t Value) {
  if (Port == kIndexPort) {
    Index_ = uint8_t(Value);
    return;
  }
  DataAccesses_++;
  Ram_[Index_ & kAddressMask] = uint8_t(Value);
}

std::string Cmos::RegisterName(uint16_t Port) const {
  if (Port == kIndexPort) return "index";
  char Text[32];
  std::snprintf(Text, sizeof Text, "data [0x%02X]%s", Index_ & kAddressMask, NmiMasked() ? " NMI masked" : "");
  return Text;
}

}  // namespace quarn::emu
