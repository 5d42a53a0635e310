// Runs a loaded scenario on a fresh emulated board.
#pragma once

#include "Emulator/Report.h"
#include "ScenarioLoader.h"

namespace quarn::emu::cli {

/// Builds the board the scenario describes, dispatches the module and returns what it
/// left behind; with Trace the report carries every access. Throws ScenarioError when
/// the scenario cannot be set up (a preset HOB that does not fit the HOB space).
RunReport RunScenario(const LoadedScenario &Loaded, bool Trace);

}  // namespace quarn::emu::cli
