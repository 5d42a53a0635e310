// Runs a loaded scenario on a fresh emulated board.
#pragma once

#include <vector>

#include "BreakOn.h"
#include "Emulator/Emulator.h"
#include "Emulator/Report.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

namespace quarn::emu::cli {

/// Sets a freshly built emulator up as the scenario says before its run: the HOBs an
/// earlier module left. Throws ScenarioError when they do not fit the HOB space.
void PrepareEmulator(Emulator &E, const LoadedScenario &Loaded);

/// Builds the board the scenario describes, dispatches the module and returns what it
/// left behind; with Trace the report carries every access; with Breaks the program
/// stops at each of those events (WatchForBreaks). Throws ScenarioError when the
/// scenario cannot be set up (a preset HOB that does not fit the HOB space).
RunReport RunScenario(const LoadedScenario &Loaded, bool Trace, std::vector<BreakEvent> *Breaks = nullptr);

}  // namespace quarn::emu::cli
