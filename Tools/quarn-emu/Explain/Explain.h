// quarn-emu explain: from a serial log captured in the field to the story of the boot
// and a scenario that prints the module's lines of that log byte for byte.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>

#include "ExplainSearch.h"

namespace quarn::emu::cli {

struct ExplainOptions {
  std::string Log;    // the log file ("-": standard input)
  std::string Emit;   // write the scenario here ("": do not)
  bool Json = false;  // the story as one JSON object
};

/// quarn-emu explain: 0 the log's module lines are reproduced; 1 the log cannot have come
/// from this module (the first such line named, with the reason); 2 the log cannot be
/// read or the scenario not written.
int ExplainLog(const ExplainOptions &Options, std::ostream &Out, std::ostream &Err);

namespace explain {

/// Everything explain found about one log.
struct Explanation {
  ParsedLog Log;
  SearchResult Search;
  std::string Road;          // the row of the outcome table the boot took
  std::string ScenarioToml;  // the scenario with [expect] filled from the log
};

/// Reads the log text, searches and writes the scenario (named Name).
Explanation Explain(std::string_view LogText, const std::string &Name, bool Alternatives = true);

/// The story as text, and as JSON. Emitted: the file the scenario was written to ("":
/// none; the text story then ends with the scenario itself).
std::string StoryText(const Explanation &E, const std::string &LogName, const std::string &Emitted = "");
nlohmann::json StoryJson(const Explanation &E, const std::string &LogName, const std::string &Emitted = "");

}  // namespace explain

}  // namespace quarn::emu::cli
