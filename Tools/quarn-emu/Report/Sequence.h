// The exchange between the module, the PEI core and the firmware as a Mermaid sequence
// diagram: PPI installs and look-ups, HOB creation, status codes, notifications and
// every SendWithAck with its kind and result. Needs a report made with the trace on.
#pragma once

#include <string>

#include "Emulator/Report.h"

namespace quarn::emu::cli {

std::string SequenceDiagram(const RunReport &Report);

}  // namespace quarn::emu::cli
