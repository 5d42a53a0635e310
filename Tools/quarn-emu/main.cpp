// quarn-emu: dispatches the module on an emulated board described by a scenario and
// shows what it did. Commands: run (the default), list, show, check, faults, explain, debug, help.
#include <CLI/CLI.hpp>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <iostream>
#include <limits>
#include <memory>
#include <unordered_map>
#include <vector>

#include "Commands.h"
#include "Tools/quarn-emu/Explain/Explain.h"
#include "Tools/quarn-emu/Support/Suggest.h"
#include "Tools/quarn-emu/Support/Version.h"
#include "Tools/quarn-emu/Trace/Trace.h"

namespace {

using namespace quarn::emu::cli;

constexpr const char *kToolName = "quarn-emu";
/// What this program is, as its reports and JUnit files say it.
ToolIdentity Identity() { return {QuarnEmuVersion(), QuarnEmuBuild(), QuarnEmuModuleFlavour()}; }

/// CLI11's help with the options an option excludes named in the order they were declared:
/// CLI11 keeps them in a set of pointers, whose order is where the options sit in memory,
/// which differs between builds (and would between runs, with address randomisation).
class DeclaredOrderFormatter : public CLI::Formatter {
 public:
  /// Records the declaration order of every option of App and its commands.
  void Learn(const CLI::App &App) {
    for (const CLI::Option *Opt : App.get_options()) Rank_.emplace(Opt, Rank_.size());
    for (const CLI::App *Command : App.get_subcommands({})) Learn(*Command);
  }

  std::string make_option_opts(const CLI::Option *Opt) const override {
    std::string Text = CLI::Formatter::make_option_opts(Opt);
    const std::string Label = " " + get_label("Excludes") + ":";
    const size_t At = Text.find(Label);
    if (At == std::string::npos || !Opt->get_option_text().empty()) return Text;
    const auto Excludes = Opt->get_excludes();  // a copy: CLI11 returns the set by value
    std::vector<const CLI::Option *> Excluded(Excludes.begin(), Excludes.end());
    std::sort(Excluded.begin(), Excluded.end(),
              [this](const CLI::Option *A, const CLI::Option *B) { return RankOf(A) < RankOf(B); });
    Text.resize(At + Label.size());
    for (const CLI::Option *Other : Excluded) Text += " " + Other->get_name();
    return Text;
  }

 private:
  size_t RankOf(const CLI::Option *Opt) const {
    const auto It = Rank_.find(Opt);
    return It == Rank_.end() ? Rank_.size() : It->second;
  }

  std::unordered_map<const CLI::Option *, size_t> Rank_;
};

/// --stride: a whole number from 1 to the largest 64-bit one, as written; anything
/// else is refused, not clamped.
std::string CheckStride(const std::string &Text) {
  constexpr uint64_t kMax = std::numeric_limits<uint64_t>::max();
  const std::string Range = " (a whole number from 1 to " + std::to_string(kMax) + ")";
  uint64_t Value = 0;
  const auto [End, Error] = std::from_chars(Text.data(), Text.data() + Text.size(), Value);
  if (Text.empty() || Error == std::errc::invalid_argument || End != Text.data() + Text.size()) {
    return "\"" + Text + "\" is not a number" + Range;
  }
  if (Error == std::errc::result_out_of_range || Value == 0) return Text + " is out of range" + Range;
  return {};
}

/// --report, --junit: an empty file name is refused rather than silently writing nothing.
std::string CheckNotEmpty(const std::string &Text) {
  return Text.empty() ? "needs a file name (or - for standard output)" : std::string();
}

/// --trace-kind, --trace-address, --trace-time: checked by the functions the run uses.
std::string CheckTraceKind(const std::string &Text) {
  TraceFilter Ignored;
  return ParseTraceKinds({Text}, Ignored);
}
std::string CheckTraceRange(const std::string &Text) {
  TraceFilter Ignored;
  return ParseTraceRange(Text, Ignored);
}
std::string CheckTraceWindow(const std::string &Text) {
  TraceFilter Ignored;
  return ParseTraceWindow(Text, Ignored);
}

/// Parser errors read like the tool's own: "quarn-emu: ...", then where to find help.
std::string FailureMessage(const CLI::App *App, const CLI::Error &Error) {
  const std::vector<CLI::App *> Parsed = App->get_subcommands();
  const std::string Command = Parsed.empty() ? std::string() : " " + Parsed.front()->get_name();
  return std::string(kToolName) + ": " + Error.what() + "\n(" + kToolName + " help" + Command + " shows the usage)\n";
}

/// The commands, in the order help lists them.
std::vector<const CLI::App *> Commands(const CLI::App &App) {
  return App.get_subcommands([](const CLI::App *) { return true; });
}

/// The command of that name, or nullptr.
const CLI::App *FindCommand(const CLI::App &App, const std::string &Name) {
  for (const CLI::App *Command : Commands(App)) {
    if (Command->get_name() == Name) return Command;
  }
  return nullptr;
}

/// Everything still buffered goes out; a stream that could not take it is exit status 2.
int Finish(int Status) {
  const bool Written = FlushChecked(std::cout, "standard output", std::cerr);
  std::cerr.flush();
  if (!Written || !std::cerr) return kExitBadInput;
  return Status;
}

/// "NAME: unknown command; did you mean list? (quarn-emu help shows the commands)"
int UnknownCommand(const CLI::App &App, const std::string &Name) {
  std::vector<std::string> Names;
  for (const CLI::App *Command : Commands(App)) Names.push_back(Command->get_name());
  std::cerr << kToolName << ": " << Name << ": unknown command" << DidYouMean(Name, Names) << " (" << kToolName
            << " help shows the commands)\n";
  return Finish(kExitBadInput);
}

/// What the command line asks for: the options of each command, and the commands that
/// are told apart by their object rather than their name.
struct CommandLine {
  RunOptions Run;
  std::string ShowName;
  CheckOptions Check;
  std::vector<std::string> FaultArguments;
  std::string StrideText = "1";
  bool FaultList = false;
  ExplainOptions Explain;
  std::string HelpTopic;
  CLI::App *ShowCommand = nullptr;
  CLI::App *CheckCommand = nullptr;
  CLI::App *FaultsCommand = nullptr;
  CLI::App *ExplainCommand = nullptr;
  CLI::App *DebugCommand = nullptr;
  CLI::App *HelpCommand = nullptr;
};

/// What App says of the tool itself: at most one command, parser errors in the tool's
/// words, --version, and the footer every help ends with.
void DescribeTool(CLI::App &App) {
  App.require_subcommand(0, 1);
  App.failure_message(FailureMessage);
  App.set_version_flag("--version",
                       std::string(kToolName) + " " + QuarnEmuVersion() + " (module " + QuarnEmuModuleFlavour() + ")",
                       "print the version and the module's flavour (DEBUG or RELEASE), and exit");
  App.footer(
      "Without a command, quarn-emu runs the built-in default scenario. quarn-emu help COMMAND shows "
      "a command's options.");
}

/// Adds run's --trace-kind, --trace-address, --trace-time and --trace-file to RunCommand,
/// into Run; returns them.
std::vector<CLI::Option *> AddTraceParts(CLI::App *RunCommand, RunOptions &Run) {
  // Each of these asks for the trace by itself; a bad argument is refused before anything runs.
  return {
      RunCommand
          ->add_option("--trace-kind", Run.TraceKinds,
                       "trace only these kinds (comma-separated or repeated; io, mmio, pci, mm, call, console, ...)")
          ->check(CLI::Validator(CheckTraceKind, "KIND[,KIND...]")),
      RunCommand
          ->add_option("--trace-address", Run.TraceAddress,
                       "trace only accesses to ports or addresses LO-HI or LO+LEN (hex 0x... or decimal)")
          ->check(CLI::Validator(CheckTraceRange, "RANGE")),
      RunCommand->add_option("--trace-time", Run.TraceTime, "trace only virtual time FROM-TO (ms, e.g. 0-2.5)")
          ->check(CLI::Validator(CheckTraceWindow, "FROM-TO")),
      RunCommand->add_option("--trace-file", Run.TraceFile, "write the text trace to FILE instead of standard output")
          ->check(CLI::Validator(CheckNotEmpty, "FILE"))};
}

/// What the help of run and debug ends with: how a scenario is named, and the default.
constexpr const char *kScenarioFooter =
    "Without a scenario, the built-in default scenario runs. A bare name is a built-in scenario (quarn-emu list "
    "shows them); a file needs a path or the .toml suffix (./default, my.toml).";
/// The same for the commands that take several scenarios.
constexpr const char *kScenariosFooter =
    "Without a scenario, every built-in scenario. A bare name is a built-in scenario (quarn-emu list shows them); "
    "a file needs a path or the .toml suffix (./default, my.toml).";

/// Adds the run command and its options to App, into Run.
void AddRunCommand(CLI::App &App, RunOptions &Run) {
  CLI::App *RunCommand = App.add_subcommand("run", "run one scenario and show the console and a summary");
  RunCommand
      ->add_option("scenario", Run.Scenario,
                   "a built-in scenario's name, a file (by its path or .toml suffix), or - for standard input")
      ->default_val("default");
  RunCommand->footer(kScenarioFooter);
  CLI::Option *Json = RunCommand->add_flag("--json", Run.Json, "print the report as one JSON object, nothing else");
  CLI::Option *Report = RunCommand
                            ->add_option("--report", Run.ReportFile,
                                         "also write the JSON report to FILE (-: standard output, "
                                         "in place of the console and summary)")
                            ->check(CLI::Validator(CheckNotEmpty, "FILE"));
  CLI::Option *Trace =
      RunCommand->add_flag("--trace", Run.Trace, "add every hardware access, PEI service call and PPI call");
  const std::vector<CLI::Option *> TraceParts = AddTraceParts(RunCommand, Run);
  CLI::Option *Sequence =
      RunCommand
          ->add_flag("--sequence", Run.Sequence,
                     "print the exchange of module, PEI core and firmware as a Mermaid sequence diagram")
          ->excludes(Json)
          ->excludes(Trace);
  for (CLI::Option *Part : TraceParts) Sequence->excludes(Part);
  RunCommand
      ->add_flag("--wide", Run.Wide,
                 "the summary shows every byte of each firmware message and status code, decoded lines unbroken")
      ->excludes(Json)
      ->excludes(Sequence);
  CLI::Option *DumpScenario =
      RunCommand
          ->add_flag("--dump-scenario", Run.DumpScenario,
                     "print the scenario with every default filled in, as TOML that loads again; nothing runs")
          ->excludes(Json)
          ->excludes(Report)
          ->excludes(Trace)
          ->excludes(Sequence);
  for (CLI::Option *Part : TraceParts) DumpScenario->excludes(Part);
  RunCommand
      ->add_option("--break-on", Run.BreakOn,
                   "stop the program when the module does EVENT (message:NAME, io-write:PORT, console:TEXT, "
                   "record, call:NAME, ...; #N for the N-th time): a debugger takes the stop (quarn-emu debug)")
      ->type_name("EVENT")
      ->excludes(DumpScenario);
}

/// Adds the check command and its options to App, into Line.
void AddCheckCommand(CLI::App &App, CommandLine &Line) {
  CheckOptions &Check = Line.Check;
  CLI::App *CheckCommand = App.add_subcommand(
      "check", "run scenarios and compare each with its [expect] table (no argument: all built-ins)");
  CheckCommand->add_option("scenarios", Check.Scenarios, "scenario files or names of built-in scenarios");
  CheckCommand->footer(kScenariosFooter);
  CheckCommand
      ->add_option("-k", Check.Select,
                   "check the scenarios (the named ones, else the built-ins) whose name contains PATTERN (a "
                   "substring), or matches it as a shell glob when it holds * ? or [ (-k 'pre-did-*'); any case")
      ->type_name("PATTERN");
  CheckCommand->add_flag("-x", Check.StopAtFirstFailure, "stop at the first mismatch or error");
  CheckCommand->add_flag("--strict", Check.Strict,
                         "a scenario without an [expect] table fails (exit status 1) instead of passing as "
                         "'no expectations'");
  CheckCommand->add_flag("--json", Check.Json, "print the results as one JSON object instead of the table");
  CheckCommand
      ->add_option("--junit", Check.JunitFile,
                   "also write the results to FILE as JUnit XML (-: standard output, in place of the table)")
      ->type_name("FILE")
      ->check(CLI::Validator(CheckNotEmpty, ""));
  Line.CheckCommand = CheckCommand;
}

/// Adds the faults command and its options to App, into Line.
void AddFaultsCommand(CLI::App &App, CommandLine &Line) {
  CLI::App *FaultsCommand = App.add_subcommand("faults",
                                               "run scenarios again with each failable call failing in turn and check "
                                               "the invariants (no argument: all built-ins)");
  FaultsCommand->add_option("scenarios", Line.FaultArguments, "scenario files or names of built-in scenarios");
  FaultsCommand->footer(kScenariosFooter);
  FaultsCommand->add_option("--stride", Line.StrideText, "sweep every N-th fault point only (default 1: every one)")
      ->check(CLI::Validator(CheckStride, "N"));
  FaultsCommand->add_flag("--list", Line.FaultList,
                          "one line per fault point: call, answer, outcome, and the [fault] table that reproduces it");
  Line.FaultsCommand = FaultsCommand;
}

/// Adds every command to App, in the order help lists them, each into Line.
void AddCommands(CLI::App &App, CommandLine &Line) {
  AddRunCommand(App, Line.Run);

  App.add_subcommand("list", "the built-in scenarios: name and description");

  Line.ShowCommand = App.add_subcommand("show", "print the source of a built-in scenario");
  Line.ShowCommand->add_option("name", Line.ShowName, "the name of a built-in scenario")->required();

  AddCheckCommand(App, Line);
  AddFaultsCommand(App, Line);

  ExplainOptions &Explain = Line.Explain;
  CLI::App *ExplainCommand =
      App.add_subcommand("explain", "from a serial log to the story of the boot and a scenario that prints its lines");
  ExplainCommand->add_option("log", Explain.Log, "the log file (- for standard input)")->required();
  ExplainCommand->add_option("--emit", Explain.Emit, "write the scenario to FILE.toml");
  ExplainCommand->add_flag("--json", Explain.Json, "print the story as one JSON object");
  Line.ExplainCommand = ExplainCommand;

  // quarn-emu debug is the launcher script's (build/bin/quarn-emu): it starts this program's
  // run command under gdb. Listed here so that help names it.
  Line.DebugCommand = App.add_subcommand(
      "debug",
      "run one scenario under gdb: quarn-emu debug [--batch] SCENARIO --break-on EVENT ... (the options of run)");
  Line.DebugCommand->allow_extras();
  Line.DebugCommand->footer(kScenarioFooter);

  Line.HelpCommand = App.add_subcommand("help", "show the commands, or the options of one command");
  Line.HelpCommand->add_option("command", Line.HelpTopic, "the command to explain");
}

/// quarn-emu help [COMMAND]: the tool's help, or the options of one command.
int Help(const CLI::App &App, const std::string &Topic) {
  if (Topic.empty()) {
    // App.help() would describe the command being run, which is help itself.
    std::cout << App.get_formatter()->make_help(&App, kToolName, CLI::AppFormatMode::Normal);
    return Finish(kExitOk);
  }
  const CLI::App *Command = FindCommand(App, Topic);
  if (Command == nullptr) return UnknownCommand(App, Topic);
  std::cout << Command->help(kToolName);
  return Finish(kExitOk);
}

/// Runs the command App parsed, with the options in Line; returns the exit status.
int Dispatch(const CLI::App &App, const CommandLine &Line) {
  if (App.got_subcommand(Line.HelpCommand)) return Help(App, Line.HelpTopic);
  const RunOptions &Run = Line.Run;
  if (Run.ReportFile == kStandardStream && (Run.Json || Run.Sequence)) {
    std::cerr << kToolName << ": --report - puts the report on standard output, which --"
              << (Run.Json ? "json" : "sequence") << " needs for itself\n";
    return Finish(kExitBadInput);
  }

  if (App.got_subcommand(Line.DebugCommand)) {
    std::cerr << kToolName
              << ": debug is started by the launcher beside the program (build/bin/quarn-emu debug ...), "
                 "which starts gdb; run this program's run command under a debugger yourself otherwise\n";
    return Finish(kExitBadInput);
  }
  if (App.got_subcommand("list")) return Finish(ListScenarios(std::cout, std::cerr));
  if (App.got_subcommand(Line.ShowCommand)) return Finish(ShowScenario(Line.ShowName, std::cout, std::cerr));
  if (App.got_subcommand(Line.CheckCommand)) return Finish(CheckScenarios(Line.Check, std::cout, std::cerr));
  if (App.got_subcommand(Line.ExplainCommand)) return Finish(ExplainLog(Line.Explain, std::cout, std::cerr));
  if (App.got_subcommand(Line.FaultsCommand)) {
    const uint64_t Stride = std::stoull(Line.StrideText);  // checked above
    return Finish(SweepScenarioFaults(Line.FaultArguments, Stride, isatty(STDERR_FILENO) != 0, std::cout, std::cerr,
                                      Line.FaultList));
  }
  return Finish(RunOne(Run, std::cout, std::cerr));
}

}  // namespace

int main(int Argc, char **Argv) {  // NOLINT(bugprone-exception-escape): a fault of the tool; abort shows it
  // The name every usage line and message carries, whatever path started the binary
  // (under user-mode emulation argv[0] is the IA32 binary behind the launcher).
  CLI::App App{"runs QuarnPeiPreMem on an emulated board described by a scenario", kToolName};
  auto Formatter = std::make_shared<DeclaredOrderFormatter>();
  App.formatter(Formatter);  // before the commands: each takes its parent's
  DescribeTool(App);
  CommandLine Line;
  Line.Run.Tool = Line.Check.Tool = Identity();
  AddCommands(App, Line);
  Formatter->Learn(App);

  // An unknown command would otherwise be read as stray arguments: name it, and the
  // command that was probably meant.
  if (Argc > 1 && Argv[1][0] != '-' && FindCommand(App, Argv[1]) == nullptr) return UnknownCommand(App, Argv[1]);

  try {
    App.parse(Argc, Argv);
  } catch (const CLI::ParseError &Error) {
    // --help and --version answer 0; a command line that cannot be used is bad input.
    const int Status = App.exit(Error);
    return Finish(Status == 0 ? kExitOk : kExitBadInput);
  }
  return Dispatch(App, Line);
}
