// quarn-emu check: runs scenarios, compares each with its [expect] table and writes the
// results as a table, as JSON and as JUnit XML. Nothing written depends on the host's
// speed or clock: times are the virtual time of each run.
#include <fnmatch.h>

#include <cstdio>
#include <fstream>

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

/// -k: a glob when the pattern holds * ? or [, else a substring of the name.
bool Selected(const std::string &Name, const std::string &Pattern) {
  if (Pattern.find_first_of("*?[") != std::string::npos) return fnmatch(Pattern.c_str(), Name.c_str(), 0) == 0;
  return Name.find(Pattern) != std::string::npos;
}

/// A scenario to check: a built-in one or a command-line argument.
struct Candidate {
  const BuiltinScenario *Builtin = nullptr;
  std::string Argument;
};

CheckResult CheckOne(const Candidate &Item, std::ostream &Err) {
  CheckResult Row;
  Row.Name = Item.Builtin ? Item.Builtin->Name : Item.Argument;
  Row.Source = Item.Builtin ? "Scenarios/" + Item.Builtin->Name + ".toml" : Item.Argument;
  try {
    const LoadedScenario Loaded = Item.Builtin ? LoadBuiltinScenario(*Item.Builtin) : Resolve(Item.Argument, Err);
    Row.Name = Loaded.Settings.Name;
    Row.Source = Loaded.Source;
    const RunReport Report = RunScenario(Loaded, false);
    Row.Outcome = Report.Outcome;
    Row.Status = Report.Status ? StatusName(*Report.Status) : "-";
    Row.ElapsedMs = Milliseconds(Report.ElapsedNs);
    // Without [expect] only a stopped run can fail: nothing else was asked.
    const std::vector<Mismatch> Mismatches =
        CheckReport(Loaded.Expect, ReportToJson(Report, false), Loaded.ExpectLine);
    for (const Mismatch &M : Mismatches) Row.Lines.push_back(MismatchLine(Loaded.Source, M));
    Row.Result = !Mismatches.empty() ? Verdict::Mismatch : Loaded.HasExpect ? Verdict::Match : Verdict::NoExpectations;
  } catch (const ScenarioError &Error) {
    Err << "quarn-emu: " << Error.what() << "\n";
    Row.Result = Verdict::Error;
    Row.Lines = {Error.what()};
  }
  return Row;
}

Totals Count(const std::vector<CheckResult> &Results, size_t NotRun) {
  Totals T;
  for (const CheckResult &Row : Results) {
    T.Count[static_cast<int>(Row.Result)]++;
    T.ElapsedMs += Row.ElapsedMs;
  }
  T.NotRun = NotRun;
  return T;
}

void WriteTable(std::ostream &Out, const std::vector<CheckResult> &Results, const Totals &T) {
  size_t Width = 8;
  for (const CheckResult &Row : Results) Width = std::max(Width, Row.Name.size());
  Out << Padded("scenario", Width + 2) << Padded("outcome", 11) << Padded("status", 24) << "virtual ms  result\n";
  for (const CheckResult &Row : Results) {
    const bool Ran = !Row.Outcome.empty();
    std::string Time = Ran ? Fixed(Row.ElapsedMs, 3) : "-";
    Time.insert(0, Time.size() < 10 ? 10 - Time.size() : 0, ' ');
    static constexpr const char *kShown[] = {"ok", "MISMATCH", "no expectations", "ERROR"};
    Out << Padded(Row.Name, Width + 2) << Padded(Ran ? Row.Outcome : "-", 11) << Padded(Ran ? Row.Status : "-", 24) << Time << "  " << kShown[static_cast<int>(Row.Result)] << "\n";
    for (const std::string &Line : Row.Lines) Out << "    " << Line << "\n";
  }
  Out << Results.size() + T.NotRun << " scenarios: " << T[Verdict::Match] << " match, " << T[Verdict::Mismatch]
      << " mismatch, " << T[Verdict::NoExpectations] << " no expectations, " << T[Verdict::Error] << " error"
      << (T[Verdict::Error] == 1 ? "" : "s");
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

/// The scenarios to check, or false with the message on Err.
bool Candidates(const CheckOptions &Options, std::vector<Candidate> &List, std::ostream &Err) {
  if (!Options.Scenarios.empty()) {
    if (!Options.Select.empty()) {
      Err << "quarn-emu: -k selects built-in scenarios; name the scenarios or select, not both\n";
      return false;
    }
    for (const std::string &Argument : Options.Scenarios) List.push_back({nullptr, Argument});
    return true;
  }
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) {
    if (Options.Select.empty() || Selected(Builtin.Name, Options.Select)) List.push_back({&Builtin, {}});
  }
  if (List.empty()) {
    Err << "quarn-emu: -k " << Options.Select << ": no built-in scenario matches"
        << DidYouMean(Options.Select, BuiltinScenarioNames()) << " (quarn-emu list shows them)\n";
    return false;
  }
  return true;
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

  std::vector<CheckResult> Results;
  for (const Candidate &Item : List) {
    Results.push_back(CheckOne(Item, Err));
    const Verdict Result = Results.back().Result;
    if (Options.StopAtFirstFailure && (Result == Verdict::Mismatch || Result == Verdict::Error)) break;
  }
  const Totals T = Count(Results, List.size() - Results.size());

  if (JunitToOut) {
    Out << JunitXml(Results, T);
  } else if (Options.Json) {
    Out << ResultsJson(Results, T).dump(2, ' ', false, json::error_handler_t::replace) << "\n";
  } else {
    WriteTable(Out, Results, T);
  }
  int Status = T[Verdict::Error] != 0 ? kExitBadInput : T[Verdict::Mismatch] != 0 ? kExitMismatch : kExitOk;
  if (Junit.is_open()) {
    Junit << JunitXml(Results, T);
    Junit.close();
    if (!Junit) {
      Err << "quarn-emu: " << Options.JunitFile << ": write failed\n";
      Status = kExitBadInput;
    }
  }
  return Status;
}

}  // namespace quarn::emu::cli
