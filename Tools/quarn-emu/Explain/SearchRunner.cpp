// The search's runs: each candidate's scenario text loaded and run once, and the score
// of how far its console agrees with the log.
#include "SearchParts.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

namespace quarn::emu::cli::explain::search {

const Outcome &Runner::Run(const Candidate &C) {
  const std::string Text = ScenarioText(C, "explained", "", "");
  auto Found = Cache_.find(Text);
  if (Found != Cache_.end()) return Found->second;
  // Past the bound no candidate runs: a log that offers ever more changes to try cannot
  // make the search take ever longer.
  static const Outcome kNotRun;
  if (Runs >= kMaxSearchRuns) return kNotRun;
  Outcome O;
  Runs++;
  try {
    const LoadedScenario Loaded = LoadScenarioText(Text, "explained.toml");
    RunReport Report = RunScenario(Loaded, false);
    O.Lines = ConsoleLines(Report.Console);
    O.Report = std::make_shared<RunReport>(std::move(Report));
    O.Usable = true;
  } catch (const ScenarioError &) {
    O.Usable = false;
  }
  return Cache_.emplace(Text, std::move(O)).first->second;
}

Score Runner::ScoreOf(const Candidate &C) {
  const Outcome &O = Run(C);
  Score S;
  if (!O.Usable) return S;
  const auto &Lines = Log_.Module;
  auto Count = [&](size_t Offset) {
    long N = 0;
    while (static_cast<size_t>(N) < Lines.size() && Offset + N < O.Lines.size() &&
           LinesAgree(Lines[N], O.Lines[Offset + N]))
      N++;
    return N;
  };
  S.Matched = Count(0);
  if (S.Matched == 0 && !Lines.empty()) {
    // A log cut at its start: align its first line with the run's first line like it.
    for (size_t Offset = 1; Offset < O.Lines.size(); Offset++) {
      if (!LinesAgree(Lines[0], O.Lines[Offset])) continue;
      const long N = Count(Offset);
      if (N > S.Matched) {
        S.Matched = N;
        S.Offset = Offset;
      }
    }
  }
  S.Exact = static_cast<size_t>(S.Matched) == Lines.size() && S.Offset + Lines.size() == O.Lines.size();
  return S;
}

}  // namespace quarn::emu::cli::explain::search
