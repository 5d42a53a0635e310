// What the commands of quarn-emu share besides their interface: loading the scenarios a
// command names, and the columns of their tables.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

namespace quarn::emu::cli {

/// Text padded with spaces to Width (longer text is left as it is).
std::string Padded(std::string Text, size_t Width);

/// Count with the word for one (One) or for several (Many): "1 scenario", "2 scenarios".
std::string Counted(uint64_t Count, const char *One, const char *Many);

/// Resolves one scenario argument (ResolveScenario). Throws ScenarioError.
LoadedScenario Resolve(const std::string &Argument, std::ostream &Err);

/// Loads every scenario named (every built-in one without arguments) before any runs;
/// false, with the message on Err, when one cannot be used.
bool LoadScenarios(const std::vector<std::string> &Arguments, std::vector<LoadedScenario> &Scenarios,
                   std::ostream &Err);

/// Tool as the "tool" object of a JSON report or check result: name, version, build and
/// module flavour.
nlohmann::json ToolJson(const ToolIdentity &Tool);

}  // namespace quarn::emu::cli
