// quarn-emu check: a report against a scenario's [expect] table.
#pragma once

#include <nlohmann/json.hpp>

#include <string>
#include <vector>

#include "ScenarioLoader.h"

namespace quarn::emu::cli {

struct Mismatch {
  std::string Key;
  std::string Expected;
  std::string Got;
};

/// Compares each [expect] key with the report key of the same name (exact equality) and
/// runs the substring tests (console_contains, ...; a *_sequence list must be found in
/// its order). Without an "outcome" key the run
/// must have returned: a module the emulator had to stop never matches silently.
std::vector<Mismatch> CheckReport(const std::vector<Expectation> &Expect, const nlohmann::json &Report);

/// A JSON value for a message, cut to Limit characters.
std::string ShowValue(const nlohmann::json &Value, size_t Limit = 400);

}  // namespace quarn::emu::cli
