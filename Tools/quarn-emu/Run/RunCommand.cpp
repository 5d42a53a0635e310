// quarn-emu run: one scenario on the emulated board, shown as the console and a summary,
// or as the JSON report, or as a sequence diagram; the trace, the report file and the
// --break-on stops as the options ask.
#include <fstream>

#include "BreakOn.h"
#include "Runner.h"
#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Report/Sequence.h"
#include "Tools/quarn-emu/Report/Summary.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"
#include "Tools/quarn-emu/Scenario/ScenarioWriter.h"
#include "Tools/quarn-emu/Support/CommandSupport.h"
#include "Tools/quarn-emu/Trace/Trace.h"

namespace quarn::emu::cli {

namespace {

/// The exit status of a run: 0 when the module returned, 3 when the emulator had to stop it.
int ExitFor(const RunReport &Report) { return Report.Outcome == "returned" ? kExitOk : kExitStopped; }

/// Reads the --trace-kind, --trace-address and --trace-time of Options into Filter;
/// false, with the message for the first that cannot be used on Err, otherwise.
bool ReadTraceFilter(const RunOptions &Options, TraceFilter &Filter, std::ostream &Err) {
  for (const auto &[Option, Error] :
       {std::pair<const char *, std::string>{"--trace-kind", ParseTraceKinds(Options.TraceKinds, Filter)},
        {"--trace-address", Options.TraceAddress.empty() ? "" : ParseTraceRange(Options.TraceAddress, Filter)},
        {"--trace-time", Options.TraceTime.empty() ? "" : ParseTraceWindow(Options.TraceTime, Filter)}}) {
    if (!Error.empty()) {
      Err << "quarn-emu: " << Option << ": " << Error << "\n";
      return false;
    }
  }
  return true;
}

/// Reads each --break-on of Options into Breaks; false, with the message for the first
/// that cannot be used on Err, otherwise.
bool ReadBreaks(const RunOptions &Options, std::vector<BreakEvent> &Breaks, std::ostream &Err) {
  Breaks.resize(Options.BreakOn.size());
  for (size_t Index = 0; Index < Breaks.size(); Index++) {
    const std::string Error = ParseBreakEvent(Options.BreakOn[Index], Breaks[Index]);
    if (!Error.empty()) {
      Err << "quarn-emu: --break-on " << Options.BreakOn[Index] << ": " << Error << "\n";
      return false;
    }
  }
  return true;
}

/// Opens the file Name for File, emptied; false, with the message on Err, when it cannot.
bool OpenForWriting(const std::string &Name, std::ofstream &File, std::ostream &Err) {
  File.open(Name, std::ios::binary | std::ios::trunc);
  if (!File) {
    Err << "quarn-emu: " << Name << ": cannot be written\n";
    return false;
  }
  return true;
}

/// Closes File (named Name); false, with the message on Err, when what it was given did
/// not all reach it.
bool CloseChecked(std::ofstream &File, const std::string &Name, std::ostream &Err) {
  File.close();
  if (!File) {
    Err << "quarn-emu: " << Name << ": write failed\n";
    return false;
  }
  return true;
}

/// Tells Err of each event of Breaks that the run did not reach as often as it asks.
void ReportUnreachedBreaks(const std::vector<BreakEvent> &Breaks, std::ostream &Err) {
  for (const BreakEvent &Event : Breaks) {
    if (Event.Seen < Event.Nth) {
      Err << "quarn-emu: --break-on " << Event.Spec << ": not reached (" << Event.Seen << " occurrence"
          << (Event.Seen == 1 ? "" : "s") << " in this run)\n";
    }
  }
}

/// The JSON report of Report, with its trace when Tracing; the report's trace is the one
/// shown: Filter applies to it too.
nlohmann::json ShownReport(const RunReport &Report, const TraceFilter &Filter, bool Tracing) {
  RunReport Shown;
  if (Filter.Any()) {
    Shown = Report;
    Shown.Trace = FilterTrace(Report, Filter);
  }
  return ReportToJson(Filter.Any() ? Shown : Report, Tracing);
}

/// What run shows on Out for the Options: the report (Indented, or Json on one line), the
/// diagram, or the console, the trace (Tracing, through Filter, unless it goes to a
/// file) and the summary of the scenario with that Description.
void WriteShown(std::ostream &Out, const RunOptions &Options, const RunReport &Report, const nlohmann::json &Json,
                const std::string &Indented, const TraceFilter &Filter, bool Tracing, const std::string &Description) {
  if (Options.ReportFile == kStandardStream) {
    Out << Indented;
  } else if (Options.Json) {
    Out << Json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
  } else if (Options.Sequence) {
    Out << SequenceDiagram(Report);
  } else {
    Out << Report.Console;
    if (!Report.Console.empty() && Report.Console.back() != '\n') Out << "\n";
    if (Tracing && Options.TraceFile.empty()) WriteTrace(Out, Report, Filter);
    WriteSummary(Out, Report, Description, Options.Wide);
  }
}

}  // namespace

int RunOne(const RunOptions &Options, std::ostream &Out, std::ostream &Err) {
  // The trace filter is checked before anything is loaded or runs; any part of it, or a
  // trace file, asks for the trace.
  TraceFilter Filter;
  if (!ReadTraceFilter(Options, Filter, Err)) return kExitBadInput;
  const bool Tracing = Options.Trace || Filter.Any() || !Options.TraceFile.empty();
  std::vector<BreakEvent> Breaks;
  if (!ReadBreaks(Options, Breaks, Err)) return kExitBadInput;
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
  if (!Options.ReportFile.empty() && !ReportToOut && !OpenForWriting(Options.ReportFile, ReportFile, Err)) {
    return kExitBadInput;
  }
  std::ofstream TraceFile;
  if (!Options.TraceFile.empty() && !OpenForWriting(Options.TraceFile, TraceFile, Err)) return kExitBadInput;

  RunReport Report;
  try {
    Report = RunScenario(Loaded, Tracing || Options.Sequence, Breaks.empty() ? nullptr : &Breaks);
  } catch (const ScenarioError &Error) {
    Err << "quarn-emu: " << Error.what() << "\n";
    return kExitBadInput;
  }

  ReportUnreachedBreaks(Breaks, Err);
  if (TraceFile.is_open()) {
    WriteTrace(TraceFile, Report, Filter);
    if (!CloseChecked(TraceFile, Options.TraceFile, Err)) return kExitBadInput;
  }
  nlohmann::json Json = ShownReport(Report, Filter, Tracing);
  Json["tool"] = ToolJson(Options.Tool);
  const std::string Indented = Json.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
  if (ReportFile.is_open()) {
    ReportFile << Indented;
    if (!CloseChecked(ReportFile, Options.ReportFile, Err)) return kExitBadInput;
  }
  WriteShown(Out, Options, Report, Json, Indented, Filter, Tracing, Loaded.Settings.Description);
  if (!FlushChecked(Out, "standard output", Err)) return kExitBadInput;
  return ExitFor(Report);
}

}  // namespace quarn::emu::cli
