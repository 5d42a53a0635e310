// Thrown through the module when the emulator has to stop it: a dead loop, or a wait
// that cannot make progress. The run's outcome says which, and where.
#pragma once

#include <stdexcept>
#include <string>

namespace quarn::emu {

struct RunStopped : std::runtime_error {
  RunStopped(std::string OutcomeName, const std::string &Where)
      : std::runtime_error(Where), Outcome(std::move(OutcomeName)) {}
  std::string Outcome;  // "dead-loop" or "hang"
};

}  // namespace quarn::emu
