#include "Commands.h"

#include <chrono>
#include <cstdio>
#include <fstream>

#include "BuiltinScenarios.h"
#include "Check.h"
#include "ReportJson.h"
#include "Runner.h"
#include "ScenarioLoader.h"
#include "Sequence.h"
#include "Summary.h"

namespace quarn::emu::cli {

namespace {

int ExitFor(const RunReport &Report) { return Report.Outcome == "returned" ? kExitOk : kExitStopped; }

std::string Padded(std::string Text, size_t Width) {
  if (Text.size() < Width) Text.append(Width - Text.size(), ' ');
  return Text;
}

double HostMs(std::chrono::steady_clock::time_point Since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Since).count();
}

struct CheckRow {
  std::string Name;
  std::string Outcome;
  std::string Status;
  double HostMs = 0;
  bool HasExpect = false;
  std::vector<Mismatch> Mismatches;
};

}  // namespace

int RunOne(const RunOptions &Options, std::ostream &Out, std::ostream &Err) {
  LoadedScenario Loaded;
  try {
    Loaded = ResolveScenario(Options.Scenario);
  } catch (const ScenarioError &Error) {
    Err << "quarn-emu: " << Error.what() << "\n";
    return kExitBadInput;
  }
  // Open the report file before the run, so that a bad path costs nothing.
  std::ofstream ReportFile;
  if (!Options.ReportFile.empty()) {
    ReportFile.open(Options.ReportFile, std::ios::binary | std::ios::trunc);
    if (!ReportFile) {
      Err << "quarn-emu: " << Options.ReportFile << ": cannot be written\n";
      return kExitBadInput;
    }
  }

  RunReport Report;
  try {
    Report = RunScenario(Loaded, Options.Trace || Options.Sequence);
  } catch (const ScenarioError &Error) {
    Err << "quarn-emu: " << Error.what() << "\n";
    return kExitBadInput;
  }

  const nlohmann::json Json = ReportToJson(Report, Options.Trace);
  if (ReportFile.is_open()) {
    ReportFile << Json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  }
  if (Options.Json) {
    Out << Json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else if (Options.Sequence) {
    Out << SequenceDiagram(Report);
  } else {
    Out << Report.Console;
    if (!Report.Console.empty() && Report.Console.back() != '\n') Out << "\n";
    if (Options.Trace) WriteTrace(Out, Report);
    WriteSummary(Out, Report, Loaded.Settings.Description);
  }
  Out.flush();
  return ExitFor(Report);
}

int ListScenarios(std::ostream &Out, std::ostream &Err) {
  size_t Width = 0;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) Width = std::max(Width, Builtin.Name.size());
  int Status = kExitOk;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) {
    try {
      const LoadedScenario Loaded = LoadScenarioText(Builtin.Text, "Scenarios/" + Builtin.Name + ".toml");
      Out << Padded(Builtin.Name, Width + 2) << Loaded.Settings.Description << "\n";
    } catch (const ScenarioError &Error) {
      Err << "quarn-emu: " << Error.what() << "\n";
      Status = kExitBadInput;
    }
  }
  return Status;
}

int CheckScenarios(const std::vector<std::string> &Arguments, std::ostream &Out, std::ostream &Err) {
  // Every scenario is loaded and checked before the first one runs.
  std::vector<LoadedScenario> Scenarios;
  try {
    if (Arguments.empty()) {
      for (const BuiltinScenario &Builtin : BuiltinScenarios()) Scenarios.push_back(ResolveScenario(Builtin.Name));
    } else {
      for (const std::string &Argument : Arguments) Scenarios.push_back(ResolveScenario(Argument));
    }
  } catch (const ScenarioError &Error) {
    Err << "quarn-emu: " << Error.what() << "\n";
    return kExitBadInput;
  }

  size_t Width = 8;
  for (const LoadedScenario &Loaded : Scenarios) Width = std::max(Width, Loaded.Settings.Name.size());
  Out << Padded("scenario", Width + 2) << Padded("outcome", 11) << Padded("status", 24) << "   host ms  result\n";

  const auto Start = std::chrono::steady_clock::now();
  size_t Failed = 0;
  for (const LoadedScenario &Loaded : Scenarios) {
    CheckRow Row;
    Row.Name = Loaded.Settings.Name;
    Row.HasExpect = Loaded.HasExpect;
    const auto Begin = std::chrono::steady_clock::now();
    try {
      const RunReport Report = RunScenario(Loaded, false);
      Row.HostMs = HostMs(Begin);
      Row.Outcome = Report.Outcome;
      Row.Status = Report.Status ? StatusName(*Report.Status) : "-";
      Row.Mismatches = CheckReport(Loaded.Expect, ReportToJson(Report, false));
    } catch (const ScenarioError &Error) {
      Err << "quarn-emu: " << Error.what() << "\n";
      return kExitBadInput;
    }
    char HostTime[32];
    std::snprintf(HostTime, sizeof HostTime, "%10.0f", Row.HostMs);
    Out << Padded(Row.Name, Width + 2) << Padded(Row.Outcome, 11) << Padded(Row.Status, 24) << HostTime << "  "
        << (!Row.Mismatches.empty() ? "MISMATCH" : Row.HasExpect ? "ok" : "ok (no [expect])") << "\n";
    for (const Mismatch &M : Row.Mismatches) {
      Out << "    " << M.Key << ": expected " << M.Expected << ", got " << M.Got << "\n";
    }
    Failed += Row.Mismatches.empty() ? 0 : 1;
  }
  char Total[64];
  std::snprintf(Total, sizeof Total, "%.1f s", HostMs(Start) / 1000);
  Out << Scenarios.size() << " scenarios: " << Scenarios.size() - Failed << " match, " << Failed << " mismatch ("
      << Total << " host time)\n";
  return Failed == 0 ? kExitOk : kExitMismatch;
}

}  // namespace quarn::emu::cli
