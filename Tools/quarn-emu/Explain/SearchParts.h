// The parts of the search for a scenario that prints a log's lines (ExplainSearch.h):
// the values of a candidate's keys as TOML writes them, the runs and how far each agrees
// with the log, the keys the log's lines fix at the start, and the changes the search may
// make. Only the search's own files (and their tests) include this.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ExplainSearch.h"

namespace quarn::emu::cli::explain::search {

// --- values as a scenario file writes them (CandidateText.cpp) -----------------------

/// Value as "0x" and eight upper-case hexadecimal digits.
std::string Hex8(uint64_t Value);

/// Text between double quotes (nothing in it escaped): a TOML string of a plain text.
std::string Quoted(const std::string &Text);

/// The EFI_ name of a status as a TOML string.
std::string StatusValue(uint64_t Status);

/// The number a key's value holds (decimal or 0x...), or nothing for a string or a table.
std::optional<uint64_t> Number(const std::string &Value);

/// VORNFS1 of a scenario that does not set it (CurrentState 5, normal).
inline constexpr uint64_t kDefaultFs1 = 0x00000005;

// --- runs (SearchRunner.cpp) -----------------------------------------------------------

/// One run of a candidate.
struct Outcome {
  bool Usable = false;  // the scenario loaded and ran
  std::vector<std::string> Lines;
  std::shared_ptr<RunReport> Report;
};

/// How far a run agrees with the log.
struct Score {
  long Matched = -1;  // -1: the scenario could not be run
  bool Exact = false;
  size_t Offset = 0;
  bool operator>(const Score &O) const { return Matched > O.Matched || (Matched == O.Matched && Exact && !O.Exact); }
};

/// Runs candidates on the emulator, each scenario text once, and scores them against the log.
class Runner {
 public:
  explicit Runner(const ParsedLog &Log) : Log_(Log) {}

  /// The run of C (from the cache when its text ran before; one that cannot run once
  /// kMaxSearchRuns runs are spent); the reference stays valid.
  const Outcome &Run(const Candidate &C);

  /// How far the run of C agrees with the log's module lines: from the run's first line,
  /// or, for a log cut at its start, from the run's line that agrees best with the first.
  Score ScoreOf(const Candidate &C);

  size_t Runs = 0;

 private:
  const ParsedLog &Log_;
  std::unordered_map<std::string, Outcome> Cache_;
};

// --- what the lines fix (SearchSeed.cpp) ---------------------------------------------

/// The catalogue id of the message L is a line of ("" for a line no message prints).
std::string IdOf(const LogLine &L);

/// The keys each module line of Log fixes, in the order of the lines; keys at their
/// default values left out.
Candidate Seed(const ParsedLog &Log);

// --- the changes the search may make (SearchMoves.cpp) --------------------------------

/// One change: keys set together, under the group of changes it belongs to.
struct Move {
  std::string Group;
  std::vector<std::pair<std::string, std::string>> Set;  // value "": back to the default
};

/// C with the keys of M set (or, for "", taken back to their defaults).
Candidate Apply(const Candidate &C, const Move &M);

/// Numbers and statuses the log prints: the values a change may try.
struct Harvest {
  std::set<uint64_t> Decimals, Hex, Statuses;
};

/// The values of a kind a harvest keeps: a boot prints a handful; a log that prints
/// thousands cannot make every round of the search offer thousands of changes.
inline constexpr size_t kMaxHarvestValues = 32;

/// The numbers and statuses of Log's module lines (addresses left out): of each kind the
/// first kMaxHarvestValues distinct values, in the order of the lines.
Harvest HarvestOf(const ParsedLog &Log);

/// Every change the search may make to C, values taken from H too; each key and value
/// offered once, in the order the search tries them.
std::vector<Move> MovesFor(const Candidate &C, const Harvest &H);

/// The groups of changes that can alter a line of this message (or its absence).
std::set<std::string> LeversOf(const std::string &Id);

// --- what the log pins (FieldCheck.cpp) -----------------------------------------------

/// TRUE when a run scored S prints the log's Total module lines as the run scored Best
/// does: every one, from the same line of the run, and, when Best prints nothing more
/// (a log that shows the whole boot), nothing more either.
bool PrintsTheSame(const Score &S, const Score &Best, size_t Total);

/// A set of small numbers as the story writes it: "0 to 6 or 8 to 15", "0, 1, 3 or 5".
std::string ValuesText(const std::set<uint32_t> &Values);

/// Each field of the VORN's registers and of the firmware's answers in Best's run (its
/// report Report; BestScore its agreement with the log's Total module lines), tried alone
/// with other values: pinned, or free with the exact values that print the same lines.
std::vector<FieldFreedom> FieldsOf(Runner &R, size_t Total, const Candidate &Best, const Score &BestScore,
                                   const RunReport &Report);

}  // namespace quarn::emu::cli::explain::search
