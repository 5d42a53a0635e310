// What the commands of quarn-emu share besides their interface: loading the scenarios a
// command names, and the columns of their tables.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

namespace quarn::emu::cli {

/// Text padded with spaces to Width (longer text is left as it is).
std::string Padded(std::string Text, size_t Width);

/// Resolves one scenario argument (ResolveScenario) and tells Err what it should know
/// about how it was taken. Throws ScenarioError.
LoadedScenario Resolve(const std::string &Argument, std::ostream &Err);

/// Loads every scenario named (every built-in one without arguments) before any runs;
/// false, with the message on Err, when one cannot be used.
bool LoadScenarios(const std::vector<std::string> &Arguments, std::vector<LoadedScenario> &Scenarios,
                   std::ostream &Err);

}  // namespace quarn::emu::cli
