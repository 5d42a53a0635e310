// The three commands of quarn-emu, each writing to a stream and answering the exit
// status: 0 done (run: the module returned, whatever it returned; check: every scenario
// matches), 1 a mismatch, 2 a scenario or argument that cannot be used (nothing runs),
// 3 the emulator had to stop the module (a dead loop or a hang).
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace quarn::emu::cli {

constexpr int kExitOk = 0;
constexpr int kExitMismatch = 1;
constexpr int kExitBadInput = 2;
constexpr int kExitStopped = 3;

struct RunOptions {
  std::string Scenario = "default";
  bool Json = false;
  std::string ReportFile;
  bool Trace = false;
  bool Sequence = false;
};

/// quarn-emu run: the console, then the summary; or the JSON report; or the diagram.
int RunOne(const RunOptions &Options, std::ostream &Out, std::ostream &Err);

/// quarn-emu list: one line per built-in scenario, name and description.
int ListScenarios(std::ostream &Out, std::ostream &Err);

/// quarn-emu check: runs each scenario (every built-in one without arguments) and
/// compares it with its [expect] table; prints a table of results and each mismatch.
int CheckScenarios(const std::vector<std::string> &Arguments, std::ostream &Out, std::ostream &Err);

/// quarn-emu faults: for each scenario (every built-in one without arguments), runs it
/// again with each of its failable calls failing in turn (every Stride-th one) and checks
/// the run's invariants; a progress bar on Err, a summary table on Out. 0 when every
/// invariant held, 1 otherwise.
int SweepScenarioFaults(const std::vector<std::string> &Arguments, uint64_t Stride, std::ostream &Out,
                        std::ostream &Err);

}  // namespace quarn::emu::cli
