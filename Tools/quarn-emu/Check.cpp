#include "Check.h"

namespace quarn::emu::cli {

namespace {

using nlohmann::json;

/// The text a substring test looks in: the console, or every debug-PPI message in turn.
std::string SubjectText(const json &Report, const std::string &Subject) {
  const json &Value = Report.at(Subject);
  if (Value.is_string()) return Value.get<std::string>();
  std::string Joined;
  for (const json &Message : Value) Joined += Message.get<std::string>();
  return Joined;
}

void CheckSubstrings(const Expectation &E, const json &Report, std::vector<Mismatch> &Out) {
  const bool Contains = E.Key.ends_with("_contains");
  const bool Sequence = E.Key.ends_with("_sequence");
  const std::string Subject = E.Key.substr(0, E.Key.rfind('_'));
  const std::string Text = SubjectText(Report, Subject);
  std::vector<std::string> Needles;
  if (E.Value.is_string()) {
    Needles.push_back(E.Value.get<std::string>());
  } else {
    for (const json &Needle : E.Value) Needles.push_back(Needle.get<std::string>());
  }
  // A sequence reads like a transcript: each text must come after the one before it.
  size_t From = 0;
  for (size_t Index = 0; Index < Needles.size(); Index++) {
    const std::string &Needle = Needles[Index];
    if (Sequence) {
      const size_t At = Text.find(Needle, From);
      if (At != std::string::npos) {
        From = At + Needle.size();
        continue;
      }
      const size_t Anywhere = Text.find(Needle);
      Out.push_back({E.Key, json(Needle).dump(),
                     Anywhere == std::string::npos
                         ? "not found in " + Subject
                         : "found at offset " + std::to_string(Anywhere) + " of " + Subject + ", before " +
                               json(Needles[Index - 1]).dump() + " ends"});
      return;  // the rest of the sequence cannot be placed
    }
    const size_t At = Text.find(Needle);
    if (Contains && At == std::string::npos) {
      Out.push_back({E.Key, json(Needle).dump(), "not found in " + Subject});
    } else if (!Contains && At != std::string::npos) {
      Out.push_back({E.Key, json(Needle).dump(), "found at offset " + std::to_string(At) + " of " + Subject});
    }
  }
}

}  // namespace

std::string ShowValue(const json &Value, size_t Limit) {
  std::string Text = Value.dump(-1, ' ', false, json::error_handler_t::replace);
  if (Text.size() > Limit) Text = Text.substr(0, Limit) + "... (" + std::to_string(Text.size()) + " characters)";
  return Text;
}

std::vector<Mismatch> CheckReport(const std::vector<Expectation> &Expect, const json &Report) {
  std::vector<Mismatch> Out;
  bool OutcomeNamed = false;
  for (const Expectation &E : Expect) {
    if (IsSubstringExpectation(E.Key)) {
      CheckSubstrings(E, Report, Out);
      continue;
    }
    OutcomeNamed = OutcomeNamed || E.Key == "outcome";
    const json &Got = Report.contains(E.Key) ? Report.at(E.Key) : json(nullptr);
    if (Got != E.Value) Out.push_back({E.Key, ShowValue(E.Value), ShowValue(Got)});
  }
  if (!OutcomeNamed && Report.at("outcome") != "returned") {
    Out.push_back({"outcome", "\"returned\" (no outcome expected)",
                   ShowValue(Report.at("outcome")) + " at " + ShowValue(Report.at("stopped_at"))});
  }
  return Out;
}

}  // namespace quarn::emu::cli
