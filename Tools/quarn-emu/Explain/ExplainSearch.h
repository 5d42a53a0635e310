// The search for a scenario that prints a log's module lines: what the lines fix is
// set first, the candidate is run on the emulator, compared at its first difference
// with the log, and refined by the changes that can alter the lines around that
// difference, until the lines agree or no change gets further.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Emulator/Report.h"
#include "ExplainLog.h"

namespace quarn::emu::cli::explain {

/// A scenario as the keys of its file: "table.key" -> TOML value ("0x00000002", "true",
/// "\"EFI_TIMEOUT\""); "vorn.at" holds whole [[vorn.at]] tables. A key left out keeps
/// its default.
struct Candidate {
  std::map<std::string, std::string> Keys;
  bool operator==(const Candidate &Other) const { return Keys == Other.Keys; }
};

/// The scenario file of a candidate: name, description, tables, and Expect (the text of
/// an [expect] table, without its header; empty: none).
std::string ScenarioText(const Candidate &C, const std::string &Name, const std::string &Description,
                         const std::string &Expect);

/// Another scenario that prints the same lines: a key of the one emitted set otherwise.
struct Alternative {
  std::string Key;
  std::string Value;    // the other value ("" : the default)
  std::string Differs;  // what tells the two boots apart outside the console ("" : nothing the report shows)
};

/// One field of a register or of a firmware answer in the scenario found, tried alone with
/// other values (the rest of the scenario as it is): pinned when every other value prints
/// other lines, free when others print the same lines; Free then names exactly the values
/// that do (the field's value among them).
struct FieldFreedom {
  std::string Of;     // "VORNFS1 at entry", "the feature-set answer"
  std::string Field;  // "CurrentState (bits 3:0)", "result", "reported length"
  std::string Key;    // the scenario key that holds it ("vorn.fs1", "drux.feature_set.response")
  std::string Value;  // its value in the scenario, as the story writes it
  bool Pinned = true;
  std::string Free;   // when free: every value that prints the same lines ("0 to 6 or 8 to 15")
  bool Tried = true;  // false: the search's runs (kMaxSearchRuns) were spent before it was tried
};

struct SearchResult {
  bool Reproduced = false;  // every module line of the log agrees with the run's
  bool Exact = false;       // ... and the run prints no line more
  Candidate Best;
  size_t Matched = 0;                 // leading module lines of the log the best run agrees with
  size_t Offset = 0;                  // run lines before the log's first (a log cut at its start)
  std::vector<std::string> RunLines;  // the best run's console lines
  RunReport Report;                   // the best run's report
  size_t Runs = 0;                    // emulator runs the search took
  double HostMs = 0;
  std::string Reason;  // when not reproduced: why the line Matched cannot come next
  std::vector<Alternative> Alternatives;
  std::vector<FieldFreedom> Fields;  // with Alternatives: each register and answer field, pinned or free
};

/// The most emulator runs one search takes, whatever the log (refinement, simplification
/// and alternatives together): a candidate past it counts as one that cannot run.
inline constexpr size_t kMaxSearchRuns = 2500;

/// The name the story gives a message kind's answer ("the feature-set answer").
std::string AnswerName(const std::string &Kind);

/// Searches for the simplest scenario that prints Log's module lines. With Alternatives,
/// also runs the one-key variations of the result and tries each field of its registers
/// and answers with other values, to name what the log does not tell.
SearchResult SearchScenario(const ParsedLog &Log, bool Alternatives = true);

}  // namespace quarn::emu::cli::explain
