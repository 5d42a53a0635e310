// Scenario files: TOML text -> Scenario, strictly. An unknown key, a value of the wrong
// type or out of range, an unknown status name or a malformed hex string is refused with
// one message that names the file, the line and the key; nothing is run then.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Emulator/Scenario.h"

namespace quarn::emu::cli {

/// A VORN type HOB that an earlier module left in the HOB list before the entry
/// ([pei.vorn_type_hob]).
struct PresetVornTypeHob {
  uint32_t VornType = 1;
  uint8_t FwType = 1;
  uint8_t FwSubType = 0;
  unsigned Line = 0;  // the line of its table, for the refusal when it does not fit
};

/// A failable call made to fail ([fault]): the Nth call (1-based) of Call, or of any
/// failable call when Call is "*".
struct FaultInjection {
  std::string Call;
  uint64_t Nth = 1;
};

/// How an [expect] key is compared with the report.
enum class ExpectKind {
  Value,     // the report key of the same name: equal, or within bounds, or the fields given
  Contains,  // *_contains: each text occurs in the subject
  Excludes,  // *_excludes: no text occurs in the subject
  Sequence,  // *_sequence on a text: the texts occur in this order, each after the one before
  Lines,     // *_lines: whole lines of the subject, in this order, others between
  Matches,   // *_matches: each regular expression matches some line of the subject
  Order,     // exchange_sequence, records_sequence: entries of a list in this order, others between
};

/// One key of the [expect] table, as the JSON value it is compared with (the value as
/// written: a bounds table or a partial object stays a JSON object).
struct Expectation {
  std::string Key;
  nlohmann::json Value;
  unsigned Line = 0;
  ExpectKind Kind = ExpectKind::Value;
  std::string Subject;  // the report key it is compared with ("console" for console_lines)
};

/// A scenario file, loaded and checked.
struct LoadedScenario {
  Scenario Settings;
  std::optional<PresetVornTypeHob> VornTypeHob;
  std::optional<FaultInjection> Fault;
  bool HasExpect = false;
  unsigned ExpectLine = 0;  // the line of the [expect] header
  std::vector<Expectation> Expect;
  std::string Source;  // the file it came from ("Scenarios/NAME.toml" for a built-in one)
};

/// A scenario that cannot be used. what() is the whole message: "FILE:LINE: KEY: TEXT"
/// (the line and the key are left out where there is none).
class ScenarioError : public std::runtime_error {
 public:
  ScenarioError(std::string Source, unsigned Line, std::string Key, std::string Text);
  const std::string &Source() const { return Source_; }
  unsigned Line() const { return Line_; }
  const std::string &Key() const { return Key_; }
  const std::string &Text() const { return Text_; }

 private:
  std::string Source_;
  unsigned Line_;
  std::string Key_;
  std::string Text_;
};

/// Loads a scenario from its text; Source names it in messages. Throws ScenarioError.
LoadedScenario LoadScenarioText(std::string_view Text, const std::string &Source);

/// Loads a scenario file. Throws ScenarioError (also when the file cannot be read).
LoadedScenario LoadScenarioFile(const std::string &Path);

struct BuiltinScenario;

/// Loads a built-in scenario; Source is "Scenarios/NAME.toml". Throws ScenarioError.
LoadedScenario LoadBuiltinScenario(const BuiltinScenario &Builtin);

/// A command-line scenario argument: a bare name (IsBareScenarioName) is a built-in
/// scenario, whatever files lie in the working directory; "-" is standard input; anything
/// else (a path, a name ending in .toml) a file that can be read (regular or not: process
/// substitution gives a pipe). Throws ScenarioError when it is none of these, suggesting
/// the nearest built-in name, or the path a file of that name needs.
LoadedScenario ResolveScenario(const std::string &Argument);

/// True when Argument names a built-in scenario rather than a file: no directory part,
/// not "-" and no .toml suffix.
bool IsBareScenarioName(const std::string &Argument);

/// True for an object that holds min, max, approx or tolerance: a bounds table
/// ({ min, max } or { approx, tolerance }), which a number is compared with.
bool IsBoundsTable(const nlohmann::json &Value);

}  // namespace quarn::emu::cli
