#include "Check.h"

#include <algorithm>
#include <cmath>
#include <regex>

#include "Tools/quarn-emu/Support/Suggest.h"

namespace quarn::emu::cli {

namespace {

using nlohmann::json;

/// Collects the mismatches of one [expect] key.
struct Findings {
  unsigned Line;
  std::vector<Mismatch> &Out;
  void Add(const std::string &Key, std::string Text) const { Out.push_back({Key, Line, std::move(Text)}); }
};

std::string Quote(const std::string &Text) { return ShowValue(json(Text)); }

/// The text a text test looks in: the console, or every debug-PPI message in turn.
std::string SubjectText(const json &Value) {
  if (Value.is_string()) return Value.get<std::string>();
  std::string Joined;
  if (Value.is_array()) {
    for (const json &Message : Value) Joined += Message.is_string() ? Message.get<std::string>() : Message.dump();
  }
  return Joined;
}

/// The lines of a text without their line endings (LF or CR LF); a text that ends in a
/// line ending has no empty line after it.
std::vector<std::string> SplitLines(const std::string &Text) {
  std::vector<std::string> Lines;
  size_t From = 0;
  while (From < Text.size()) {
    size_t End = Text.find('\n', From);
    if (End == std::string::npos) End = Text.size();
    std::string Line = Text.substr(From, End - From);
    if (!Line.empty() && Line.back() == '\r') Line.pop_back();
    Lines.push_back(std::move(Line));
    From = End + 1;
  }
  return Lines;
}

/// The text with every CR LF made a LF.
std::string WithoutCr(const std::string &Text) {
  std::string Out;
  for (size_t Index = 0; Index < Text.size(); Index++) {
    if (Text[Index] == '\r' && Index + 1 < Text.size() && Text[Index + 1] == '\n') continue;
    Out.push_back(Text[Index]);
  }
  return Out;
}

/// The note for two texts that differ only in their line endings.
std::string LineEndingsOnly(const std::string &Expected, const std::string &Subject) {
  return Expected.find("\r\n") != std::string::npos
             ? "only the line endings differ: the expected text ends lines in CR LF, " + Subject + " in LF"
             : "only the line endings differ: " + Subject +
                   " ends lines in CR LF (\\r\\n), the expected text in LF (\\n)";
}

/// "nearest line N of SUBJECT: "...."": the line most like the first line of Wanted.
std::string NearestLine(const std::vector<std::string> &Lines, const std::string &Wanted, const std::string &Subject) {
  if (Lines.empty()) return Subject + " is empty";
  std::string First;
  for (const std::string &Line : SplitLines(Wanted)) {
    if (!Line.empty()) {
      First = Line;
      break;
    }
  }
  // A line that holds the text is nearest of all; then the fewest edits.
  size_t Best = 0, BestDistance = SIZE_MAX;
  for (size_t Index = 0; Index < Lines.size(); Index++) {
    const size_t Distance = Lines[Index].find(First) != std::string::npos ? 0 : 1 + EditDistance(First, Lines[Index]);
    if (Distance < BestDistance) {
      Best = Index;
      BestDistance = Distance;
    }
  }
  return "nearest line " + std::to_string(Best + 1) + " of " + Subject + ": " + Quote(Lines[Best]);
}

/// Why Needle is not in Text: only line endings, or the line nearest to it.
std::string WhyMissing(const std::string &Text, const std::string &Needle, const std::string &Subject) {
  if (WithoutCr(Text).find(WithoutCr(Needle)) != std::string::npos) return LineEndingsOnly(Needle, Subject);
  return NearestLine(SplitLines(Text), Needle, Subject);
}

void CheckSubstrings(const Expectation &E, const std::string &Text, const Findings &F) {
  const std::vector<std::string> Needles = ExpectedTexts(E.Value);
  // A sequence reads like a transcript: each text must come after the one before it.
  size_t From = 0;
  for (size_t Index = 0; Index < Needles.size(); Index++) {
    const std::string &Needle = Needles[Index];
    const size_t Anywhere = Text.find(Needle);
    if (E.Kind == ExpectKind::Sequence) {
      const size_t At = Text.find(Needle, From);
      if (At != std::string::npos) {
        From = At + Needle.size();
        continue;
      }
      F.Add(E.Key, Anywhere == std::string::npos
                       ? Quote(Needle) + " not found in " + E.Subject + "; " + WhyMissing(Text, Needle, E.Subject)
                       : Quote(Needle) + " found at offset " + std::to_string(Anywhere) + " of " + E.Subject +
                             ", before " + Quote(Needles[Index - 1]) + " ends");
      return;  // the rest of the sequence cannot be placed
    }
    if (E.Kind == ExpectKind::Contains && Anywhere == std::string::npos) {
      F.Add(E.Key, Quote(Needle) + " not found in " + E.Subject + "; " + WhyMissing(Text, Needle, E.Subject));
    } else if (E.Kind == ExpectKind::Excludes && Anywhere != std::string::npos) {
      F.Add(E.Key, Quote(Needle) + " found at offset " + std::to_string(Anywhere) + " of " + E.Subject);
    }
  }
}

/// Whole lines in order, any lines between them.
void CheckLines(const Expectation &E, const std::string &Text, const Findings &F) {
  const std::vector<std::string> Lines = SplitLines(Text);
  size_t From = 0;  // the first line the next one may be
  for (std::string Wanted : ExpectedTexts(E.Value)) {
    if (Wanted.ends_with('\n')) Wanted.pop_back();
    if (Wanted.ends_with('\r')) Wanted.pop_back();
    const auto Found = std::find(Lines.begin() + static_cast<std::ptrdiff_t>(From), Lines.end(), Wanted);
    if (Found != Lines.end()) {
      From = static_cast<size_t>(Found - Lines.begin()) + 1;
      continue;
    }
    const auto Earlier = std::find(Lines.begin(), Lines.end(), Wanted);
    if (Earlier != Lines.end()) {
      F.Add(E.Key, Quote(Wanted) + " is line " + std::to_string(Earlier - Lines.begin() + 1) + " of " + E.Subject +
                       ", not after line " + std::to_string(From) + " where the line before it is");
    } else {
      F.Add(E.Key, Quote(Wanted) + " is no line of " + E.Subject + "; " + NearestLine(Lines, Wanted, E.Subject));
    }
    return;  // the rest cannot be placed
  }
}

/// Each regular expression finds a match in some line.
void CheckMatches(const Expectation &E, const std::string &Text, const Findings &F) {
  const std::vector<std::string> Lines = SplitLines(Text);
  for (const std::string &Pattern : ExpectedTexts(E.Value)) {
    try {
      const std::regex Expression = MatchPattern(Pattern);
      const bool Matched = std::any_of(Lines.begin(), Lines.end(),
                                       [&](const std::string &Line) { return std::regex_search(Line, Expression); });
      if (!Matched) F.Add(E.Key, Quote(Pattern) + " matches no line of " + E.Subject);
    } catch (const std::regex_error &Error) {
      F.Add(E.Key, Quote(Pattern) + " could not be matched: " + Error.what());
    }
  }
}

/// Entries of a list in order: an entry is meant by its whole text or its first word.
void CheckOrder(const Expectation &E, const json &List, const Findings &F) {
  if (!List.is_array() || !std::all_of(List.begin(), List.end(), [](const json &X) { return X.is_string(); })) {
    F.Add(E.Key, E.Subject + " is not a list of texts: " + ShowValue(List));
    return;
  }
  auto Means = [](const std::string &Wanted, const json &Entry) {
    const std::string &Text = Entry.get_ref<const std::string &>();
    return Text == Wanted || Text.rfind(Wanted + " ", 0) == 0;
  };
  auto Entry = [&](size_t Index) { return E.Subject + "[" + std::to_string(Index) + "]"; };
  size_t From = 0;
  for (const std::string &Wanted : ExpectedTexts(E.Value)) {
    size_t At = From;
    while (At < List.size() && !Means(Wanted, List[At])) At++;
    if (At < List.size()) {
      From = At + 1;
      continue;
    }
    size_t Earlier = 0;
    while (Earlier < From && !Means(Wanted, List[Earlier])) Earlier++;
    F.Add(E.Key, Earlier < From ? Quote(Wanted) + " is " + Entry(Earlier) + ", not after " + Entry(From - 1) + " " +
                                      ShowValue(List[From - 1]) + "; " + E.Subject + ": " + ShowValue(List)
                                : Quote(Wanted) + " is not in " + E.Subject + ": " + ShowValue(List));
    return;
  }
}

/// "from 200 to 250", "at least 200", "at most 250", "227.163 ± 0.01".
std::string DescribeBounds(const json &Bounds) {
  if (Bounds.contains("approx")) return ShowValue(Bounds["approx"]) + " ± " + ShowValue(Bounds["tolerance"]);
  if (Bounds.contains("min") && Bounds.contains("max")) {
    return "from " + ShowValue(Bounds["min"]) + " to " + ShowValue(Bounds["max"]);
  }
  return Bounds.contains("min") ? "at least " + ShowValue(Bounds["min"]) : "at most " + ShowValue(Bounds["max"]);
}

bool WithinBounds(const json &Bounds, double Value) {
  if (Bounds.contains("approx")) {
    const double Approx = Bounds["approx"].get<double>();
    // Inclusive, with room for the rounding of decimal fractions (227.173 - 227.163).
    const double Slack = 1e-9 * std::max(1.0, std::fabs(Approx));
    return std::fabs(Value - Approx) <= Bounds["tolerance"].get<double>() + Slack;
  }
  return (!Bounds.contains("min") || Value >= Bounds["min"].get<double>()) &&
         (!Bounds.contains("max") || Value <= Bounds["max"].get<double>());
}

bool IsPartial(const json &Object) {
  return Object.contains("partial") && Object["partial"].is_boolean() && Object["partial"].get<bool>();
}

/// An expected value as a message shows it: bounds in words, the partial flag left out.
std::string ShowExpected(const json &Expected) {
  if (IsBoundsTable(Expected)) return DescribeBounds(Expected);
  if (Expected.is_object() && Expected.contains("partial")) {
    json Fields = Expected;
    Fields.erase("partial");
    return ShowValue(Fields);
  }
  return ShowValue(Expected);
}

void Compare(const json &Expected, const json &Got, const std::string &Path, const Findings &F);

/// Two texts: where they first differ by line, or that only their line endings do.
void CompareTexts(const std::string &Expected, const std::string &Got, const std::string &Path, const Findings &F) {
  if (Expected == Got) return;
  if (WithoutCr(Expected) == WithoutCr(Got)) return F.Add(Path, LineEndingsOnly(Expected, Path));
  if (Expected.find('\n') == std::string::npos && Got.find('\n') == std::string::npos) {
    return F.Add(Path, "expected " + Quote(Expected) + ", got " + Quote(Got));
  }
  const std::vector<std::string> Want = SplitLines(Expected), Have = SplitLines(Got);
  size_t Line = 0;
  while (Line < Want.size() && Line < Have.size() && Want[Line] == Have[Line]) Line++;
  std::string Text = "first difference at line " + std::to_string(Line + 1) + ": expected " +
                     (Line < Want.size() ? Quote(Want[Line]) : "no more lines") + ", got " +
                     (Line < Have.size() ? Quote(Have[Line]) : "no more lines");
  if (Want.size() != Have.size()) {
    Text += " (" + std::to_string(Want.size()) + " lines expected, " + std::to_string(Have.size()) + " got)";
  }
  F.Add(Path, Text);
}

/// Two lists: their lengths, then the first entry that differs.
void CompareLists(const json &Expected, const json &Got, const std::string &Path, const Findings &F) {
  const size_t Common = std::min(Expected.size(), Got.size());
  std::vector<Mismatch> First;
  size_t Index = 0;
  for (; Index < Common; Index++) {
    Compare(Expected[Index], Got[Index], Path + "[" + std::to_string(Index) + "]", {F.Line, First});
    if (!First.empty()) break;
  }
  if (Expected.size() != Got.size()) {
    const auto Entries = [](size_t Count) { return std::to_string(Count) + (Count == 1 ? " entry" : " entries"); };
    std::string Text = "expected " + Entries(Expected.size()) + ", got " + std::to_string(Got.size());
    if (First.empty()) {
      Text += "; first difference at [" + std::to_string(Common) + "]: " +
              (Got.size() > Common ? "expected nothing, got " + ShowValue(Got[Common])
                                   : "expected " + ShowExpected(Expected[Common]) + ", got nothing");
    }
    F.Add(Path, Text);
  }
  F.Out.insert(F.Out.end(), First.begin(), First.end());
}

void Compare(const json &Expected, const json &Got, const std::string &Path, const Findings &F) {
  const auto Differ = [&] { F.Add(Path, "expected " + ShowExpected(Expected) + ", got " + ShowValue(Got)); };
  if (IsBoundsTable(Expected)) {
    if (!Got.is_number() || !WithinBounds(Expected, Got.get<double>())) Differ();
    return;
  }
  if (Expected.is_object()) {
    if (!Got.is_object()) return Differ();
    for (auto It = Expected.begin(); It != Expected.end(); ++It) {
      if (It.key() == "partial" && It.value().is_boolean()) continue;
      const std::string Field = Path + "." + It.key();
      if (Got.contains(It.key())) {
        Compare(It.value(), Got[It.key()], Field, F);
      } else {
        F.Add(Field, "expected " + ShowExpected(It.value()) + ", got no such field");
      }
    }
    if (IsPartial(Expected)) return;
    for (auto It = Got.begin(); It != Got.end(); ++It) {
      if (!Expected.contains(It.key())) F.Add(Path + "." + It.key(), "not expected, got " + ShowValue(It.value()));
    }
    return;
  }
  if (Expected.is_array() && Got.is_array()) return CompareLists(Expected, Got, Path, F);
  if (Expected.is_string() && Got.is_string()) {
    return CompareTexts(Expected.get<std::string>(), Got.get<std::string>(), Path, F);
  }
  if (Expected != Got) Differ();
}

}  // namespace

std::string ShowValue(const json &Value, size_t Limit) {
  std::string Text = Value.dump(-1, ' ', false, json::error_handler_t::replace);
  if (Text.size() > Limit) {
    Text.replace(Limit, std::string::npos, "... (" + std::to_string(Text.size()) + " characters)");
  }
  return Text;
}

std::vector<std::string> ExpectedTexts(const json &Value) {
  if (Value.is_string()) return {Value.get<std::string>()};
  std::vector<std::string> List;
  for (const json &Element : Value) List.push_back(Element.get<std::string>());
  return List;
}

std::regex MatchPattern(const std::string &Pattern) {
  // The library's breadth-first matcher: its time grows with the line and the pattern,
  // never exponentially as backtracking's does on (a+)+$.
  return std::regex(Pattern, std::regex::ECMAScript | std::regex_constants::__polynomial);
}

std::string MismatchLine(const std::string &Source, const Mismatch &M) {
  return Source + (M.Line != 0 ? ":" + std::to_string(M.Line) : std::string()) + ": " + M.Key + ": " + M.Text;
}

std::vector<Mismatch> CheckReport(const std::vector<Expectation> &Expect, const json &Report, unsigned ExpectLine) {
  std::vector<Mismatch> Out;
  bool OutcomeNamed = false;
  for (const Expectation &E : Expect) {
    const Findings F{E.Line, Out};
    OutcomeNamed = OutcomeNamed || E.Key == "outcome";
    if (E.Kind == ExpectKind::Value) {
      if (!Report.contains(E.Key)) {
        F.Add(E.Key, "expected " + ShowExpected(E.Value) + ", but the report holds no " + E.Key);
      } else {
        Compare(E.Value, Report.at(E.Key), E.Key, F);
      }
      continue;
    }
    if (!Report.contains(E.Subject)) {
      F.Add(E.Key, "the report holds no " + E.Subject);
      continue;
    }
    const json &Subject = Report.at(E.Subject);
    switch (E.Kind) {
      case ExpectKind::Lines: CheckLines(E, SubjectText(Subject), F); break;
      case ExpectKind::Matches: CheckMatches(E, SubjectText(Subject), F); break;
      case ExpectKind::Order: CheckOrder(E, Subject, F); break;
      default: CheckSubstrings(E, SubjectText(Subject), F); break;
    }
  }
  const json Outcome = Report.contains("outcome") ? Report.at("outcome") : json(nullptr);
  if (!OutcomeNamed && Outcome != "returned") {
    const json Where = Report.contains("stopped_at") ? Report.at("stopped_at") : json(nullptr);
    Out.push_back(
        {"outcome", ExpectLine,
         "expected \"returned\" (no outcome expected), got " + ShowValue(Outcome) + " at " + ShowValue(Where)});
  }
  return Out;
}

}  // namespace quarn::emu::cli
