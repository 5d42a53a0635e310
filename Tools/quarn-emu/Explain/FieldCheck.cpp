// What the log pins: each field of the VORN's registers and of the firmware's answers in
// the scenario found, tried alone with other values, and the exact set of values that
// print the same lines.
//
// A field's values fall into cells: the values the module or the firmware model treats
// apart from the others (CurrentState 2, 4 and 5; a GroupId of 0xF0; a status that is an
// error), each a cell of its own, and the rest, which both treat alike but for printing the
// value. One run with a value of each other cell tells which cells print the same lines;
// one run with another value of the field's own cell tells whether a line prints the
// value itself (then only the value does). The cells come from the module's sources and
// the firmware model (Emulator/Vorn/QuarnFirmware.cpp): a test tries every value of the
// small fields and checks the sets named here.
#include <bit>
#include <cstdio>
#include <functional>

#include "Emulator/Scenario.h"
#include "SearchParts.h"

namespace quarn::emu::cli::explain {

std::string AnswerName(const std::string &Kind) {
  if (Kind == "pre-did-reset") return "the pre-DID reset answer";
  return "the " + Kind + " answer";
}

namespace search {

namespace {

/// How a field's values are written.
enum class Shown { Decimal, Hex2, Hex4, Hex8 };

std::string Written(uint64_t Value, Shown How) {
  char Text[24];
  switch (How) {
    case Shown::Decimal: std::snprintf(Text, sizeof Text, "%llu", static_cast<unsigned long long>(Value)); break;
    case Shown::Hex2: std::snprintf(Text, sizeof Text, "0x%02llX", static_cast<unsigned long long>(Value)); break;
    case Shown::Hex4: std::snprintf(Text, sizeof Text, "0x%04llX", static_cast<unsigned long long>(Value)); break;
    case Shown::Hex8: std::snprintf(Text, sizeof Text, "0x%08llX", static_cast<unsigned long long>(Value)); break;
  }
  return Text;
}

/// Items joined as a list: "a", "a or b", "a, b or c".
std::string Either(const std::vector<std::string> &Items) {
  std::string Text;
  for (size_t I = 0; I < Items.size(); I++) {
    Text += (I == 0 ? "" : I + 1 == Items.size() ? " or " : ", ") + Items[I];
  }
  return Text;
}

}  // namespace

std::string ValuesText(const std::set<uint32_t> &Values) {
  std::vector<std::string> Items;
  for (auto It = Values.begin(); It != Values.end();) {
    uint32_t Last = *It;
    auto Next = std::next(It);
    while (Next != Values.end() && *Next == Last + 1) Last = *Next++;
    if (Last >= *It + 2) {
      Items.push_back(std::to_string(*It) + " to " + std::to_string(Last));
    } else {
      for (uint32_t V = *It; V <= Last; V++) Items.push_back(std::to_string(V));
    }
    It = Next;
  }
  return Either(Items);
}

bool PrintsTheSame(const Score &S, const Score &Best, size_t Total) {
  return S.Matched >= 0 && static_cast<size_t>(S.Matched) == Total && S.Offset == Best.Offset &&
         (S.Exact || !Best.Exact);
}

namespace {

/// Best with the keys of M set. A [drux.pre_did_reset] table of its own changes the
/// table's defaults (the counter never steps, the state never comes): when Best has none,
/// the model's times come with it, so that only the keys of M differ.
Candidate Probe(const Candidate &Best, Move M) {
  bool Table = false;
  for (const auto &[Key, Value] : Best.Keys) Table = Table || Key.rfind("drux.pre_did_reset.", 0) == 0;
  bool Touches = false;
  for (const auto &[Key, Value] : M.Set) Touches = Touches || Key.rfind("drux.pre_did_reset.", 0) == 0;
  if (Touches && !Table) {
    const Scenario Model;
    M.Set.push_back({"drux.pre_did_reset.counter_after_ms", std::to_string(*Model.CounterAfterMs)});
    M.Set.push_back({"drux.pre_did_reset.state_after_ms", std::to_string(*Model.StateAfterMs)});
  }
  return Apply(Best, M);
}

/// Runs candidates and tells whether one prints the log's lines as the scenario found does.
class Judge {
 public:
  Judge(Runner &R, size_t Total, const Score &Best) : R_(R), Total_(Total), Best_(Best) {}

  bool Spent = false;  // the search's runs were spent: what Same answered since is no evidence

  /// TRUE when C's run agrees with every module line of the log, from the same line of
  /// the run, and (for a log that shows the whole boot) prints nothing more. Once the
  /// search's runs are spent, FALSE and Spent.
  bool Same(const Candidate &C) {
    if (R_.Runs >= kMaxSearchRuns) Spent = true;
    if (Spent) return false;
    return PrintsTheSame(R_.ScoreOf(C), Best_, Total_);
  }

 private:
  Runner &R_;
  size_t Total_;
  const Score &Best_;
};

/// Adds F, checked by J, to Fields; a field whose runs the bound cut short is not tried:
/// neither pinned nor free.
void Add(std::vector<FieldFreedom> &Fields, FieldFreedom F, const Judge &J) {
  if (J.Spent) {
    F.Tried = false;
    F.Pinned = false;
    F.Free.clear();
  }
  Fields.push_back(std::move(F));
}

/// A 32-bit word of the scenario (a register, a word of an answer, a length) and how a
/// candidate carries another value of it.
struct Word {
  std::string Of, Key;
  uint32_t Value = 0;
  std::set<uint32_t> SpecialWords;  // whole values treated apart (VORNFS1 all ones)
  std::function<Candidate(uint32_t)> With;
};

/// The bits of a word that make one field, and the values of it treated apart.
struct Bits {
  std::string Name;
  uint32_t Mask = 0;
  std::set<uint32_t> Special;
  Shown How = Shown::Decimal;
};

/// Field F of word W: its cells tried, its values that print the same lines.
FieldFreedom CheckBits(const Word &W, const Bits &F, Judge &J) {
  const unsigned Shift = static_cast<unsigned>(std::countr_zero(F.Mask));
  const uint32_t Top = F.Mask >> Shift;
  const bool OneRun = (Top & (Top + 1)) == 0;  // the bits lie side by side
  const unsigned Width = static_cast<unsigned>(std::popcount(F.Mask));
  auto Of = [&](uint32_t Whole) { return OneRun ? (Whole & F.Mask) >> Shift : Whole & F.Mask; };
  auto Put = [&](uint32_t Value) { return (W.Value & ~F.Mask) | ((OneRun ? Value << Shift : Value) & F.Mask); };
  auto Valid = [&](uint32_t Value) { return OneRun ? Value <= Top : (Value & ~F.Mask) == 0; };

  const uint32_t Value = Of(W.Value);
  std::set<uint32_t> Special;
  for (uint32_t S : F.Special) {
    if (Valid(S)) Special.insert(S);
  }
  for (uint32_t S : W.SpecialWords) {
    if ((S & ~F.Mask) == (W.Value & ~F.Mask)) Special.insert(Of(S));
  }

  std::set<uint32_t> Allowed = {Value};
  for (uint32_t S : Special) {
    if (S != Value && J.Same(W.With(Put(S)))) Allowed.insert(S);
  }
  // The rest: one value of it other than the field's own, the whole field's bits flipped
  // first (so that any of them a line prints shows), else one bit.
  const uint32_t All = OneRun ? Top : F.Mask;
  std::vector<uint32_t> Flips = {All};
  for (unsigned Bit = 0; Bit < 32; Bit++) {
    if (All & (1u << Bit)) Flips.push_back(1u << Bit);
  }
  std::optional<uint32_t> Other;
  for (uint32_t Flip : Flips) {
    if (!Special.count(Value ^ Flip)) {
      Other = Value ^ Flip;
      break;
    }
  }
  bool Rest = false;
  if (Other) Rest = J.Same(W.With(Put(*Other)));  // the field's own value in the rest: false when a line prints it

  FieldFreedom Result{W.Of, F.Name, W.Key, Written(Value, F.How), true, ""};
  if (Width <= 4) {
    std::set<uint32_t> Set = Allowed;
    for (uint32_t V = 0; Rest && V <= Top; V++) {
      if (OneRun && !Special.count(V)) Set.insert(V);
    }
    Result.Pinned = Set.size() == 1;
    if (!Result.Pinned)
      Result.Free = Set.size() == Top + 1u ? "any value (0 to " + std::to_string(Top) + ")" : ValuesText(Set);
    return Result;
  }
  if (Rest) {
    std::vector<std::string> Excluded;
    for (uint32_t S : Special) {
      if (!Allowed.count(S)) Excluded.push_back(Written(S, F.How));
    }
    Result.Pinned = false;
    Result.Free = Excluded.empty() ? "any value" : "any value but " + Either(Excluded);
  } else if (Allowed.size() > 1) {
    std::vector<std::string> Items;
    Items.reserve(Allowed.size());
    for (uint32_t V : Allowed) Items.push_back(Written(V, F.How));
    Result.Pinned = false;
    Result.Free = Either(Items);
  }
  return Result;
}

// --- statuses -------------------------------------------------------------------------

/// The cell of a status: 0 success, 1 a warning, 2 an error.
int StatusCell(uint64_t Status) { return Status == 0 ? 0 : EFI_ERROR(static_cast<EFI_STATUS>(Status)) ? 2 : 1; }

/// A status answered by the firmware (Value) and how a candidate carries another: the
/// module tells success, a warning and an error apart, and may print the status (%r).
FieldFreedom CheckStatus(const std::string &Of, const std::string &Key, uint64_t Value,
                         const std::function<Candidate(uint64_t)> &With, Judge &J) {
  const int Own = StatusCell(Value);
  // A value of each cell; of the field's own cell another one than its value.
  const uint64_t Warning = Value == 0x5 ? 0x4 : 0x5;                     // EFI_WARN_STALE_DATA, _BUFFER_TOO_SMALL
  const uint64_t Error = Value == 0x80000007 ? 0x80000012 : 0x80000007;  // EFI_DEVICE_ERROR, EFI_TIMEOUT
  const uint64_t Probe[3] = {0, Warning, Error};
  static const char *const kCells[3] = {"EFI_SUCCESS", "any warning status", "any error status"};
  std::vector<std::string> Items;
  bool Whole = true, Pinned = true;
  for (int Cell = 0; Cell < 3; Cell++) {
    if (Cell == Own && Cell == 0) {
      Items.push_back(kCells[0]);
    } else if (Cell == Own) {
      const bool Alike = J.Same(With(Probe[Cell]));  // false: a line prints the status
      Items.push_back(Alike ? kCells[Cell] : StatusName(static_cast<EFI_STATUS>(Value)));
      Whole = Whole && Alike;
      Pinned = Pinned && !Alike;
    } else if (J.Same(With(Probe[Cell]))) {
      Items.push_back(kCells[Cell]);
      Pinned = false;
    } else {
      Whole = false;
    }
  }
  FieldFreedom Result{Of, "result", Key, StatusName(static_cast<EFI_STATUS>(Value)), Pinned, ""};
  if (!Pinned) Result.Free = Whole ? "any status" : Either(Items);
  return Result;
}

// --- bytes no field names -----------------------------------------------------------------

/// Bytes of an answer the module never looks at (First to Last, both included), flipped
/// all at once: free when the run prints the same lines.
FieldFreedom CheckBytes(const std::string &Of, const std::string &Key, const std::vector<uint8_t> &Response,
                        size_t First, size_t Last, const std::function<Candidate(const std::vector<uint8_t> &)> &With,
                        Judge &J) {
  std::vector<uint8_t> Other = Response;
  std::string Value;
  char Byte[4];
  for (size_t I = First; I <= Last; I++) {
    Other[I] = static_cast<uint8_t>(~Other[I]);
    std::snprintf(Byte, sizeof Byte, "%02x", Response[I]);
    Value += Byte;
  }
  FieldFreedom Result{Of, "bytes " + std::to_string(First) + " to " + std::to_string(Last), Key, Value, true, ""};
  if (J.Same(With(Other))) {
    Result.Pinned = false;
    Result.Free = "any bytes";
  }
  return Result;
}

// --- the registers ----------------------------------------------------------------------

constexpr uint32_t kAllOnes = 0xFFFFFFFF;

/// The fields of a register by its key ("fs1"): for VORNFS1 the counter values that
/// OtherCounters holds are treated apart too (a counter the module compares with).
std::vector<Bits> RegisterBits(const std::string &Register, const std::set<uint32_t> &OtherCounters) {
  if (Register == "fs1") {
    return {{"CurrentState (bits 3:0)", 0x0000000F, {2, 4, 5}, Shown::Decimal},
            {"FlowMode (bits 19:16)", 0x000F0000, {7}, Shown::Decimal},
            {"ResetCounter (bits 23:20)", 0x00F00000, OtherCounters, Shown::Decimal},
            {"bits 31:24 and 15:4", 0xFF00FFF0, {}, Shown::Hex8}};
  }
  if (Register == "fs2") {
    return {{"RecoveryCause (bits 10:8)", 0x00000700, {4}, Shown::Decimal},
            {"bits 31:11 and 7:0", 0xFFFFF8FF, {}, Shown::Hex8}};
  }
  if (Register == "dwrsts") {
    return {{"DWR flow (bit 15)", 0x00008000, {0, 1}, Shown::Decimal},
            {"bits 31:16 and 14:0", 0xFFFF7FFF, {}, Shown::Hex8}};
  }
  return {{"the whole register", kAllOnes, {}, Shown::Hex8}};
}

/// The register names the story uses.
std::string RegisterName(const std::string &Register) {
  if (Register == "fs1") return "VORNFS1";
  if (Register == "fs2") return "VORNFS2";
  if (Register == "dwrsts") return "DWRSTS";
  return "function " + Register.substr(2) + " status (offset 0x40)";
}

/// A [[vorn.at]] entry of a candidate: its time, register and value.
struct Change {
  std::string Ms, Register;
  uint32_t Value = 0;
};

std::optional<Change> ChangeOf(const Candidate &C) {
  const auto Found = C.Keys.find("vorn.at");
  if (Found == C.Keys.end()) return std::nullopt;
  // "[[vorn.at]]\nms = N\nREGISTER = 0x...\n", as the search writes it.
  const std::string &Text = Found->second;
  const size_t Ms = Text.find("ms = "), Line = Text.find('\n', Ms), Equals = Text.find(" = ", Line);
  if (Ms == std::string::npos || Line == std::string::npos || Equals == std::string::npos) return std::nullopt;
  const std::optional<uint64_t> Value = Number(Text.substr(Equals + 3, Text.find('\n', Equals) - Equals - 3));
  if (!Value) return std::nullopt;
  return Change{Text.substr(Ms + 5, Line - Ms - 5), Text.substr(Line + 1, Equals - Line - 1),
                static_cast<uint32_t>(*Value)};
}

uint32_t KeyValue(const Candidate &C, const std::string &Key, uint32_t Default) {
  const auto Found = C.Keys.find(Key);
  return Found == C.Keys.end() ? Default : static_cast<uint32_t>(Number(Found->second).value_or(Default));
}

void CheckRegisters(const Candidate &Best, Judge &J, std::vector<FieldFreedom> &Fields) {
  const bool Present = !Best.Keys.count("vorn.present") || Best.Keys.at("vorn.present") == "true";
  Word Answers{"the VORN", "vorn.present", Present ? 1u : 0u, {}, [&](uint32_t V) {
                 return Probe(Best, {"", {{"vorn.present", V ? "true" : "false"}}});
               }};
  FieldFreedom P = CheckBits(Answers, {"present (false: its registers read all ones)", 1, {0, 1}, Shown::Decimal}, J);
  P.Value = Present ? "true" : "false";
  if (!P.Pinned) P.Free = "true or false";
  Add(Fields, P, J);

  const std::optional<Change> At = ChangeOf(Best);
  const uint32_t EntryCounter = (KeyValue(Best, "vorn.fs1", kDefaultFs1) >> 20) & 0xF;
  for (const char *Register : {"fs1", "fs2", "dwrsts", "fn1", "fn4", "fn6"}) {
    const std::string Key = std::string("vorn.") + Register;
    const uint32_t Default = std::string(Register) == "fs1" ? kDefaultFs1 : 0;
    std::set<uint32_t> Counters;
    if (At && At->Register == "fs1") Counters.insert((At->Value >> 20) & 0xF);
    Word W{RegisterName(Register) + " at entry", Key, KeyValue(Best, Key, Default), {}, [&Best, Key](uint32_t V) {
             return Probe(Best, {"", {{Key, Hex8(V)}}});
           }};
    if (std::string(Register) == "fs1") W.SpecialWords = {kAllOnes};
    for (const Bits &B : RegisterBits(Register, Counters)) Add(Fields, CheckBits(W, B, J), J);
  }
  if (At) {
    // The register the change writes: its counter is compared with the one at entry and
    // with the one a pre-DID reset steps it to.
    Word W{RegisterName(At->Register) + " from " + At->Ms + " ms", "vorn.at", At->Value, {}, [&Best, At](uint32_t V) {
             return Probe(
                 Best,
                 {"", {{"vorn.at", "[[vorn.at]]\nms = " + At->Ms + "\n" + At->Register + " = " + Hex8(V) + "\n"}}});
           }};
    if (At->Register == "fs1") W.SpecialWords = {kAllOnes};
    for (const Bits &B : RegisterBits(At->Register, {EntryCounter, (EntryCounter + 1) & 0xF})) {
      Add(Fields, CheckBits(W, B, J), J);
    }
  }
}

// --- the answers ----------------------------------------------------------------------------

/// The scenario table of a message kind.
std::string TableOf(const std::string &Kind) {
  if (Kind == "feature-set") return "drux.feature_set";
  if (Kind == "pre-did-reset") return "drux.pre_did_reset";
  return "drux." + Kind;
}

/// The fields of an answer: the word at Offset and its bits.
struct AnswerBits {
  size_t Offset;
  Bits Field;
};

std::vector<AnswerBits> AnswerFields(const std::string &Kind) {
  if (Kind == "type") {
    return {{0, {"header IsResponse (bit 15)", 0x00008000, {0, 1}, Shown::Decimal}},
            {0, {"header GroupId (bits 7:0)", 0x000000FF, {0xF0}, Shown::Hex2}},
            {0, {"header Command (bits 14:8)", 0x00007F00, {0x11}, Shown::Hex2}},
            {0, {"header bits 31:16", 0xFFFF0000, {}, Shown::Hex4}},
            {4, {"FwType (type word bits 2:0)", 0x00000007, {1, 2, 3}, Shown::Decimal}},
            {4, {"FwSubType (type word bits 10:3)", 0x000007F8, {3}, Shown::Decimal}},
            {4, {"type word bits 31:11", 0xFFFFF800, {}, Shown::Hex8}}};
  }
  if (Kind == "feature-set") {
    return {{0, {"byte 0 (the command)", 0x000000FF, {0x81}, Shown::Hex2}},
            {0, {"bytes 1 and 2", 0x00FFFF00, {}, Shown::Hex4}},
            {3, {"FeatureSet bit 2 (CloxSupported)", 0x00000004, {0, 1}, Shown::Decimal}},
            // Byte 3, the feature set's lowest, is printed in the invalid-answer line (the
            // first four bytes as one word); the bits above it never are.
            {3, {"FeatureSet bits 7:3 and 1:0", 0x000000FB, {}, Shown::Hex2}},
            {3, {"FeatureSet bits 31:8", 0xFFFFFF00, {}, Shown::Hex8}},
            {7, {"FeatureSet2", 0xFFFFFFFF, {}, Shown::Hex8}}};
  }
  if (Kind == "watchdog") {
    return {{0, {"byte 0 (the command)", 0x000000FF, {0x85}, Shown::Hex2}},
            {0, {"byte 1 (the status)", 0x0000FF00, {0}, Shown::Decimal}}};
  }
  if (Kind == "clock") {
    return {{4, {"CloxCommand (bytes 4 to 7)", kAllOnes, {27}, Shown::Decimal}},
            {8, {"CloxResponse (bytes 8 to 11)", kAllOnes, {0}, Shown::Hex8}}};
  }
  if (Kind == "pre-did-reset") {
    return {{0, {"header GroupId (bits 7:0)", 0x000000FF, {5}, Shown::Hex2}},
            {0, {"header Command (bits 14:8)", 0x00007F00, {0}, Shown::Hex2}},
            {0, {"header IsResponse (bit 15)", 0x00008000, {0, 1}, Shown::Decimal}},
            {0, {"header bits 31:16", 0xFFFF0000, {}, Shown::Hex4}},
            {4, {"byte 4", 0x000000FF, {0}, Shown::Hex2}}};
  }
  return {};
}

/// Bytes of an answer no field above covers: (first, last).
std::vector<std::pair<size_t, size_t>> UnreadBytes(const std::string &Kind) {
  if (Kind == "clock") return {{0, 3}, {12, 47}};
  if (Kind == "pre-did-reset") return {{5, 11}};
  return {};
}

/// The length the module asks for, where it checks it ("": it never looks at it).
std::set<uint32_t> LengthsApart(const std::string &Kind) {
  if (Kind == "type") return {8};
  if (Kind == "feature-set") return {11};
  return {};
}

std::string ResponseText(const std::vector<uint8_t> &Bytes) {
  std::string Text = "\"";
  char Byte[4];
  for (size_t I = 0; I < Bytes.size(); I++) {
    std::snprintf(Byte, sizeof Byte, "%s%02x", I == 0 ? "" : " ", Bytes[I]);
    Text += Byte;
  }
  return Text + "\"";
}

void CheckAnswer(const Candidate &Best, const MessageExchange &X, Judge &J, std::vector<FieldFreedom> &Fields) {
  const std::string Of = AnswerName(X.Kind), Table = TableOf(X.Kind);
  Add(Fields,
      CheckStatus(
          Of, Table + ".result", static_cast<uint64_t>(X.Result),
          [&](uint64_t S) {
            return Probe(Best, {"", {{Table + ".result", StatusValue(S)}}});
          },
          J),
      J);
  if (EFI_ERROR(X.Result)) return;  // no response, no length

  Word Length{Of, Table + ".response_length", X.ResponseLength, {}, [&](uint32_t V) {
                return Probe(Best, {"", {{Table + ".response_length", std::to_string(V)}}});
              }};
  Add(Fields, CheckBits(Length, {"reported length", kAllOnes, LengthsApart(X.Kind), Shown::Decimal}, J), J);

  const std::vector<uint8_t> &Bytes = X.Response;
  auto WithBytes = [&](const std::vector<uint8_t> &Other) {
    return Probe(Best, {"", {{Table + ".response", ResponseText(Other)}}});
  };
  for (const AnswerBits &A : AnswerFields(X.Kind)) {
    // Only a field the answer covers: past its end the buffer keeps the module's request.
    const size_t Last = A.Offset + (31 - static_cast<size_t>(std::countl_zero(A.Field.Mask))) / 8;
    if (Last >= Bytes.size()) continue;
    uint32_t Value = 0;
    for (size_t I = 0; I < 4 && A.Offset + I < Bytes.size(); I++) Value |= uint32_t(Bytes[A.Offset + I]) << (8 * I);
    Word W{Of, Table + ".response", Value, {}, [&, Offset = A.Offset](uint32_t V) {
             std::vector<uint8_t> Other = Bytes;
             for (size_t I = 0; I < 4 && Offset + I < Other.size(); I++)
               Other[Offset + I] = static_cast<uint8_t>(V >> (8 * I));
             return WithBytes(Other);
           }};
    Add(Fields, CheckBits(W, A.Field, J), J);
  }
  for (const auto &[First, Last] : UnreadBytes(X.Kind)) {
    if (Last < Bytes.size()) Add(Fields, CheckBytes(Of, Table + ".response", Bytes, First, Last, WithBytes, J), J);
  }
}

/// The state a pre-DID reset the firmware accepted leads to, when the scenario reaches it.
void CheckResetState(const Candidate &Best, Judge &J, std::vector<FieldFreedom> &Fields) {
  bool Table = false;
  for (const auto &[Key, Value] : Best.Keys) Table = Table || Key.rfind("drux.pre_did_reset.", 0) == 0;
  const auto Accept = Best.Keys.find("drux.pre_did_reset.accept");
  if (Accept != Best.Keys.end() && Accept->second == "false") return;          // no reset starts
  if (Table && !Best.Keys.count("drux.pre_did_reset.state_after_ms")) return;  // the state never comes
  Word W{AnswerName("pre-did-reset"),
         "drux.pre_did_reset.state",
         KeyValue(Best, "drux.pre_did_reset.state", 5),
         {},
         [&](uint32_t V) {
           return Probe(Best, {"", {{"drux.pre_did_reset.state", std::to_string(V)}}});
         }};
  Add(Fields, CheckBits(W, {"the CurrentState the reset leads to", 0xF, {2, 4, 5}, Shown::Decimal}, J), J);
}

/// GetVornStatus: the word it reports and its status, when the module asked.
void CheckVornStatus(const Candidate &Best, const RunReport &Report, Judge &J, std::vector<FieldFreedom> &Fields) {
  bool Asked = Best.Keys.count("drux.vorn_status") || Best.Keys.count("drux.vorn_status_result");
  for (const MessageExchange &X : Report.Messages) Asked = Asked || X.Kind == "type";
  if (!Asked) return;
  const std::string Of = "the GetVornStatus answer";
  uint64_t Result = 0;
  if (const auto Found = Best.Keys.find("drux.vorn_status_result"); Found != Best.Keys.end()) {
    // A status name between quotes, as StatusValue writes it.
    Result = static_cast<uint64_t>(StatusFromName(Found->second.substr(1, Found->second.size() - 2)).value_or(0));
  }
  Add(Fields,
      CheckStatus(
          Of, "drux.vorn_status_result", Result,
          [&](uint64_t S) {
            return Probe(Best, {"", {{"drux.vorn_status_result", StatusValue(S)}}});
          },
          J),
      J);
  if (EFI_ERROR(Result)) return;  // no word reported
  Word W{Of, "drux.vorn_status", KeyValue(Best, "drux.vorn_status", 0), {}, [&](uint32_t V) {
           return Probe(Best, {"", {{"drux.vorn_status", std::to_string(V)}}});
         }};
  Add(Fields, CheckBits(W, {"the status word", kAllOnes, {0, 5}, Shown::Decimal}, J), J);
}

}  // namespace

std::vector<FieldFreedom> FieldsOf(Runner &R, size_t Total, const Candidate &Best, const Score &BestScore,
                                   const RunReport &Report) {
  Judge J(R, Total, BestScore);
  std::vector<FieldFreedom> Fields;
  CheckRegisters(Best, J, Fields);
  CheckVornStatus(Best, Report, J, Fields);
  std::set<std::string> Seen;
  for (const MessageExchange &X : Report.Messages) {
    if (AnswerFields(X.Kind).empty() || !Seen.insert(X.Kind).second) continue;
    CheckAnswer(Best, X, J, Fields);
    if (X.Kind == "pre-did-reset" && !EFI_ERROR(X.Result)) CheckResetState(Best, J, Fields);
  }
  return Fields;
}

}  // namespace search

}  // namespace quarn::emu::cli::explain
