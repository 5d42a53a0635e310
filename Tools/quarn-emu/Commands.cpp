#include "Commands.h"
#include "CommandSupport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "BreakOn.h"
#include "BuiltinScenarios.h"
#include "ReportJson.h"
#include "Runner.h"
#include "ScenarioLoader.h"
#include "ScenarioWriter.h"
#include "Sequence.h"
#include "Suggest.h"
#include "Summary.h"
#include "Trace.h"

namespace quarn::emu::cli {

namespace {

int ExitFor(const RunReport &Report) { return Report.Outcome == "returned" ? kExitOk : kExitStopped; }

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
  // The trace filter is checked before anything is loaded or runs; any part of it, or a
  // trace file, asks for the trace.
  TraceFilter Filter;
  for (const auto &[Option, Error] :
       {std::pair<const char *, std::string>{"--trace-kind", ParseTraceKinds(Options.TraceKinds, Filter)},
        {"--trace-address", Options.TraceAddress.empty() ? "" : ParseTraceRange(Options.TraceAddress, Filter)},
        {"--trace-time", Options.TraceTime.empty() ? "" : ParseTraceWindow(Options.TraceTime, Filter)}}) {
    if (!Error.empty()) {
      Err << "quarn-emu: " << Option << ": " << Error << "\n";
      return kExitBadInput;
    }
  }
  const bool Tracing = Options.Trace || Filter.Any() || !Options.TraceFile.empty();
  std::vector<BreakEvent> Breaks(Options.BreakOn.size());
  for (size_t Index = 0; Index < Breaks.size(); Index++) {
    const std::string Error = ParseBreakEvent(Options.BreakOn[Index], Breaks[Index]);
    if (!Error.empty()) {
      Err << "quarn-emu: --break-on " << Options.BreakOn[Index] << ": " << Error << "\n";
      return kExitBadInput;
    }
  }
  if (!Breaks.empty()) InstallUntakenBreakHandler();

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

  std::ofstream TraceFile;
  if (!Options.TraceFile.empty()) {
    TraceFile.open(Options.TraceFile, std::ios::binary | std::ios::trunc);
    if (!TraceFile) {
      Err << "quarn-emu: " << Options.TraceFile << ": cannot be written\n";
      return kExitBadInput;
    }
  }

  RunReport Report;
  try {
    Report = RunScenario(Loaded, Tracing || Options.Sequence, Breaks.empty() ? nullptr : &Breaks);
  } catch (const ScenarioError &Error) {
    Err << "quarn-emu: " << Error.what() << "\n";
    return kExitBadInput;
  }

  for (const BreakEvent &Event : Breaks) {
    if (Event.Seen < Event.Nth) {
      Err << "quarn-emu: --break-on " << Event.Spec << ": not reached (" << Event.Seen << " occurrence"
          << (Event.Seen == 1 ? "" : "s") << " in this run)\n";
    }
  }
  if (TraceFile.is_open()) {
    WriteTrace(TraceFile, Report, Filter);
    TraceFile.close();
    if (!TraceFile) {
      Err << "quarn-emu: " << Options.TraceFile << ": write failed\n";
      return kExitBadInput;
    }
  }
  // The report's trace is the one shown: the filter applies to it too.
  RunReport Shown;
  if (Filter.Any()) {
    Shown = Report;
    Shown.Trace = FilterTrace(Report, Filter);
  }
  const nlohmann::json Json = ReportToJson(Filter.Any() ? Shown : Report, Tracing);
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
    if (Tracing && Options.TraceFile.empty()) WriteTrace(Out, Report, Filter);
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

}  // namespace quarn::emu::cli
