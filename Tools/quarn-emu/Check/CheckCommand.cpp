// quarn-emu check: runs scenarios, compares each with its [expect] table and writes the
// results as a table, as JSON and as JUnit XML. Nothing written depends on the host's
// speed or clock: times are the virtual time of each run.
#include <fnmatch.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>

#include "Check.h"
#include "CheckResults.h"
#include "Junit.h"
#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"
#include "Tools/quarn-emu/Support/CommandSupport.h"
#include "Tools/quarn-emu/Support/Suggest.h"

namespace quarn::emu::cli {

using nlohmann::json;
using namespace check;

std::string check::Fixed(double Value, int Digits) {
  char Text[48];
  std::snprintf(Text, sizeof Text, "%.*f", Digits, Value);
  return Text;
}

std::string check::RightAligned(const std::string &Text, size_t Width) {
  return std::string(Text.size() < Width ? Width - Text.size() : 0, ' ') + Text;
}

namespace {

const char *VerdictName(Verdict Result) {
  switch (Result) {
    case Verdict::Match: return "match";
    case Verdict::Mismatch: return "mismatch";
    case Verdict::NoExpectations: return "no expectations";
    case Verdict::Error: return "error";
  }
  return "";
}

/// Text in lower case (ASCII: scenario names are).
std::string Lower(std::string Text) {
  for (char &C : Text) C = static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
  return Text;
}

/// -k: a glob when the pattern holds * ? or [, else a substring of the name; any case.
bool Selected(const std::string &Name, const std::string &Pattern) {
  if (Pattern.empty()) return true;
  if (Pattern.find_first_of("*?[") != std::string::npos) {
    return fnmatch(Pattern.c_str(), Name.c_str(), FNM_CASEFOLD) == 0;
  }
  return Lower(Name).find(Lower(Pattern)) != std::string::npos;
}

/// A scenario to check: a built-in one or a command-line argument.
struct Candidate {
  const BuiltinScenario *Builtin = nullptr;
  std::string Argument;

  /// The name before the scenario is loaded: a built-in's, or the file's without .toml.
  std::string Name() const { return Builtin ? Builtin->Name : std::filesystem::path(Argument).stem().string(); }
  std::string Source() const { return Builtin ? "Scenarios/" + Builtin->Name + ".toml" : Argument; }
};

/// Checks one scenario. A file is selected by -k (Select) on its scenario's name once it
/// is loaded (on its file name when it cannot be): nothing, when -k leaves it out.
std::optional<CheckResult> CheckOne(const Candidate &Item, const std::string &Select, std::ostream &Err) {
  CheckResult Row;
  Row.Name = Item.Builtin ? Item.Builtin->Name : Item.Argument;
  Row.Source = Item.Source();
  try {
    const LoadedScenario Loaded = Item.Builtin ? LoadBuiltinScenario(*Item.Builtin) : Resolve(Item.Argument, Err);
    if (!Selected(Loaded.Settings.Name, Select)) return std::nullopt;
    Row.Name = Loaded.Settings.Name;
    Row.Source = Loaded.Source;
    const RunReport Report = RunScenario(Loaded, false);
    Row.Outcome = Report.Outcome;
    Row.Status = Report.Status ? StatusName(*Report.Status) : "-";
    Row.ElapsedMs = Milliseconds(Report.ElapsedNs);
    // Without [expect] only a stopped run can fail: nothing else was asked.
    const std::vector<Mismatch> Mismatches = CheckReport(Loaded.Expect, ReportToJson(Report, false), Loaded.ExpectLine);
    for (const Mismatch &M : Mismatches) Row.Lines.push_back(MismatchLine(Loaded.Source, M));
    Row.Result = !Mismatches.empty() ? Verdict::Mismatch : Loaded.HasExpect ? Verdict::Match : Verdict::NoExpectations;
  } catch (const ScenarioError &Error) {
    if (!Selected(Item.Name(), Select)) return std::nullopt;
    Err << "quarn-emu: " << Error.what() << "\n";
    Row.Result = Verdict::Error;
    Row.Lines = {Error.what()};
  }
  return Row;
}

Totals Count(const std::vector<CheckResult> &Results, std::vector<NotRunScenario> NotRun, bool Strict) {
  Totals T;
  for (const CheckResult &Row : Results) {
    T.Count[static_cast<int>(Row.Result)]++;
    T.ElapsedMs += Row.ElapsedMs;
  }
  T.NotRun = NotRun.size();
  T.NotRunScenarios = std::move(NotRun);
  T.Strict = Strict;
  return T;
}

void WriteTable(std::ostream &Out, const std::vector<CheckResult> &Results, const Totals &T) {
  size_t Width = 8;
  for (const CheckResult &Row : Results) Width = std::max(Width, Row.Name.size());
  Out << Padded("scenario", Width + 2) << Padded("outcome", 11) << Padded("status", 24) << "virtual ms  result\n";
  for (const CheckResult &Row : Results) {
    const bool Ran = !Row.Outcome.empty();
    const std::string Time = RightAligned(Ran ? Fixed(Row.ElapsedMs, 3) : "-", 10);
    static constexpr const char *kShown[] = {"ok", "MISMATCH", "no expectations", "ERROR"};
    const bool Fails = T.Strict && Row.Result == Verdict::NoExpectations;
    Out << Padded(Row.Name, Width + 2) << Padded(Ran ? Row.Outcome : "-", 11) << Padded(Ran ? Row.Status : "-", 24)
        << Time << "  " << (Fails ? "NO EXPECTATIONS (--strict)" : kShown[static_cast<int>(Row.Result)]) << "\n";
    for (const std::string &Line : Row.Lines) Out << "    " << Line << "\n";
  }
  Out << Counted(Results.size() + T.NotRun, "scenario", "scenarios") << ": " << T[Verdict::Match] << " match, "
      << T[Verdict::Mismatch] << " mismatch, " << T[Verdict::NoExpectations] << " no expectations, "
      << T[Verdict::Error] << " error" << (T[Verdict::Error] == 1 ? "" : "s");
  if (T.NotRun != 0) Out << ", " << T.NotRun << " not run (-x: stopped at the first failure)";
  Out << " (" << Fixed(T.ElapsedMs, 3) << " ms of virtual time)\n";
}

json ResultsJson(const std::vector<CheckResult> &Results, const Totals &T) {
  json List = json::array();
  for (const CheckResult &Row : Results) {
    json Entry = {{"name", Row.Name}, {"source", Row.Source}, {"result", VerdictName(Row.Result)}};
    const bool Ran = !Row.Outcome.empty();
    Entry["outcome"] = Ran ? json(Row.Outcome) : json(nullptr);
    Entry["status"] = Ran && Row.Status != "-" ? json(Row.Status) : json(nullptr);
    Entry["elapsed_ms"] = Ran ? json(Row.ElapsedMs) : json(nullptr);
    Entry[Row.Result == Verdict::Error ? "error" : "mismatches"] = Row.Lines;
    List.push_back(Entry);
  }
  return {{"scenarios", List},
          {"totals",
           {{"scenarios", Results.size() + T.NotRun},
            {"match", T[Verdict::Match]},
            {"mismatch", T[Verdict::Mismatch]},
            {"no_expectations", T[Verdict::NoExpectations]},
            {"error", T[Verdict::Error]},
            {"not_run", T.NotRun}}}};
}

/// The scenarios to check: the named ones (-k selects among them once they are loaded),
/// else the built-ins -k selects; false, with the message on Err, when -k leaves no
/// built-in.
bool Candidates(const CheckOptions &Options, std::vector<Candidate> &List, std::ostream &Err) {
  if (!Options.Scenarios.empty()) {
    for (const std::string &Argument : Options.Scenarios) {
      List.push_back({IsBareScenarioName(Argument) ? FindBuiltinScenario(Argument) : nullptr, Argument});
      // A bare name that is no built-in stays an argument: loading it says what is wrong.
    }
    return true;
  }
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) {
    if (Selected(Builtin.Name, Options.Select)) List.push_back({&Builtin, {}});
  }
  if (List.empty()) {
    Err << "quarn-emu: -k " << Options.Select << ": no built-in scenario matches"
        << DidYouMean(Options.Select, BuiltinScenarioNames()) << " (quarn-emu list shows them)\n";
    return false;
  }
  return true;
}

/// Checks the scenarios of List in order, as Options asks (-k, -x); what -x left unrun
/// goes to NotRun.
std::vector<CheckResult> CheckAll(const std::vector<Candidate> &List, const CheckOptions &Options,
                                  std::vector<NotRunScenario> &NotRun, std::ostream &Err) {
  std::vector<CheckResult> Results;
  size_t Next = 0;
  while (Next < List.size()) {
    std::optional<CheckResult> Row = CheckOne(List[Next++], Options.Select, Err);
    if (!Row) continue;
    const Verdict Result = Row->Result;
    Results.push_back(std::move(*Row));
    const bool Failed = Result == Verdict::Mismatch || Result == Verdict::Error ||
                        (Options.Strict && Result == Verdict::NoExpectations);
    if (Options.StopAtFirstFailure && Failed) break;
  }
  for (; Next < List.size(); Next++) {
    if (Selected(List[Next].Name(), Options.Select)) NotRun.push_back({List[Next].Name(), List[Next].Source()});
  }
  return Results;
}

}  // namespace

int CheckScenarios(const CheckOptions &Options, std::ostream &Out, std::ostream &Err) {
  std::vector<Candidate> List;
  if (!Candidates(Options, List, Err)) return kExitBadInput;
  // Open the JUnit file before anything runs, so that a bad path costs nothing. "-" is
  // standard output, in place of the table.
  const bool JunitToOut = Options.JunitFile == kStandardStream;
  if (JunitToOut && Options.Json) {
    Err << "quarn-emu: --junit - puts the JUnit XML on standard output, which --json needs for itself\n";
    return kExitBadInput;
  }
  std::ofstream Junit;
  if (!Options.JunitFile.empty() && !JunitToOut) {
    Junit.open(Options.JunitFile, std::ios::binary | std::ios::trunc);
    if (!Junit) {
      Err << "quarn-emu: " << Options.JunitFile << ": cannot be written\n";
      return kExitBadInput;
    }
  }

  std::vector<NotRunScenario> NotRun;
  const std::vector<CheckResult> Results = CheckAll(List, Options, NotRun, Err);
  if (Results.empty() && NotRun.empty() && !Options.Select.empty()) {
    Err << "quarn-emu: -k " << Options.Select << ": none of the scenarios named matches\n";
    return kExitBadInput;
  }
  const Totals T = Count(Results, std::move(NotRun), Options.Strict);
  const CheckIdentity Tool{Options.Tool.Version, Options.Tool.Build, Options.Tool.ModuleFlavour};

  if (JunitToOut) {
    Out << JunitXml(Results, T, Tool);
  } else if (Options.Json) {
    json Json = ResultsJson(Results, T);
    Json["tool"] = ToolJson(Options.Tool);
    Out << Json.dump(2, ' ', false, json::error_handler_t::replace) << "\n";
  } else {
    WriteTable(Out, Results, T);
  }
  int Status = T[Verdict::Error] != 0 ? kExitBadInput : T.Failed() != 0 ? kExitMismatch : kExitOk;
  if (Junit.is_open()) {
    Junit << JunitXml(Results, T, Tool);
    Junit.close();
    if (!Junit) {
      Err << "quarn-emu: " << Options.JunitFile << ": write failed\n";
      Status = kExitBadInput;
    }
  }
  return Status;
}

}  // namespace quarn::emu::cli
