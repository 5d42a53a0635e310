// Fuzz target: any text as a field log for quarn-emu explain (logs come from other
// people). It must come back as a story, in bounded time and memory: no module line, or
// reproduced (the scenario written loads and prints the log's module lines), or refused
// at one of its module lines with a reason (the scenario written still loads); the story
// as text and as JSON is written too. No crash, hang or sanitizer report anywhere.
#include <cstdio>
#include <string>
#include <string_view>

#include "Tools/quarn-emu/Explain/Explain.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

namespace {

using namespace quarn::emu::cli;

/// Stops the fuzzer with What (and Detail) on standard error.
[[noreturn]] void Fail(const char *What, const std::string &Detail) {
  std::fprintf(stderr, "FuzzExplain: %s\n%s\n", What, Detail.c_str());
  __builtin_trap();
}

/// The scenario explain wrote for E: it must load; returned loaded.
LoadedScenario LoadWritten(const explain::Explanation &E) {
  try {
    return LoadScenarioText(E.ScenarioToml, "explained.toml");
  } catch (const ScenarioError &Error) {
    Fail("the scenario written does not load", std::string(Error.what()) + "\n" + E.ScenarioToml);
  }
}

/// Checks that the run of the scenario written for a reproduced log prints the log's
/// module lines, from where the log begins, and no line more when the search says so.
void CheckReproduced(const explain::Explanation &E) {
  const quarn::emu::RunReport Report = RunScenario(LoadWritten(E), false);
  const std::vector<std::string> Lines = explain::ConsoleLines(Report.Console);
  for (size_t I = 0; I < E.Log.Module.size(); I++) {
    const size_t At = E.Search.Offset + I;
    if (At >= Lines.size() || !explain::LinesAgree(E.Log.Module[I], Lines[At])) {
      Fail("the scenario written does not print the log's line", E.Log.Module[I].Text + "\n" + E.ScenarioToml);
    }
  }
  if (E.Search.Exact && Lines.size() != E.Search.Offset + E.Log.Module.size()) {
    Fail("the scenario written prints more lines than the log", E.ScenarioToml);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  const std::string_view Text(reinterpret_cast<const char *>(Data), Size);
  const explain::Explanation E = explain::Explain(Text, "explained");
  const std::string Story = explain::StoryText(E, "fuzz.log");
  (void)explain::StoryJson(E, "fuzz.log").dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  if (E.Search.Runs > explain::kMaxSearchRuns) {
    Fail("the search ran past its bound", std::to_string(E.Search.Runs) + " runs");
  }
  if (E.Log.Module.empty()) {
    if (Story.find("No line of the module in the log.") == std::string::npos)
      Fail("no module line, but a story", Story);
    return 0;
  }
  if (E.Search.Reproduced) {
    if (E.Search.Matched != E.Log.Module.size()) Fail("reproduced, but not every line matched", Story);
    CheckReproduced(E);
  } else {
    if (E.Search.Matched >= E.Log.Module.size() || E.Search.Reason.empty())
      Fail("refused without a line or reason", Story);
    if (Story.find("IMPOSSIBLE at line ") == std::string::npos) Fail("refused, but the story says otherwise", Story);
    (void)LoadWritten(E);
  }
  return 0;
}
