// Fault injection over a whole run: the scenario is run once to count its failable calls
// (every PEI service, LocatePpi, SendWithAck, GetVornStatus, CreateHob, AllocatePool,
// ReportStatusCode, StartupAllAPs), then again with the k-th of them failing, for every
// k, and each run is checked against the invariants the module must keep whatever fails.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "Emulator/Report.h"
#include "Emulator/Scenario.h"

namespace quarn::emu {

class Emulator;

/// One fault point and what became of the run.
struct FaultOutcome {
  uint64_t Point = 0;   // k: the k-th failable call of the run failed
  std::string Call;     // which call that was
  uint64_t Nth = 0;     // the Nth call of that name: [fault] call = Call, nth = Nth fails the same one
  uint64_t TimeNs = 0;  // when it was made
  std::string Answer;   // the status the failing call answered
  std::string Outcome;  // "returned", "dead-loop", "hang"
  std::string Status;   // the entry point's status, when it returned
  std::vector<std::string> Violations;
};

struct FaultSweepResult {
  std::string Scenario;
  uint64_t Points = 0;  // failable calls of the clean run
  /// What the run without any fault already breaks (a run that does not return counts):
  /// when this is not empty, no fault point is blamed for a failure.
  std::vector<std::string> CleanViolations;
  std::vector<FaultOutcome> Runs;
  bool FailsWithoutFault() const { return !CleanViolations.empty(); }
  /// Fault points whose run broke an invariant, none when the scenario fails without a fault.
  size_t Failures() const {
    if (FailsWithoutFault()) return 0;
    size_t Count = 0;
    for (const auto &Run : Runs) Count += !Run.Violations.empty();
    return Count;
  }
};

/// The invariants of one finished run; empty when they all hold.
std::vector<std::string> CheckRunInvariants(const RunReport &Report, Emulator *After = nullptr);

/// Sets up a freshly built emulator before its run (HOBs an earlier module left, ...).
using PrepareRun = std::function<void(Emulator &)>;

/// Sweeps every Stride-th fault point of S (1: all of them). Prepare runs on every board
/// before its run; Progress is called after each run.
FaultSweepResult SweepFaults(const Scenario &S, uint64_t Stride = 1,
                             const std::function<void(uint64_t Done, uint64_t Total)> &Progress = {},
                             const PrepareRun &Prepare = {});

}  // namespace quarn::emu
