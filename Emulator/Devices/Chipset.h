// The chipset functions the console set-up touches: the host bridge (00:00.0, the byte
// at 0xFC), the LPC bridge (00:1F.0, I/O decode at 0x80), the sideband access function
// (00:1F.1, its base at 0x10: kSidebandBase with the memory-BAR type bits) and the
// sideband MMIO window behind that base, which keeps what is written to it.
// The chipset makes itself findable with Board::Find<Chipset>().
#pragma once

#include "Emulator/Board/Board.h"

namespace quarn::emu {

class Chipset {
 public:
  static constexpr uint32_t kSidebandBase = 0xFD000000;
  static constexpr uint32_t kSidebandSize = 0x01000000;

  Chipset(Board &B, uint8_t HostBridgeFc);
  /// LPC I/O decode register (00:1F.0 offset 0x80).
  uint32_t LpcDecode() const;
  /// Sideband register at Offset from the sideband base.
  uint32_t Sideband(uint32_t Offset) const;
  /// Sets the byte at offset 0xFC of 00:00.0 (4 selects the console's FIFO-reset mode).
  void SetHostBridgeFc(uint8_t Value);
  /// Hides the sideband function: its configuration space then reads all ones.
  void HideSidebandFunction(bool Hidden);

 private:
  class HostBridge;
  class Lpc;
  class SidebandFunction;
  class SidebandWindow;
  HostBridge *Host_ = nullptr;
  Lpc *Lpc_ = nullptr;
  SidebandFunction *Sideband_ = nullptr;
  SidebandWindow *Window_ = nullptr;
};

}  // namespace quarn::emu
