// The commands of quarn-emu, each writing to a stream and answering the exit
// status: 0 done (run: the module returned, whatever it returned; check: every scenario
// matches), 1 a mismatch, 2 a scenario or argument that cannot be used (nothing runs),
// 3 the emulator had to stop the module (a dead loop or a hang), 4 a --break-on stop that
// no debugger took.
//
// Each command lives in the folder of its job: run in Run/, list and show in Scenario/,
// check in Check/, faults in Faults/, explain in Explain/ (declared in Explain.h);
// main.cpp reads the command line and calls them.
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

/// What made a report: the tool's version (git describe), its build (the tree's build
/// type, with the sanitizers or not) and the flavour of the module inside (DEBUG or
/// RELEASE). A report says it because some of its values (entry_stack_bytes) depend on
/// the build, and the console on the flavour.
struct ToolIdentity {
  std::string Version = "unknown";
  std::string Build = "unknown";
  std::string ModuleFlavour = "unknown";
};

struct RunOptions {
  std::string Scenario = "default";
  ToolIdentity Tool;
  bool Json = false;
  std::string ReportFile;
  bool Trace = false;
  std::vector<std::string> TraceKinds;  // --trace-kind: kinds or groups, comma-separated or repeated
  std::string TraceAddress;             // --trace-address LO-HI or LO+LEN
  std::string TraceTime;                // --trace-time FROM-TO (virtual ms)
  std::string TraceFile;                // --trace-file: the text trace goes there
  bool Sequence = false;
  bool Wide = false;                 // the summary shows every byte of each message and record
  bool DumpScenario = false;         // print the effective scenario as TOML instead of running it
  std::vector<std::string> BreakOn;  // --break-on EVENT: stop the program there (BreakOn.h)
};

/// What a command line names "-": standard input for a scenario, standard output for a
/// report file.
constexpr const char *kStandardStream = "-";

/// Writes everything still buffered in Stream; false, with the message on Err, when
/// the stream could not take it (a full disk, a closed pipe); the message comes once per
/// stream, however often it is asked. Name says which stream.
bool FlushChecked(std::ostream &Stream, const std::string &Name, std::ostream &Err);

/// quarn-emu run: the console, then the summary; or the JSON report; or the diagram.
int RunOne(const RunOptions &Options, std::ostream &Out, std::ostream &Err);

/// quarn-emu list: one line per built-in scenario, name and description.
int ListScenarios(std::ostream &Out, std::ostream &Err);

/// quarn-emu show: the source of a built-in scenario as it was built in.
int ShowScenario(const std::string &Name, std::ostream &Out, std::ostream &Err);

struct CheckOptions {
  std::vector<std::string> Scenarios;  // files or built-in names; none: every built-in one
  std::string Select;                  // -k: scenarios whose name holds it (a glob with * ? [), any case
  bool StopAtFirstFailure = false;     // -x
  bool Strict = false;                 // --strict: a scenario without [expect] fails
  ToolIdentity Tool;
  bool Json = false;      // the results as JSON on Out instead of the table
  std::string JunitFile;  // also write JUnit XML there
};

/// quarn-emu check: runs each scenario and compares it with its [expect] table; prints a
/// table of results and each mismatch (FILE:LINE: KEY: how it differs), or JSON. A
/// scenario that cannot be loaded or run is an error for it alone: the others still run.
/// 0 every scenario matches (or has no expectations, unless Strict), 1 a mismatch (or,
/// Strict, a scenario without expectations), 2 an error.
int CheckScenarios(const CheckOptions &Options, std::ostream &Out, std::ostream &Err);

/// quarn-emu faults: for each scenario (every built-in one without arguments), runs it
/// again with each of its failable calls failing in turn (every Stride-th one) and checks
/// the run's invariants; a summary table on Out, or with List one line per fault point
/// and the [fault] table that reproduces it. A scenario whose run already breaks an
/// invariant (or does not return) without a fault is reported as such and its fault
/// points are not counted. Err gets a progress bar redrawn in place when it is a
/// terminal (Terminal), else one line per scenario swept. 0 when every invariant held,
/// 1 otherwise.
int SweepScenarioFaults(const std::vector<std::string> &Arguments, uint64_t Stride, bool Terminal, std::ostream &Out,
                        std::ostream &Err, bool List = false);

}  // namespace quarn::emu::cli
