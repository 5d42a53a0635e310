// quarn-emu: dispatches the module on an emulated board described by a scenario and
// shows what it did. Commands: run (the default), list, check, faults, explain.
#include <CLI/CLI.hpp>

#include <iostream>

#include "Commands.h"
#include "Explain.h"

int main(int Argc, char **Argv) {
  using namespace quarn::emu::cli;
  CLI::App App{"quarn-emu: runs QuarnPeiPreMem on an emulated board described by a scenario"};
  App.require_subcommand(0, 1);

  RunOptions Run;
  CLI::App *RunCommand = App.add_subcommand("run", "run one scenario and show the console and a summary");
  RunCommand->add_option("scenario", Run.Scenario, "a scenario file, or the name of a built-in scenario")
      ->default_val("default");
  CLI::Option *Json = RunCommand->add_flag("--json", Run.Json, "print the report as one JSON object, nothing else");
  RunCommand->add_option("--report", Run.ReportFile, "also write the JSON report to FILE");
  RunCommand->add_flag("--trace", Run.Trace, "add every hardware access, PEI service call and PPI call");
  RunCommand->add_flag("--sequence", Run.Sequence,
                       "print the exchange of module, PEI core and firmware as a Mermaid sequence diagram")
      ->excludes(Json);

  App.add_subcommand("list", "the built-in scenarios: name and description");

  std::vector<std::string> CheckArguments;
  CLI::App *CheckCommand =
      App.add_subcommand("check", "run scenarios and compare each with its [expect] table (no argument: all built-ins)");
  CheckCommand->add_option("scenarios", CheckArguments, "scenario files or names of built-in scenarios");

  std::vector<std::string> FaultArguments;
  uint64_t Stride = 1;
  CLI::App *FaultsCommand = App.add_subcommand(
      "faults", "run scenarios again with each failable call failing in turn and check the invariants (no argument: all built-ins)");
  FaultsCommand->add_option("scenarios", FaultArguments, "scenario files or names of built-in scenarios");
  FaultsCommand->add_option("--stride", Stride, "sweep every N-th fault point only")->check(CLI::PositiveNumber);

  ExplainOptions Explain;
  CLI::App *ExplainCommand = App.add_subcommand("explain", "from a serial log to the story of the boot and a scenario that prints its lines");
  ExplainCommand->add_option("log", Explain.Log, "the log file (- for standard input)")->required();
  ExplainCommand->add_option("--emit", Explain.Emit, "write the scenario to FILE.toml");
  ExplainCommand->add_flag("--json", Explain.Json, "print the story as one JSON object");

  try {
    App.parse(Argc, Argv);
  } catch (const CLI::ParseError &Error) {
    // --help answers 0; a command line that cannot be used is bad input.
    const int Status = App.exit(Error);
    return Status == 0 ? 0 : kExitBadInput;
  }

  if (App.got_subcommand("list")) return ListScenarios(std::cout, std::cerr);
  if (App.got_subcommand("check")) return CheckScenarios(CheckArguments, std::cout, std::cerr);
  if (App.got_subcommand("explain")) return ExplainLog(Explain, std::cout, std::cerr);
  if (App.got_subcommand("faults")) return SweepScenarioFaults(FaultArguments, Stride, std::cout, std::cerr);
  return RunOne(Run, std::cout, std::cerr);
}
