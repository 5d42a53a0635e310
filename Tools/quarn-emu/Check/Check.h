// quarn-emu check: a report against a scenario's [expect] table.
#pragma once

#include <nlohmann/json.hpp>

#include <regex>
#include <string>
#include <vector>

#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

namespace quarn::emu::cli {

/// One way the report differs from an [expect] key. Key is the path of what differs
/// ("info_hob.flow", "exchange[2]", "console_lines"); Line is the line of the [expect] key
/// (0: none, for a run stopped without an outcome expected); Text says how it differs
/// ("expected 1, got 0").
struct Mismatch {
  std::string Key;
  unsigned Line = 0;
  std::string Text;
};

/// "FILE:LINE: KEY: TEXT" (without ":LINE" when there is none).
std::string MismatchLine(const std::string &Source, const Mismatch &M);

/// Compares each [expect] key with the report:
///  - a report key: equal; a bounds table ({ min, max }, { approx, tolerance }) holds the
///    number; an object with partial = true compares only its fields. Objects differ field
///    by field, lists at their first differing entry and in length, multi-line texts at
///    their first differing line;
///  - *_contains / *_excludes / *_sequence: substrings (a sequence in its order); a
///    missing text names the subject's nearest line, and says when only line endings
///    differ;
///  - *_lines: whole lines (CR LF or LF), in order, others between;
///  - *_matches: each regular expression matches some line;
///  - exchange_sequence / records_sequence: entries in order (an entry matches by its
///    whole text or its first word), others between.
/// Without an "outcome" key the run must have returned: a module the emulator had to stop
/// never matches silently. Report keys the scenario does not name are never looked at.
std::vector<Mismatch> CheckReport(const std::vector<Expectation> &Expect, const nlohmann::json &Report,
                                  unsigned ExpectLine = 0);

/// The texts of a key that takes a string or a list of strings (asserted by the loader).
std::vector<std::string> ExpectedTexts(const nlohmann::json &Value);

/// The regular expression of a *_matches key: ECMAScript, matched in time polynomial in
/// the line's length (no back-references, so no pattern can make a check hang). Throws
/// std::regex_error for a pattern that is none.
std::regex MatchPattern(const std::string &Pattern);

/// A JSON value for a message, cut to Limit characters.
std::string ShowValue(const nlohmann::json &Value, size_t Limit = 400);

}  // namespace quarn::emu::cli
