#include "Explain.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <set>
#include <sstream>

#include "Tools/quarn-emu/Commands.h"

namespace quarn::emu::cli {

namespace explain {

namespace {

bool Has(const ParsedLog &Log, const std::string &Id) {
  for (const LogLine &L : Log.Module) {
    if (L.Match && L.Match->Pattern->Id == Id) return true;
  }
  return false;
}

const LogLine *First(const ParsedLog &Log, const std::string &Id) {
  for (const LogLine &L : Log.Module) {
    if (L.Match && L.Match->Pattern->Id == Id) return &L;
  }
  return nullptr;
}

std::string Hex8(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%08llX", static_cast<unsigned long long>(Value));
  return Text;
}

std::string HexBytes(const std::vector<uint8_t> &Bytes) {
  std::string Text;
  char Byte[4];
  for (uint8_t B : Bytes) {
    std::snprintf(Byte, sizeof Byte, "%02x", B);
    Text += Byte;
  }
  return Text;
}

/// The row of the outcome table: which way the boot went, as the log shows it.
std::string RoadOf(const ParsedLog &Log) {
  std::string Why;
  if (Has(Log, "dwr")) Why = "DWR flow (DWRSTS bit 15)";
  else if (Has(Log, "drux-disabled")) Why = "VORN absent (VORNFS1 all ones)";
  else if (Has(Log, "lumo")) Why = "Lumo flow (FlowMode 7)";
  else if (Has(Log, "type-not-recognized")) Why = "firmware type not determined";
  else if (const LogLine *Type = First(Log, "type-line")) Why = "firmware type " + Type->Match->Fields[0].Text;
  if (Has(Log, "other-fw") ||
      (Has(Log, "non-quarn") && !Has(Log, "pre-did-timeout") && !Has(Log, "wait-state-timeout"))) {
    return "not QUARN firmware" + (Why.empty() ? std::string() : " (" + Why + ")") +
           ": non-functional path, the entry point returns EFI_UNSUPPORTED";
  }
  if (Has(Log, "pre-did-timeout"))
    return "QUARN firmware, pre-DID reset timed out: non-functional path, EFI_UNSUPPORTED";
  if (Has(Log, "non-quarn") || Has(Log, "non-functional")) {
    return "QUARN firmware that never reached a meaningful state: non-functional path, EFI_UNSUPPORTED";
  }
  std::string Road = "QUARN firmware";
  if (Has(Log, "pre-did-done")) Road += ", pre-DID reset done";
  else if (Has(Log, "pre-did-not-accepted")) Road += ", pre-DID reset refused by the firmware";
  else if (Has(Log, "pre-did-no-ack")) Road += ", pre-DID reset request unanswered";
  else if (Has(Log, "pre-did-failure")) Road += ", pre-DID reset failed";
  else if (Has(Log, "pre-did-execution")) Road += ", pre-DID branch without reset (not in recovery with cause 4)";
  else if (Has(Log, "pre-did-disabled")) Road += ", pre-DID reset disabled";
  if (Has(Log, "wd-success")) Road += ", watchdog enabled";
  else if (Has(Log, "wd-sending")) Road += ", watchdog request failed";
  if (Has(Log, "clox-success")) Road += ", clock settings sent";
  else if (Has(Log, "clox-unable")) Road += ", clock settings failed";
  else if (Has(Log, "clox-not-sent")) Road += ", no clock settings (no clock control)";
  Road += ": the entry point returns EFI_SUCCESS";
  return Road;
}

/// The VORN status registers spelled out.
std::string DecodeFs1(uint64_t Fs1) {
  if (Fs1 == 0xFFFFFFFF) return "all ones: the VORN is absent";
  static const char *States[] = {"0", "1", "2 (recovery)", "3", "4 (disabled)", "5 (normal)"};
  const uint64_t State = Fs1 & 0xF;
  return "CurrentState " + std::string(State < 6 ? States[State] : std::to_string(State).c_str()) + ", FlowMode " +
         std::to_string((Fs1 >> 16) & 0xF) + (((Fs1 >> 16) & 0xF) == 7 ? " (Lumo)" : "") + ", ResetCounter " +
         std::to_string((Fs1 >> 20) & 0xF);
}

struct VornPoint {
  size_t Line;
  std::string What;
};

std::vector<VornPoint> VornStates(const ParsedLog &Log) {
  std::vector<VornPoint> Points;
  for (const LogLine &L : Log.Module) {
    if (!L.Match) continue;
    const std::string &Id = L.Match->Pattern->Id;
    const auto &F = L.Match->Fields;
    if (Id == "type-not-recognized" || Id == "non-quarn#2") {
      Points.push_back({L.FileLine, "VORNFS1 " + Hex8(*F[0].Number) + ": " + DecodeFs1(*F[0].Number) + "; VORNFS2 " +
                                        Hex8(*F[1].Number) + ": RecoveryCause " +
                                        std::to_string((*F[1].Number >> 8) & 7)});
    } else if (Id == "wait-state-reached") {
      Points.push_back({L.FileLine, "CurrentState " + F[0].Text});
    } else if (Id == "recovery") {
      Points.push_back({L.FileLine, "CurrentState 2 (recovery), RecoveryCause " + F[0].Text});
    } else if (Id == "wait-state-timeout") {
      Points.push_back({L.FileLine, "CurrentState neither 2 nor 5 for the whole wait"});
    } else if (Id == "counter-timeout") {
      Points.push_back({L.FileLine, "ResetCounter unchanged for the whole wait"});
    } else if (Id == "dwr") {
      Points.push_back({L.FileLine, "DWRSTS bit 15 set (DWR flow)"});
    } else if (Id == "lumo") {
      Points.push_back({L.FileLine, "FlowMode 7 (Lumo)"});
    } else if (Id == "clox-supported") {
      Points.push_back({L.FileLine, "feature set bit 2 (clock control) " +
                                        std::string(F[0].Text == "1" ? "set" : "clear or unread")});
    }
  }
  return Points;
}

/// "1 line", "3 lines".
std::string Lines(size_t N) { return std::to_string(N) + (N == 1 ? " line" : " lines"); }

/// The scenario's lines before the log's first module line: lines the log does not have.
std::vector<std::string> LinesBefore(const Explanation &E) {
  if (!E.Search.Reproduced || E.Log.Module.empty()) return {};
  const auto &Run = E.Search.RunLines;
  return std::vector<std::string>(Run.begin(), Run.begin() + std::min(E.Search.Offset, Run.size()));
}

/// The scenario's lines after the log's last module line: lines the log does not have.
std::vector<std::string> LinesAfter(const Explanation &E) {
  if (!E.Search.Reproduced || E.Log.Module.empty()) return {};
  const auto &Run = E.Search.RunLines;
  const size_t End = std::min(E.Search.Offset + E.Log.Module.size(), Run.size());
  return std::vector<std::string>(Run.begin() + End, Run.end());
}

/// TRUE when the scenario prints exactly the log's module lines, none before, none after.
bool PrintsExactly(const Explanation &E) { return E.Search.Reproduced && E.Search.Exact && E.Search.Offset == 0; }

/// What the log cannot tell.
std::vector<std::string> Unknowns(const Explanation &E) {
  std::vector<std::string> U;
  uint32_t Levels = 0;
  bool Addresses = false;
  for (const LogLine &L : E.Log.Module) {
    if (!L.Match) continue;
    Levels |= static_cast<uint32_t>(L.Match->Pattern->Of->Severity);
    Addresses = Addresses || L.Match->Pattern->Of->AddressFields != 0;
  }
  if (Addresses && !kAddressesAreEvidence) {
    U.push_back(
        "the addresses in the MM7 lines: they come from the board's memory map, which a log does not state "
        "(the emulator's is the scenario's [memory] table); those lines are matched by their shape only");
  }
  if (!(Levels & static_cast<uint32_t>(Level::Info)))
    U.push_back("everything printed at INFO: the console level leaves those lines out");
  if (!(Levels & static_cast<uint32_t>(Level::Warn)))
    U.push_back("warnings, if the level leaves them out (none is in the log)");
  if (E.Search.Best.Keys.count("vorn.at")) {
    U.push_back(
        "when exactly the registers changed: the log has no times; the scenario places the change where the "
        "waits' budgets allow it");
  }
  // The fields of registers and answers the log leaves free, by register or answer.
  for (size_t I = 0; I < E.Search.Fields.size();) {
    const std::string &Of = E.Search.Fields[I].Of;
    std::string Free, Untried;
    for (; I < E.Search.Fields.size() && E.Search.Fields[I].Of == Of; I++) {
      const FieldFreedom &F = E.Search.Fields[I];
      if (!F.Pinned && F.Tried)
        Free += (Free.empty() ? "with " : ", with ") + F.Field + " " + F.Free + " (the scenario: " + F.Value + ")";
      if (!F.Tried) Untried += (Untried.empty() ? "" : ", ") + F.Field;
    }
    if (!Free.empty()) U.push_back(Of + ": the same lines " + Free + ", each field alone");
    if (!Untried.empty()) U.push_back(Of + ": " + Untried + ": not tried, the search's runs were spent");
  }
  U.push_back("the processor count and the CPU stepping: never printed");
  U.push_back("whether the console level came from CMOS or from the MM0 cache: the same lines either way");
  // The one-key variations that print the same lines, one entry per key and difference:
  // the scenario emitted is the simplest of them; what tells them apart is not in the log.
  struct Group {
    std::string Key, Values, Differs;
  };
  std::vector<Group> Others;
  for (const Alternative &A : E.Search.Alternatives) {
    std::string Value = A.Value.empty() ? "the default" : A.Value;
    if (A.Key == "vorn.at" && !A.Value.empty()) {
      // "[[vorn.at]]\nms = 200\nfs1 = ...\n": the time is what differs.
      const size_t Ms = A.Value.find("ms = ");
      Value = A.Value.substr(Ms + 5, A.Value.find('\n', Ms) - Ms - 5) + " ms";
    }
    if (!Others.empty() && Others.back().Key == A.Key && Others.back().Differs == A.Differs) {
      Others.back().Values += ", " + Value;
    } else {
      Others.push_back({A.Key, Value, A.Differs});
    }
  }
  for (const Group &G : Others) {
    U.push_back((G.Key == "vorn.at" ? std::string("the register change at ") : G.Key + " = ") + G.Values +
                " prints the same lines" +
                (G.Differs.empty() ? std::string(" (nothing in the report tells it apart)")
                                   : "; it differs in " + G.Differs + ", which the log does not show"));
  }
  const std::vector<std::string> Before = LinesBefore(E), After = LinesAfter(E);
  if (!After.empty()) {
    U.push_back("the rest of the boot: the log ends after its last line of the module (cut?), the run goes on with " +
                Lines(After.size()) + ", from \"" + After.front() + "\"");
  }
  if (!Before.empty()) {
    std::string Named;
    for (const std::string &L : Before) Named += (Named.empty() ? "\"" : ", \"") + L + "\"";
    U.push_back("the beginning: the scenario prints " + Lines(Before.size()) +
                " before the log's first module line, which the log does not have (cut at its start?): " + Named);
  }
  return U;
}

std::string TomlString(const std::string &Text) {
  std::string Out = "\"";
  for (char C : Text) {
    if (C == '"' || C == '\\') Out += '\\';
    Out += C;
  }
  return Out + "\\r\\n\"";
}

/// [expect] from the log: its module lines (those without addresses), and the status
/// when the log shows the whole boot.
std::string ExpectFromLog(const Explanation &E) {
  std::string Expect;
  if (E.Search.Exact && E.Search.Offset == 0 && E.Search.Report.Status) {
    Expect += "outcome = \"" + E.Search.Report.Outcome + "\"\n";
    Expect += "status = \"" + StatusName(*E.Search.Report.Status) + "\"\n";
  }
  Expect += "console_contains = [\n";
  for (const LogLine &L : E.Log.Module) {
    if (L.Match && L.Match->Pattern->Of->AddressFields != 0 && !kAddressesAreEvidence) continue;
    Expect += "  " + TomlString(L.Text) + ",\n";
  }
  return Expect + "]\n";
}

/// Writes to S each module line of E's log the story shows (up to the first impossible
/// one), with what it shows.
void WriteLineMeanings(std::ostream &S, const Explanation &E) {
  const auto &Log = E.Log;
  S << "Each line and what it shows:\n";
  const size_t Shown = E.Search.Reproduced ? Log.Module.size() : E.Search.Matched + 1;
  for (size_t I = 0; I < Shown && I < Log.Module.size(); I++) {
    const LogLine &L = Log.Module[I];
    char Number[16];
    std::snprintf(Number, sizeof Number, "%6zu  ", L.FileLine);
    S << Number << L.Text << "\n";
    if (L.Match) S << "          " << L.Match->Pattern->Of->Meaning << "\n";
  }
}

/// Writes to S the fields of E's scenario that belong to Of, one a line.
void WriteFields(std::ostream &S, const Explanation &E, const std::string &Of) {
  for (const FieldFreedom &F : E.Search.Fields) {
    if (F.Of != Of) continue;
    S << "       " << F.Field << " " << F.Value << ": "
      << (!F.Tried   ? "not tried (the search's runs were spent)"
          : F.Pinned ? "pinned"
                     : "free, " + F.Free)
      << "\n";
  }
}

/// TRUE when Of names an answer of a message (those are written with the exchange).
bool IsAnswer(const Explanation &E, const std::string &Of) {
  for (const MessageExchange &X : E.Search.Report.Messages) {
    if (AnswerName(X.Kind) == Of) return true;
  }
  return false;
}

/// Writes to S the controller's states the log shows, the registers of E's scenario and
/// what the firmware answered in it, field by field where the search tried them.
void WriteVornAndAnswers(std::ostream &S, const Explanation &E) {
  const auto &Log = E.Log;
  const std::vector<VornPoint> States = VornStates(Log);
  if (!States.empty()) {
    S << "\nThe controller as the log shows it:\n";
    for (const VornPoint &P : States) S << "  line " << P.Line << ": " << P.What << "\n";
  }

  const bool Fields = !E.Search.Fields.empty();
  if (Fields) {
    S << "\nThe VORN in the scenario, its registers and status, field by field (each tried alone, the rest as in\n"
         "the scenario: "
         "pinned, every other value prints other lines; free, exactly the values named print the same lines):\n";
    std::string Last;
    for (const FieldFreedom &F : E.Search.Fields) {
      if (F.Of == Last || IsAnswer(E, F.Of)) continue;
      Last = F.Of;
      S << "  " << F.Of << ":\n";
      WriteFields(S, E, F.Of);
    }
  }

  if (!E.Search.Report.Messages.empty()) {
    S << (Fields ? "\nWhat the firmware answered in the scenario, field by field (the same way):\n"
                 : "\nWhat the firmware answered in the scenario:\n");
    std::set<std::string> Written;
    for (size_t I = 0; I < E.Search.Report.Messages.size(); I++) {
      const MessageExchange &X = E.Search.Report.Messages[I];
      S << "  " << I + 1 << ". " << X.Kind << ": " << StatusName(X.Result);
      if (!EFI_ERROR(X.Result) && X.Response.empty()) {
        S << ", no bytes (length " << X.ResponseLength << " reported)";
      } else if (!EFI_ERROR(X.Result)) {
        S << ", " << HexBytes(X.Response) << " (" << X.Response.size() << " bytes";
        if (X.ResponseLength != X.Response.size()) S << ", length " << X.ResponseLength << " reported";
        if (X.Response.size() == X.Capacity) S << ", all the module's buffer holds";
        S << ")";
      }
      S << "\n";
      if (Fields && Written.insert(X.Kind).second) WriteFields(S, E, AnswerName(X.Kind));
    }
  }
}

}  // namespace

Explanation Explain(std::string_view LogText, const std::string &Name, bool Alternatives) {
  Explanation E;
  E.Log = ReadLog(LogText);
  E.Search = SearchScenario(E.Log, Alternatives);
  E.Road = RoadOf(E.Log);
  const std::string Description = E.Search.Reproduced ? "explained from a field log: " + E.Road
                                                      : "explained from a field log, up to its first impossible line";
  E.ScenarioToml = "# Written by quarn-emu explain: prints the module's lines of the log it was made from.\n" +
                   ScenarioText(E.Search.Best, Name, Description, E.Search.Reproduced ? ExpectFromLog(E) : "");
  return E;
}

std::string StoryText(const Explanation &E, const std::string &LogName, const std::string &Emitted) {
  std::ostringstream S;
  const auto &Log = E.Log;
  S << LogName << ": " << Log.TotalLines << " lines, " << Log.Module.size() << " of the module, " << Log.OtherLines
    << " of others; " << (Log.CrLf ? "CR LF" : "LF") << " line endings";
  if (!Log.Module.empty() && !Log.Module.front().Prefix.empty()) {
    S << "; a prefix column (\"" << Log.Module.front().Prefix << "\")";
  }
  S << "\n\n";
  if (Log.Module.empty()) {
    S << "No line of the module in the log.\n";
    return S.str();
  }
  if (E.Search.Reproduced) {
    S << "Road: " << E.Road << "\n\n";
  } else {
    const LogLine &Bad = Log.Module[E.Search.Matched];
    S << "IMPOSSIBLE at line " << Bad.FileLine << ": " << Bad.Text << "\n  " << E.Search.Reason << "\n";
    S << "  (the " << E.Search.Matched
      << (E.Search.Matched == 1 ? " module line before it fits" : " module lines before it fit") << " the scenario "
      << (Emitted.empty() ? std::string("below") : "written to " + Emitted) << ")\n\n";
  }

  WriteLineMeanings(S, E);
  WriteVornAndAnswers(S, E);

  if (E.Search.Reproduced) {
    S << "\nWhat the log cannot tell:\n";
    for (const std::string &U : Unknowns(E)) S << "  - " << U << "\n";
  }

  // Runs, not host time: the story is the same bytes on every machine.
  S << "\nSearch: " << E.Search.Runs << " runs; ";
  if (E.Search.Reproduced) {
    const size_t Before = LinesBefore(E).size(), After = LinesAfter(E).size();
    S << "the scenario prints ";
    if (Before > 0) S << Lines(Before) << " the log does not have (named above), then ";
    S << (Log.Module.size() == 1 ? std::string("the log's one module line")
                                 : "all " + std::to_string(Log.Module.size()) + " module lines of the log");
    S << (After > 0 ? ", then " + Lines(After) + " more" : std::string(" and nothing more")) << "\n";
  } else {
    S << "no scenario gets past line " << Log.Module[E.Search.Matched].FileLine << "\n";
  }
  if (Emitted.empty()) S << "\n" << E.ScenarioToml;
  else S << "The scenario is written to " << Emitted << "\n";
  return S.str();
}

nlohmann::json StoryJson(const Explanation &E, const std::string &LogName, const std::string &Emitted) {
  nlohmann::json J;
  J["log"] = {{"file", LogName},
              {"lines", E.Log.TotalLines},
              {"module_lines", E.Log.Module.size()},
              {"other_lines", E.Log.OtherLines},
              {"crlf", E.Log.CrLf}};
  J["reproduced"] = E.Search.Reproduced;
  J["exact"] = PrintsExactly(E);
  J["lines_before"] = LinesBefore(E);
  J["lines_after"] = LinesAfter(E);
  J["runs"] = E.Search.Runs;
  J["road"] = E.Search.Reproduced ? nlohmann::json(E.Road) : nlohmann::json(nullptr);
  if (!E.Search.Reproduced && E.Search.Matched < E.Log.Module.size()) {
    const LogLine &Bad = E.Log.Module[E.Search.Matched];
    J["impossible"] = {{"line", Bad.FileLine}, {"text", Bad.Text}, {"reason", E.Search.Reason}};
  } else {
    J["impossible"] = nullptr;
  }
  nlohmann::json Lines = nlohmann::json::array();
  for (const LogLine &L : E.Log.Module) {
    Lines.push_back({{"line", L.FileLine},
                     {"text", L.Text},
                     {"message", L.Match ? nlohmann::json(L.Match->Pattern->Id) : nlohmann::json(nullptr)},
                     {"meaning", L.Match ? nlohmann::json(L.Match->Pattern->Of->Meaning) : nlohmann::json(nullptr)}});
  }
  J["lines"] = Lines;
  nlohmann::json Vorn = nlohmann::json::array();
  for (const VornPoint &P : VornStates(E.Log)) Vorn.push_back({{"line", P.Line}, {"state", P.What}});
  J["vorn"] = Vorn;
  nlohmann::json Exchange = nlohmann::json::array();
  for (const MessageExchange &X : E.Search.Report.Messages) {
    Exchange.push_back({{"kind", X.Kind},
                        {"result", StatusName(X.Result)},
                        {"response", HexBytes(X.Response)},
                        {"length", EFI_ERROR(X.Result) ? nlohmann::json(nullptr) : nlohmann::json(X.ResponseLength)},
                        {"capacity", X.Capacity}});
  }
  J["exchange"] = Exchange;
  nlohmann::json Fields = nlohmann::json::array();
  for (const FieldFreedom &F : E.Search.Fields) {
    Fields.push_back({{"of", F.Of},
                      {"field", F.Field},
                      {"key", F.Key},
                      {"value", F.Value},
                      {"tried", F.Tried},
                      {"pinned", F.Pinned},
                      {"free", F.Pinned || !F.Tried ? nlohmann::json(nullptr) : nlohmann::json(F.Free)}});
  }
  J["fields"] = Fields;
  J["unknown"] = E.Search.Reproduced ? nlohmann::json(Unknowns(E)) : nlohmann::json::array();
  J["scenario"] = E.ScenarioToml;
  J["emitted"] = Emitted.empty() ? nlohmann::json(nullptr) : nlohmann::json(Emitted);
  return J;
}

}  // namespace explain

int ExplainLog(const ExplainOptions &Options, std::ostream &Out, std::ostream &Err) {
  std::string Text;
  if (Options.Log == "-") {
    std::ostringstream In;
    In << std::cin.rdbuf();
    Text = In.str();
  } else {
    std::ifstream In(Options.Log, std::ios::binary);
    if (!In) {
      Err << "quarn-emu: " << Options.Log << ": cannot be read\n";
      return kExitBadInput;
    }
    std::ostringstream Buffer;
    Buffer << In.rdbuf();
    Text = Buffer.str();
  }
  const std::string Name = Options.Emit.empty() ? "explained" : std::filesystem::path(Options.Emit).stem().string();
  const explain::Explanation E = explain::Explain(Text, Name);
  if (!Options.Emit.empty()) {
    std::ofstream File(Options.Emit, std::ios::binary | std::ios::trunc);
    if (!File || !(File << E.ScenarioToml)) {
      Err << "quarn-emu: " << Options.Emit << ": cannot be written\n";
      return kExitBadInput;
    }
  }
  if (Options.Json) {
    Out << explain::StoryJson(E, Options.Log, Options.Emit)
               .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace)
        << "\n";
  } else {
    Out << explain::StoryText(E, Options.Log, Options.Emit);
  }
  if (E.Log.Module.empty()) return kExitOk;
  return E.Search.Reproduced ? kExitOk : kExitMismatch;
}

}  // namespace quarn::emu::cli
