// quarn-emu faults: every failable call of each scenario made to fail in turn, the runs
// checked against the invariants; a table per scenario, or with --list a line per fault
// point and the [fault] table that makes the same call fail again.
#include <cstdio>

#include "Emulator/FaultSweep.h"
#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Support/CommandSupport.h"

namespace quarn::emu::cli {

namespace {

/// A progress bar on one line of Err, redrawn in place.
void DrawProgress(std::ostream &Err, const std::string &Name, uint64_t Done, uint64_t Total) {
  constexpr uint64_t kWidth = 30;
  const uint64_t Filled = Total == 0 ? kWidth : Done * kWidth / Total;
  Err << "\r" << Padded(Name, 32) << " [" << std::string(Filled, '#') << std::string(kWidth - Filled, '.') << "] "
      << Done << "/" << Total << std::flush;
}

/// The first thing the run without a fault breaks, for one line.
std::string FailsWithoutFault(const FaultSweepResult &Result) {
  return "fails without a fault: " + Result.CleanViolations.front();
}

/// One line per fault point: where, which call, what it answered and when, how the run
/// ended, whether its invariants held, and the [fault] table that fails the same call.
void WriteList(std::ostream &Out, const std::vector<FaultSweepResult> &Results, size_t Width) {
  Out << Padded("scenario", Width + 2)
      << "point  call                    answer                     at ms  outcome    status                   "
         "verdict      reproduced by\n";
  for (const FaultSweepResult &Result : Results) {
    if (Result.FailsWithoutFault()) Out << Padded(Result.Scenario, Width + 2) << FailsWithoutFault(Result) << "\n";
    for (const FaultOutcome &Run : Result.Runs) {
      const std::string Call = Run.Call.empty() ? "(none)" : Run.Call + " #" + std::to_string(Run.Nth);
      const char *Verdict = Result.FailsWithoutFault() ? "not counted" : Run.Violations.empty() ? "ok" : "BROKEN";
      char Row[160];
      std::snprintf(Row, sizeof Row, "%5llu  %-22s  %-22s %10.3f  %-9s  %-23s  %-11s  ",
                    static_cast<unsigned long long>(Run.Point), Call.c_str(),
                    Run.Answer.empty() ? "-" : Run.Answer.c_str(), Milliseconds(Run.TimeNs), Run.Outcome.c_str(),
                    Run.Status.empty() ? "-" : Run.Status.c_str(), Verdict);
      Out << Padded(Result.Scenario, Width + 2) << Row;
      if (Run.Call.empty()) {
        Out << "-\n";
      } else {
        Out << "[fault] call = \"" << Run.Call << "\", nth = " << Run.Nth << "\n";
      }
      if (Result.FailsWithoutFault()) continue;
      for (const std::string &Violation : Run.Violations) Out << "    " << Violation << "\n";
    }
  }
}

/// A row per scenario: points, runs and how they ended, failures, then what broke.
void WriteTable(std::ostream &Out, const std::vector<FaultSweepResult> &Results, size_t Width) {
  Out << Padded("scenario", Width + 2) << "points  swept  returned  dead-loop  hang  failures\n";
  for (const FaultSweepResult &Result : Results) {
    size_t Returned = 0, DeadLoops = 0, Hangs = 0;
    for (const FaultOutcome &Run : Result.Runs) {
      Returned += Run.Outcome == "returned";
      DeadLoops += Run.Outcome == "dead-loop";
      Hangs += Run.Outcome == "hang";
    }
    char Row[96];
    std::snprintf(Row, sizeof Row, "%6llu  %5zu  %8zu  %9zu  %4zu  %8s", static_cast<unsigned long long>(Result.Points),
                  Result.Runs.size(), Returned, DeadLoops, Hangs,
                  Result.FailsWithoutFault() ? "-" : std::to_string(Result.Failures()).c_str());
    Out << Padded(Result.Scenario, Width + 2) << Row << "\n";
    if (Result.FailsWithoutFault()) {
      // What the faults do on top of a failing run is not theirs to answer for.
      for (const std::string &Violation : Result.CleanViolations)
        Out << "    fails without a fault: " << Violation << "\n";
      continue;
    }
    for (const FaultOutcome &Run : Result.Runs) {
      for (const std::string &Violation : Run.Violations) {
        Out << "    point " << Run.Point << " (" << Run.Call << " #" << Run.Nth << " fails): " << Violation << "\n";
      }
    }
  }
}

}  // namespace

int SweepScenarioFaults(const std::vector<std::string> &Arguments, uint64_t Stride, bool Terminal, std::ostream &Out,
                        std::ostream &Err, bool List) {
  std::vector<LoadedScenario> Scenarios;
  if (!LoadScenarios(Arguments, Scenarios, Err)) return kExitBadInput;

  std::vector<FaultSweepResult> Results;
  try {
    for (const LoadedScenario &Loaded : Scenarios) {
      const std::string &Name = Loaded.Settings.Name;
      std::function<void(uint64_t, uint64_t)> Progress;
      if (Terminal) Progress = [&](uint64_t Done, uint64_t Total) { DrawProgress(Err, Name, Done, Total); };
      Results.push_back(
          SweepFaults(Loaded.Settings, Stride, Progress, [&](Emulator &E) { PrepareEmulator(E, Loaded); }));
      const FaultSweepResult &Result = Results.back();
      if (Terminal) {
        DrawProgress(Err, Name, Result.Points, Result.Points);
        Err << "\n";
      } else {
        Err << Name << ": " << Result.Runs.size() << " of " << Counted(Result.Points, "fault point", "fault points")
            << " swept, " << Result.Failures() << " with an invariant broken"
            << (Result.FailsWithoutFault() ? " (" + FailsWithoutFault(Result) + ")" : "") << "\n";
      }
    }
  } catch (const ScenarioError &Error) {
    Err << (Terminal ? "\n" : "") << "quarn-emu: " << Error.what() << "\n";
    return kExitBadInput;
  }

  size_t Width = 8;
  for (const FaultSweepResult &Result : Results) Width = std::max(Width, Result.Scenario.size());
  if (List) {
    WriteList(Out, Results, Width);
  } else {
    WriteTable(Out, Results, Width);
  }
  uint64_t Points = 0, Swept = 0, Failures = 0, FailingAlready = 0;
  for (const FaultSweepResult &Result : Results) {
    Points += Result.Points;
    Swept += Result.Runs.size();
    Failures += Result.Failures();
    FailingAlready += Result.FailsWithoutFault() ? 1 : 0;
  }
  // No host time: the same sweep prints the same bytes on every machine.
  Out << Counted(Results.size(), "scenario", "scenarios") << ", " << Counted(Points, "fault point", "fault points")
      << ", " << Counted(Swept, "run", "runs") << " swept, " << Failures << " with an invariant broken";
  if (FailingAlready > 0) Out << ", " << FailingAlready << " failing without a fault";
  Out << "\n";
  return Failures == 0 ? kExitOk : kExitMismatch;
}

}  // namespace quarn::emu::cli
