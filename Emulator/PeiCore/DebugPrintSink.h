// DEBUG_PRINT_PPI as another module would install it: records every message.
#pragma once

extern "C" {
#include <PiPei.h>
}
#include <Ppi/DebugPrint.h>

#include <string>
#include <vector>

#include "Emulator/Board/Board.h"

namespace quarn::emu {

class DebugPrintSink {
 public:
  /// Registers itself with the board (WriteMessage has no context pointer).
  explicit DebugPrintSink(Board &B);
  DEBUG_PRINT_PPI *Ppi() { return &Ppi_; }
  /// The messages WriteMessage received, each as many characters as its length said.
  const std::vector<std::string> &Messages() const { return Messages_; }

 private:
  static VOID EFIAPI WriteMessage(CONST CHAR8 *Message, UINTN Length);
  DEBUG_PRINT_PPI Ppi_{};
  std::vector<std::string> Messages_;
};

}  // namespace quarn::emu
