// Placeholder model: answers nothing until the message models land.
#include "QuarnFirmware.h"

namespace quarn::emu {

struct QuarnFirmware::State {
  DRUX_PPI Ppi{};
  std::vector<MessageExchange> Exchanges;
};

QuarnFirmware::QuarnFirmware(Board &, VornDevice &, const Scenario &) : State_(new State) {}
QuarnFirmware::~QuarnFirmware() { delete State_; }
DRUX_PPI *QuarnFirmware::Ppi() { return &State_->Ppi; }
const std::vector<MessageExchange> &QuarnFirmware::Exchanges() const { return State_->Exchanges; }

}  // namespace quarn::emu
