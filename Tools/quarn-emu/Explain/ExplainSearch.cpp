// The search: from the keys the lines fix, rounds of changes until the run agrees with
// the log or nothing gets further; then the simplest such scenario, what the log cannot
// tell apart, or why its first impossible line cannot come where it does.
#include "ExplainSearch.h"

#include <algorithm>
#include <chrono>

#include "SearchParts.h"

namespace quarn::emu::cli::explain {

using namespace search;

namespace {

constexpr size_t kMaxRuns = kMaxSearchRuns;  // runs a whole search may take
constexpr size_t kMaxPairRuns = 150;         // runs one round may spend on two changes at once

/// What tells two boots that printed the same lines apart in their reports.
std::string Differences(const RunReport &A, const RunReport &B) {
  std::vector<std::string> Parts;
  if (A.Status != B.Status) Parts.push_back("the status returned");
  if (A.Records != B.Records) Parts.push_back("the status-code records");
  bool SameExchange = A.Messages.size() == B.Messages.size();
  for (size_t I = 0; SameExchange && I < A.Messages.size(); I++) {
    SameExchange = A.Messages[I].Kind == B.Messages[I].Kind && A.Messages[I].Result == B.Messages[I].Result &&
                   A.Messages[I].Response == B.Messages[I].Response &&
                   A.Messages[I].ResponseLength == B.Messages[I].ResponseLength;
  }
  if (!SameExchange) Parts.push_back("the firmware's answers");
  const bool SameTypeHob = A.VornTypeHob.has_value() == B.VornTypeHob.has_value() &&
                           (!A.VornTypeHob || (A.VornTypeHob->VornType == B.VornTypeHob->VornType &&
                                               A.VornTypeHob->FwType == B.VornTypeHob->FwType &&
                                               A.VornTypeHob->FwSubType == B.VornTypeHob->FwSubType));
  if (!SameTypeHob) Parts.push_back("the VORN type HOB");
  if (A.InfoHob.has_value() != B.InfoHob.has_value() || (A.InfoHob && A.InfoHob->Data != B.InfoHob->Data)) {
    Parts.push_back("the info HOB");
  }
  if (A.ElapsedNs / 1000000 != B.ElapsedNs / 1000000) Parts.push_back("the boot's duration");
  std::string Text;
  for (const std::string &P : Parts) Text += (Text.empty() ? "" : ", ") + P;
  return Text;
}

/// The groups of changes that can alter the lines where the run of Best (scored BestScore)
/// first differs from Log: the log's line there and the one before it, and the run's line.
std::set<std::string> LeversAt(const ParsedLog &Log, Runner &R, const Candidate &Best, const Score &BestScore) {
  const size_t Total = Log.Module.size();
  const size_t At = static_cast<size_t>(std::max<long>(BestScore.Matched, 0));
  const Outcome &Current = R.Run(Best);
  std::set<std::string> Levers;
  auto AddLevers = [&](const std::string &Id) {
    for (const std::string &G : LeversOf(Id)) Levers.insert(G);
  };
  if (At < Total) AddLevers(IdOf(Log.Module[At]));
  if (At > 0 && At - 1 < Total) AddLevers(IdOf(Log.Module[At - 1]));
  const size_t RunAt = BestScore.Offset + At;
  if (Current.Usable && RunAt < Current.Lines.size()) {
    if (std::optional<LineMatch> M = MatchLine(Current.Lines[RunAt])) AddLevers(M->Pattern->Id);
  }
  return Levers;
}

/// One round of refinement: the changes tried from Best, and the candidate that got
/// furthest (the first of equals; Best itself while none gets further).
class Round {
 public:
  /// A round from Best, scored BestScore, that runs on R.
  Round(Runner &R, const Candidate &Best, const Score &BestScore)
      : Next(Best), NextScore(BestScore), R_(R), Best_(Best), BestScore_(BestScore) {}

  /// Tries each of Moves that Pick accepts, one at a time.
  template <typename Picker>
  void TryAll(const std::vector<Move> &Moves, Picker Pick) {
    for (const Move &M : Moves) {
      if (!Pick(M)) continue;
      Consider(Apply(Best_, M));
    }
  }

  /// Tries two of Moves at once, among those of the Levers groups (neither faults nor the
  /// level), two changes of one key never together; until one gets further or the runs
  /// for pairs are spent.
  void TryPairs(const std::vector<Move> &Moves, const std::set<std::string> &Levers) {
    std::vector<const Move *> Near;
    for (const Move &M : Moves) {
      if (Levers.count(M.Group) && M.Group != "fault" && M.Group != "level") Near.push_back(&M);
    }
    const size_t PairsFrom = R_.Runs;
    for (size_t I = 0; I < Near.size() && !Improved() && R_.Runs < std::min(kMaxRuns, PairsFrom + kMaxPairRuns); I++) {
      const Candidate First = Apply(Best_, *Near[I]);
      for (size_t J = I + 1; J < Near.size() && R_.Runs < kMaxRuns; J++) {
        if (Near[J]->Group == Near[I]->Group && Near[J]->Set.front().first == Near[I]->Set.front().first) continue;
        Consider(Apply(First, *Near[J]));
      }
    }
  }

  /// True once a candidate got further than Best.
  bool Improved() const { return NextScore > BestScore_; }

  Candidate Next;
  Score NextScore;

 private:
  /// Runs C and keeps it when it gets further than every candidate before it.
  void Consider(const Candidate &C) {
    const Score S = R_.ScoreOf(C);
    if (S > NextScore) {
      Next = C;
      NextScore = S;
    }
  }

  Runner &R_;
  const Candidate &Best_;
  const Score &BestScore_;
};

/// One round of refinement from Best: the changes that can alter the lines at the first
/// difference first, then every other change, then two changes at once. True, with Best
/// and BestScore moved on, when one got further.
bool RefineOnce(const ParsedLog &Log, const Harvest &H, Runner &R, Candidate &Best, Score &BestScore) {
  const std::set<std::string> Levers = LeversAt(Log, R, Best, BestScore);
  const std::vector<Move> Moves = MovesFor(Best, H);
  Round Try(R, Best, BestScore);
  const bool Complete = static_cast<size_t>(BestScore.Matched) == Log.Module.size();
  Try.TryAll(Moves, [&](const Move &M) { return Levers.count(M.Group) && M.Group != "fault"; });
  // Every line agrees but the run goes on: only the changes that can end the boot
  // where the log ends are worth a try; else the log was cut.
  if (!Try.Improved() && !Complete) {
    Try.TryAll(Moves, [&](const Move &M) { return !Levers.count(M.Group) && M.Group != "fault"; });
  }
  if (!Try.Improved() && !Complete) Try.TryAll(Moves, [&](const Move &M) { return M.Group == "fault"; });
  // Two changes at once, among those that can alter these lines.
  if (!Try.Improved() && !Complete) Try.TryPairs(Moves, Levers);
  if (!Try.Improved()) return false;
  Best = Try.Next;
  BestScore = Try.NextScore;
  return true;
}

/// The simplest scenario: every key that the lines do not need goes back to its default.
/// A key may become unneeded only once another is gone: a second pass when one went.
void Simplify(Runner &R, Candidate &Best, Score &BestScore) {
  for (int Pass = 0, Removed = 1; Pass < 3 && Removed > 0 && BestScore.Matched > 0; Pass++) {
    Removed = 0;
    for (const auto &[Key, Value] : Candidate(Best).Keys) {
      Candidate Without = Best;
      Without.Keys.erase(Key);
      const Score S = R.ScoreOf(Without);
      if (!(BestScore > S)) {
        Best = Without;
        BestScore = S;
        Removed++;
      }
    }
  }
}

/// TRUE for a key whose value is a register or a firmware answer: FieldsOf tries those
/// field by field.
bool FieldKey(const std::string &Key) {
  for (const char *Prefix : {"vorn.fs1", "vorn.fs2", "vorn.dwrsts", "vorn.present", "vorn.fn", "drux.vorn_status",
                             "drux.type.", "drux.feature_set.", "drux.watchdog.", "drux.clock.",
                             "drux.pre_did_reset.state", "drux.pre_did_reset.result", "drux.pre_did_reset.response"}) {
    if (Key.rfind(Prefix, 0) == 0) return true;
  }
  return false;
}

/// What the log cannot tell: the one-key changes of Best (scored BestScore, its run's
/// report Report) of the keys it sets, but for registers and answers, that print the
/// same lines, and what tells each apart.
std::vector<Alternative> AlternativesOf(const Candidate &Best, const Score &BestScore, const Harvest &H, Runner &R,
                                        const RunReport &Report) {
  std::vector<Alternative> Alternatives;
  for (const Move &M : MovesFor(Best, H)) {
    if (M.Set.size() != 1 || M.Group == "fault" || M.Group == "level") continue;
    const std::string &Key = M.Set.front().first;
    if (!Best.Keys.count(Key) || FieldKey(Key)) continue;
    const Candidate Other = Apply(Best, M);
    const Score S = R.ScoreOf(Other);
    if (S.Exact == BestScore.Exact && S.Matched == BestScore.Matched) {
      Alternatives.push_back({Key, M.Set.front().second, Differences(Report, *R.Run(Other).Report)});
    }
  }
  return Alternatives;
}

/// Why the log's line Result.Matched cannot come where it does, after the best run.
std::string WhyNotReproduced(const ParsedLog &Log, const SearchResult &Result) {
  const LogLine &Line = Log.Module[Result.Matched];
  const size_t RunAt = Result.Offset + Result.Matched;
  const bool RunHasLine = RunAt < Result.RunLines.size();
  const std::string Printed = RunHasLine ? "\"" + Result.RunLines[RunAt] + "\"" : "nothing more";
  if (!Line.Match) return "no message of this version of the module prints this text";
  if (RunHasLine && MatchPattern(*Line.Match->Pattern, Result.RunLines[RunAt])) {
    return "a value that contradicts the lines before it: after them the module prints " + Printed;
  }
  bool Later = false;
  for (size_t I = RunAt + 1; I < Result.RunLines.size(); I++) Later = Later || LinesAgree(Line, Result.RunLines[I]);
  return Later ? "a line is missing before it or lines are out of order: after the lines before it the module "
                 "prints " +
                     Printed + " first"
               : "no scenario makes the module print it after the lines before it (it prints " + Printed + " there)";
}

}  // namespace

SearchResult SearchScenario(const ParsedLog &Log, bool WithAlternatives) {
  const auto Start = std::chrono::steady_clock::now();
  SearchResult Result;
  Runner R(Log);
  const Harvest H = HarvestOf(Log);

  Candidate Best = Seed(Log);
  Score BestScore = R.ScoreOf(Best);
  const size_t Total = Log.Module.size();
  // Refine until the run agrees or nothing helps.
  for (int Rounds = 0; Rounds < 80 && !BestScore.Exact && R.Runs < kMaxRuns; Rounds++) {
    if (!RefineOnce(Log, H, R, Best, BestScore)) break;
  }
  Simplify(R, Best, BestScore);

  const Outcome &Final = R.Run(Best);
  Result.Best = Best;
  Result.Matched = static_cast<size_t>(std::max<long>(BestScore.Matched, 0));
  Result.Offset = BestScore.Offset;
  Result.Reproduced = Result.Matched == Total && Final.Usable;
  Result.Exact = BestScore.Exact;
  if (Final.Usable) {
    Result.RunLines = Final.Lines;
    Result.Report = *Final.Report;
  }
  if (Result.Reproduced && WithAlternatives && Total > 0) {  // a log without module lines tells nothing
    Result.Alternatives = AlternativesOf(Best, BestScore, H, R, *Final.Report);
    Result.Fields = FieldsOf(R, Total, Best, BestScore, *Final.Report);
  }
  if (!Result.Reproduced && Result.Matched < Total) Result.Reason = WhyNotReproduced(Log, Result);
  Result.Runs = R.Runs;
  Result.HostMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
  return Result;
}

}  // namespace quarn::emu::cli::explain
