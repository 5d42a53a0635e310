// What check found, as the table, the JSON and the JUnit XML write it: one result per
// scenario and the totals of the run.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quarn::emu::cli::check {

/// How the check of one scenario ended.
enum class Verdict { Match, Mismatch, NoExpectations, Error };

/// What check found for one scenario.
struct CheckResult {
  std::string Name;     // the scenario's name; for one that could not be loaded, the argument
  std::string Source;   // the file (Scenarios/NAME.toml for a built-in one)
  std::string Outcome;  // "" when it did not run
  std::string Status;
  double ElapsedMs = 0;  // virtual time from entry to return
  Verdict Result = Verdict::Match;
  std::vector<std::string> Lines;  // each mismatch (FILE:LINE: KEY: TEXT), or the error
};

/// A scenario -x left unrun: its name (a file's without .toml) and its file.
struct NotRunScenario {
  std::string Name;
  std::string Source;
};

/// The results of a check counted: each verdict, the scenarios -x left unrun, the
/// virtual time of every run, and whether a scenario without expectations fails
/// (--strict).
struct Totals {
  size_t Count[4] = {};
  size_t NotRun = 0;
  std::vector<NotRunScenario> NotRunScenarios;
  double ElapsedMs = 0;
  bool Strict = false;
  size_t operator[](Verdict Result) const { return Count[static_cast<int>(Result)]; }
  /// The scenarios that failed: mismatches, and with Strict those without expectations.
  size_t Failed() const { return Count[1] + (Strict ? Count[2] : 0); }
};

/// What made the results, for the JUnit properties: version, build, module flavour.
struct CheckIdentity {
  std::string Version;
  std::string Build;
  std::string ModuleFlavour;
};

/// Value with Digits digits after the point.
std::string Fixed(double Value, int Digits);

/// Text with blanks before it to Width characters (a longer text as it is).
std::string RightAligned(const std::string &Text, size_t Width);

}  // namespace quarn::emu::cli::check
