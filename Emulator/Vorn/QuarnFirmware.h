// The QUARN firmware behind DRUX_PPI: answers the module's messages as scripted by the
// scenario and records every exchange.
#pragma once

#include <Ppi/Drux.h>

#include <vector>

#include "Emulator/Report.h"
#include "Emulator/Scenario.h"
#include "VornDevice.h"

namespace quarn::emu {

class QuarnFirmware {
 public:
  QuarnFirmware(Board &B, VornDevice &Vorn, const Scenario &S);
  ~QuarnFirmware();

  /// The PPI to install (its entries reach this model through the current board).
  DRUX_PPI *Ppi();
  const std::vector<MessageExchange> &Exchanges() const;

 private:
  struct State;
  State *State_;
};

}  // namespace quarn::emu
