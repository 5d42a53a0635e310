#include "Commands.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "BuiltinScenarios.h"
#include "Emulator/FaultSweep.h"
#include "ReportJson.h"
#include "Runner.h"
#include "ScenarioLoader.h"
#include "ScenarioWriter.h"
#include "Sequence.h"
#include "Suggest.h"
#include "Summary.h"

namespace quarn::emu::cli {

namespace {

int ExitFor(const RunReport &Report) { return Report.Outcome == "returned" ? kExitOk : kExitStopped; }

double HostMs(std::chrono::steady_clock::time_point Since) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Since).count();
}

}  // namespace

std::string Padded(std::string Text, size_t Width) {
  if (Text.size() < Width) Text.append(Width - Text.size(), ' ');
  return Text;
}

LoadedScenario Resolve(const std::string &Argument, std::ostream &Err) {
  LoadedScenario Loaded = ResolveScenario(Argument);
  if (!Loaded.Note.empty()) Err << "quarn-emu: " << Loaded.Note << "\n";
  return Loaded;
}

bool FlushChecked(std::ostream &Stream, const std::string &Name, std::ostream &Err) {
  // A stream whose failure was reported once is not reported again.
  static const int kReported = std::ios_base::xalloc();
  errno = 0;
  Stream.flush();
  if (Stream) return true;
  if (Stream.iword(kReported) != 0) return false;
  Stream.iword(kReported) = 1;
  const int Error = errno;
  Err << "quarn-emu: " << Name << ": write failed" << (Error != 0 ? std::string(": ") + std::strerror(Error) : "")
      << "\n";
  return false;
}

int RunOne(const RunOptions &Options, std::ostream &Out, std::ostream &Err) {
  LoadedScenario Loaded;
  try {
    Loaded = Resolve(Options.Scenario, Err);
  } catch (const ScenarioError &Error) {
    Err << "quarn-emu: " << Error.what() << "\n";
    return kExitBadInput;
  }
  if (Options.DumpScenario) {
    Out << ScenarioToToml(Loaded);
    return FlushChecked(Out, "standard output", Err) ? kExitOk : kExitBadInput;
  }
  // Open the report file before the run, so that a bad path costs nothing. "-" is
  // standard output: the report is then all that goes there.
  const bool ReportToOut = Options.ReportFile == kStandardStream;
  std::ofstream ReportFile;
  if (!Options.ReportFile.empty() && !ReportToOut) {
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
  const std::string Indented = Json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  if (ReportFile.is_open()) {
    ReportFile << Indented;
    ReportFile.close();
    if (!ReportFile) {
      Err << "quarn-emu: " << Options.ReportFile << ": write failed\n";
      return kExitBadInput;
    }
  }
  if (ReportToOut) {
    Out << Indented;
  } else if (Options.Json) {
    Out << Json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else if (Options.Sequence) {
    Out << SequenceDiagram(Report);
  } else {
    Out << Report.Console;
    if (!Report.Console.empty() && Report.Console.back() != '\n') Out << "\n";
    if (Options.Trace) WriteTrace(Out, Report);
    WriteSummary(Out, Report, Loaded.Settings.Description, Options.Wide);
  }
  if (!FlushChecked(Out, "standard output", Err)) return kExitBadInput;
  return ExitFor(Report);
}

int ListScenarios(std::ostream &Out, std::ostream &Err) {
  size_t Width = 0;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) Width = std::max(Width, Builtin.Name.size());
  int Status = kExitOk;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) {
    try {
      const LoadedScenario Loaded = LoadBuiltinScenario(Builtin);
      Out << Padded(Builtin.Name, Width + 2) << Loaded.Settings.Description << "\n";
    } catch (const ScenarioError &Error) {
      Err << "quarn-emu: " << Error.what() << "\n";
      Status = kExitBadInput;
    }
  }
  return Status;
}

int ShowScenario(const std::string &Name, std::ostream &Out, std::ostream &Err) {
  const BuiltinScenario *Builtin = FindBuiltinScenario(Name);
  if (Builtin == nullptr) {
    Err << "quarn-emu: " << Name << ": no built-in scenario of that name" << DidYouMean(Name, BuiltinScenarioNames())
        << " (quarn-emu list shows them)\n";
    return kExitBadInput;
  }
  Out << Builtin->Text;
  return FlushChecked(Out, "standard output", Err) ? kExitOk : kExitBadInput;
}

namespace {

/// Loads every scenario named (every built-in one without arguments) before any runs;
/// false, with the message on Err, when one cannot be used.
bool LoadScenarios(const std::vector<std::string> &Arguments, std::vector<LoadedScenario> &Scenarios,
                   std::ostream &Err) {
  try {
    if (Arguments.empty()) {
      // By name of the built-in itself: a file of that name in the directory does not count.
      for (const BuiltinScenario &Builtin : BuiltinScenarios()) Scenarios.push_back(LoadBuiltinScenario(Builtin));
    } else {
      for (const std::string &Argument : Arguments) Scenarios.push_back(Resolve(Argument, Err));
    }
  } catch (const ScenarioError &Error) {
    Err << "quarn-emu: " << Error.what() << "\n";
    return false;
  }
  return true;
}

/// A progress bar on one line of Err, redrawn in place.
void DrawProgress(std::ostream &Err, const std::string &Name, uint64_t Done, uint64_t Total) {
  constexpr uint64_t kWidth = 30;
  const uint64_t Filled = Total == 0 ? kWidth : Done * kWidth / Total;
  Err << "\r" << Padded(Name, 32) << " [" << std::string(Filled, '#') << std::string(kWidth - Filled, '.') << "] "
      << Done << "/" << Total << std::flush;
}

}  // namespace

int SweepScenarioFaults(const std::vector<std::string> &Arguments, uint64_t Stride, bool Terminal, std::ostream &Out,
                        std::ostream &Err) {
  std::vector<LoadedScenario> Scenarios;
  if (!LoadScenarios(Arguments, Scenarios, Err)) return kExitBadInput;

  std::vector<FaultSweepResult> Results;
  const auto Start = std::chrono::steady_clock::now();
  try {
    for (const LoadedScenario &Loaded : Scenarios) {
      const std::string &Name = Loaded.Settings.Name;
      std::function<void(uint64_t, uint64_t)> Progress;
      if (Terminal) Progress = [&](uint64_t Done, uint64_t Total) { DrawProgress(Err, Name, Done, Total); };
      Results.push_back(SweepFaults(Loaded.Settings, Stride, Progress, [&](Emulator &E) { PrepareEmulator(E, Loaded); }));
      const FaultSweepResult &Result = Results.back();
      if (Terminal) {
        DrawProgress(Err, Name, Result.Points, Result.Points);
        Err << "\n";
      } else {
        Err << Name << ": " << Result.Runs.size() << " of " << Result.Points << " fault points swept, "
            << Result.Failures() << " with an invariant broken\n";
      }
    }
  } catch (const ScenarioError &Error) {
    Err << (Terminal ? "\n" : "") << "quarn-emu: " << Error.what() << "\n";
    return kExitBadInput;
  }

  size_t Width = 8;
  for (const FaultSweepResult &Result : Results) Width = std::max(Width, Result.Scenario.size());
  Out << Padded("scenario", Width + 2) << "points  swept  returned  dead-loop  hang  failures\n";
  uint64_t Points = 0, Swept = 0, Failures = 0;
  for (const FaultSweepResult &Result : Results) {
    size_t Returned = 0, DeadLoops = 0, Hangs = 0;
    for (const FaultOutcome &Run : Result.Runs) {
      Returned += Run.Outcome == "returned";
      DeadLoops += Run.Outcome == "dead-loop";
      Hangs += Run.Outcome == "hang";
    }
    char Row[96];
    std::snprintf(Row, sizeof Row, "%6llu  %5zu  %8zu  %9zu  %4zu  %8zu", static_cast<unsigned long long>(Result.Points),
                  Result.Runs.size(), Returned, DeadLoops, Hangs, Result.Failures());
    Out << Padded(Result.Scenario, Width + 2) << Row << "\n";
    for (const FaultOutcome &Run : Result.Runs) {
      for (const std::string &Violation : Run.Violations) {
        Out << "    point " << Run.Point << " (" << Run.Call << " fails): " << Violation << "\n";
      }
    }
    Points += Result.Points;
    Swept += Result.Runs.size();
    Failures += Result.Failures();
  }
  char Total[64];
  std::snprintf(Total, sizeof Total, "%.1f s", HostMs(Start) / 1000);
  Out << Results.size() << " scenarios, " << Points << " fault points, " << Swept << " runs swept, " << Failures
      << " with an invariant broken (" << Total << " host time)\n";
  return Failures == 0 ? kExitOk : kExitMismatch;
}

}  // namespace quarn::emu::cli
