// The effective scenario as a TOML file: every key of every table, defaults filled in,
// so that what a run used can be read off and loaded again (quarn-emu run --dump-scenario).
// The board's places, [memory] and [board], are written when they move anything.
#pragma once

#include <string>

#include "ScenarioLoader.h"

namespace quarn::emu::cli {

/// The scenario as TOML text that LoadScenarioText reads back to the same scenario,
/// [expect] included when it has one.
std::string ScenarioToToml(const LoadedScenario &Loaded);

}  // namespace quarn::emu::cli
