// quarn-emu explain, field by field: what the story says the log pins or leaves free is
// checked against every value of the field (or, for a wide field, every value of a byte
// of it), run by run, independently of the cells the search tries.
#include <gtest/gtest.h>

#include <bit>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Emulator/Memory/Sanitizer.h"
#include "Tools/quarn-emu/Explain/Explain.h"
#include "Tools/quarn-emu/Explain/SearchParts.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

using namespace quarn::emu;
using namespace quarn::emu::cli;
using namespace quarn::emu::cli::explain;

namespace {

/// Where a field lies: the word of a register (Offset unused) or of an answer (its byte
/// offset), and its bits.
struct Place {
  size_t Offset;
  uint32_t Mask;
};

/// The places of the fields the story names, by field name (the same in every register
/// and answer where a name recurs with another place, the kind tells them apart).
std::optional<Place> PlaceOf(const FieldFreedom &F) {
  struct Entry {
    const char *Of, *Field;
    Place Where;
  };
  static const Entry kPlaces[] = {
      {"VORNFS1", "CurrentState (bits 3:0)", {0, 0xF}},
      {"VORNFS1", "FlowMode (bits 19:16)", {0, 0xF0000}},
      {"VORNFS1", "ResetCounter (bits 23:20)", {0, 0xF00000}},
      {"VORNFS1", "bits 31:24 and 15:4", {0, 0xFF00FFF0}},
      {"VORNFS2", "RecoveryCause (bits 10:8)", {0, 0x700}},
      {"VORNFS2", "bits 31:11 and 7:0", {0, 0xFFFFF8FF}},
      {"DWRSTS", "DWR flow (bit 15)", {0, 0x8000}},
      {"DWRSTS", "bits 31:16 and 14:0", {0, 0xFFFF7FFF}},
      {"function", "the whole register", {0, 0xFFFFFFFF}},
      {"the type answer", "header IsResponse (bit 15)", {0, 0x8000}},
      {"the type answer", "header GroupId (bits 7:0)", {0, 0xFF}},
      {"the type answer", "header Command (bits 14:8)", {0, 0x7F00}},
      {"the type answer", "header bits 31:16", {0, 0xFFFF0000}},
      {"the type answer", "FwType (type word bits 2:0)", {4, 0x7}},
      {"the type answer", "FwSubType (type word bits 10:3)", {4, 0x7F8}},
      {"the type answer", "type word bits 31:11", {4, 0xFFFFF800}},
      {"the feature-set answer", "byte 0 (the command)", {0, 0xFF}},
      {"the feature-set answer", "bytes 1 and 2", {0, 0xFFFF00}},
      {"the feature-set answer", "FeatureSet bit 2 (CloxSupported)", {3, 0x4}},
      {"the feature-set answer", "FeatureSet bits 7:3 and 1:0", {3, 0xFB}},
      {"the feature-set answer", "FeatureSet bits 31:8", {3, 0xFFFFFF00}},
      {"the feature-set answer", "FeatureSet2", {7, 0xFFFFFFFF}},
      {"the watchdog answer", "byte 0 (the command)", {0, 0xFF}},
      {"the watchdog answer", "byte 1 (the status)", {0, 0xFF00}},
      {"the clock answer", "CloxCommand (bytes 4 to 7)", {4, 0xFFFFFFFF}},
      {"the clock answer", "CloxResponse (bytes 8 to 11)", {8, 0xFFFFFFFF}},
      {"the pre-DID reset answer", "header GroupId (bits 7:0)", {0, 0xFF}},
      {"the pre-DID reset answer", "header Command (bits 14:8)", {0, 0x7F00}},
      {"the pre-DID reset answer", "header IsResponse (bit 15)", {0, 0x8000}},
      {"the pre-DID reset answer", "header bits 31:16", {0, 0xFFFF0000}},
      {"the pre-DID reset answer", "byte 4", {4, 0xFF}},
      {"the pre-DID reset answer", "the CurrentState the reset leads to", {0, 0xF}},
      {"the GetVornStatus answer", "the status word", {0, 0xFFFFFFFF}},
      {"", "reported length", {0, 0xFFFFFFFF}},
  };
  for (const Entry &E : kPlaces) {
    if (F.Of.rfind(E.Of, 0) == 0 && F.Field == E.Field) return E.Where;
  }
  return std::nullopt;
}

/// The scenario table of an answer.
std::string TableOfAnswer(const std::string &Of) {
  if (Of == "the type answer") return "drux.type";
  if (Of == "the feature-set answer") return "drux.feature_set";
  if (Of == "the watchdog answer") return "drux.watchdog";
  if (Of == "the clock answer") return "drux.clock";
  if (Of == "the pre-DID reset answer") return "drux.pre_did_reset";
  return "";
}

/// Tries fields of one explanation with every value (or, for fields wider than a byte,
/// the values of their lowest byte, the rest as they are) and compares with the claims.
class Trial {
 public:
  explicit Trial(const Explanation &E) : E_(E), R_(E.Log), Best_(R_.ScoreOf(E.Search.Best)) {}

  /// TRUE when C prints the log's lines as the scenario found does.
  bool Same(const Candidate &C) {
    const search::Score S = R_.ScoreOf(C);
    return S.Matched == Best_.Matched && S.Offset == Best_.Offset && (S.Exact || !Best_.Exact);
  }

  /// Best with Key = Value; a [drux.pre_did_reset] table of its own keeps the model's times.
  Candidate With(const std::string &Key, const std::string &Value) {
    Candidate C = E_.Search.Best;
    bool Table = false;
    for (const auto &[K, V] : C.Keys) Table = Table || K.rfind("drux.pre_did_reset.", 0) == 0;
    if (!Table && Key.rfind("drux.pre_did_reset.", 0) == 0) {
      C.Keys["drux.pre_did_reset.counter_after_ms"] = "20";
      C.Keys["drux.pre_did_reset.state_after_ms"] = "100";
    }
    C.Keys[Key] = Value;
    return C;
  }

  /// The candidate with the field F's word replaced by Word.
  std::optional<Candidate> WithWord(const FieldFreedom &F, const Place &P, uint32_t Word) {
    if (F.Key == "vorn.at") return std::nullopt;
    if (F.Key.rfind("vorn.", 0) == 0 || F.Key == "drux.vorn_status") return With(F.Key, search::Hex8(Word));
    if (F.Key == "drux.pre_did_reset.state") return With(F.Key, std::to_string(Word & 0xF));
    const std::string Table = TableOfAnswer(F.Of);
    if (F.Field == "reported length") return With(Table + ".response_length", std::to_string(Word));
    const MessageExchange *X = Exchange(F.Of);
    if (X == nullptr) return std::nullopt;
    std::vector<uint8_t> Bytes = X->Response;
    std::string Text = "\"";
    for (size_t I = 0; I < 4 && P.Offset + I < Bytes.size(); I++) Bytes[P.Offset + I] = uint8_t(Word >> (8 * I));
    char Byte[4];
    for (size_t I = 0; I < Bytes.size(); I++) {
      std::snprintf(Byte, sizeof Byte, "%s%02x", I ? " " : "", Bytes[I]);
      Text += Byte;
    }
    return With(Table + ".response", Text + "\"");
  }

  /// The word the field lies in, in the scenario.
  std::optional<uint32_t> WordOf(const FieldFreedom &F, const Place &P) {
    auto Key = [&](const std::string &K, uint32_t Default) {
      const auto Found = E_.Search.Best.Keys.find(K);
      return Found == E_.Search.Best.Keys.end() ? Default : static_cast<uint32_t>(*search::Number(Found->second));
    };
    if (F.Key == "vorn.fs1") return Key(F.Key, 5);
    if (F.Key == "drux.pre_did_reset.state") return Key(F.Key, 5);
    if (F.Key.rfind("vorn.", 0) == 0 && F.Key != "vorn.at" && F.Key != "vorn.present") return Key(F.Key, 0);
    if (F.Key == "drux.vorn_status") return Key(F.Key, 0);
    const MessageExchange *X = Exchange(F.Of);
    if (X == nullptr) return std::nullopt;
    if (F.Field == "reported length") return X->ResponseLength;
    uint32_t Word = 0;
    for (size_t I = 0; I < 4 && P.Offset + I < X->Response.size(); I++)
      Word |= uint32_t(X->Response[P.Offset + I]) << (8 * I);
    return Word;
  }

  /// The values of the field (shifted down) that print the same lines: all of a field of
  /// at most Bits bits, else of its lowest Bits bits (nullopt: the field is not tried here).
  std::optional<std::set<uint32_t>> Alike(const FieldFreedom &F, unsigned Bits) {
    const std::optional<Place> P = PlaceOf(F);
    if (!P) return std::nullopt;
    const std::optional<uint32_t> Word = WordOf(F, *P);
    if (!Word) return std::nullopt;
    const unsigned Shift = std::countr_zero(P->Mask);
    const uint32_t Top = P->Mask >> Shift;
    if ((Top & (Top + 1)) != 0) return std::nullopt;  // bits not side by side: not tried here
    const uint32_t Last = std::min<uint32_t>(Top, (1u << Bits) - 1);
    std::set<uint32_t> Values;
    for (uint32_t V = 0; V <= Last; V++) {
      const std::optional<Candidate> C = WithWord(F, *P, (*Word & ~P->Mask) | ((V << Shift) & P->Mask));
      if (!C) return std::nullopt;
      if (Same(*C)) Values.insert(V);
    }
    return Values;
  }

  const MessageExchange *Exchange(const std::string &Of) {
    for (const MessageExchange &X : E_.Search.Report.Messages) {
      if (AnswerName(X.Kind) == Of) return &X;
    }
    return nullptr;
  }

  size_t Runs() const { return R_.Runs; }

 private:
  const Explanation &E_;
  search::Runner R_;
  search::Score Best_;
};

/// The numbers a claim names ("0 to 6 or 8 to 15", "any value but 0xF0", "5"), as a set
/// over 0..Top; nullopt for a claim of another form.
std::optional<std::set<uint32_t>> ClaimedSet(const FieldFreedom &F, uint32_t Top, uint32_t Value) {
  if (F.Pinned) return std::set<uint32_t>{Value};
  std::string Text = F.Free;
  std::set<uint32_t> All;
  for (uint32_t V = 0; V <= Top; V++) All.insert(V);
  if (Text.rfind("any value (0 to ", 0) == 0 || Text == "any value") return All;
  bool But = false;
  if (Text.rfind("any value but ", 0) == 0) {
    But = true;
    Text = Text.substr(14);
  }
  std::set<uint32_t> Named;
  // "a, b or c to d": items split at ", " and " or ".
  for (size_t Position = 0; Position < Text.size();) {
    size_t End = std::min(Text.find(", ", Position), Text.find(" or ", Position));
    if (End == std::string::npos) End = Text.size();
    const std::string Item = Text.substr(Position, End - Position);
    const size_t To = Item.find(" to ");
    try {
      const uint32_t First = std::stoul(Item.substr(0, To), nullptr, 0);
      const uint32_t Last = To == std::string::npos ? First : std::stoul(Item.substr(To + 4), nullptr, 0);
      for (uint32_t V = First; V <= Last; V++) Named.insert(V);
    } catch (...) {
      return std::nullopt;
    }
    Position = End == Text.size() ? End : End + (Text.compare(End, 2, ", ") == 0 ? 2 : 4);
  }
  if (!But) return Named;
  for (uint32_t V : Named) All.erase(V);
  return All;
}

/// TRUE when the claim about a status field F takes in Status.
bool ClaimTakes(const FieldFreedom &F, uint64_t Status) {
  const std::string Name = StatusName(static_cast<EFI_STATUS>(Status));
  if (F.Pinned) return Name == F.Value;
  const bool Error = (Status & 0x80000000) != 0, Warning = Status != 0 && !Error;
  std::vector<std::string> Items;
  std::string Text = F.Free;
  for (size_t Position = 0; Position <= Text.size();) {
    size_t End = std::min(Text.find(", ", Position), Text.find(" or ", Position));
    if (End == std::string::npos) End = Text.size();
    Items.push_back(Text.substr(Position, End - Position));
    Position = End == Text.size() ? End + 1 : End + (Text.compare(End, 2, ", ") == 0 ? 2 : 4);
  }
  for (const std::string &Item : Items) {
    if (Item == "any status" || Item == Name || (Item == "any warning status" && Warning) ||
        (Item == "any error status" && Error)) {
      return true;
    }
  }
  return false;
}

/// Checks the status fields of E against a few statuses of each kind.
size_t CheckStatuses(const Explanation &E, const std::string &Name) {
  Trial T(E);
  size_t Checked = 0;
  for (const FieldFreedom &F : E.Search.Fields) {
    if (F.Field != "result") continue;
    for (uint64_t Status :
         {0x0ull, 0x1ull, 0x4ull, 0x5ull, 0x80000002ull, 0x80000003ull, 0x80000007ull, 0x8000000Eull, 0x80000012ull}) {
      const bool Same = T.Same(T.With(F.Key, "\"" + StatusName(static_cast<EFI_STATUS>(Status)) + "\""));
      EXPECT_EQ(Same, ClaimTakes(F, Status))
          << Name << ": " << F.Of << ", result " << F.Value << ": " << (F.Pinned ? "pinned" : F.Free) << "; tried "
          << StatusName(static_cast<EFI_STATUS>(Status));
    }
    Checked++;
  }
  return Checked;
}

/// Checks every field of E of at most Bits bits (wider ones: their lowest Bits bits, when
/// the claim is of a form that says something about them); answers the fields checked.
size_t CheckFields(const Explanation &E, unsigned Bits, const std::string &Name, unsigned WideBits = 0,
                   const std::string &Only = "") {
  Trial T(E);
  size_t Checked = 0;
  for (const FieldFreedom &F : E.Search.Fields) {
    if (!Only.empty() && F.Of + ", " + F.Field != Only) continue;
    EXPECT_TRUE(F.Tried) << Name << ": " << F.Of << ", " << F.Field;
    const std::optional<Place> P = PlaceOf(F);
    if (!P) continue;
    const unsigned Width = std::popcount(P->Mask);
    if (Width > Bits && WideBits == 0) continue;
    const unsigned Tried = Width > Bits ? WideBits : Bits;
    const uint32_t Value = static_cast<uint32_t>(std::stoul(F.Value, nullptr, 0));
    if (Width > Tried && (Value >> Tried) != 0) continue;  // the value lies outside the bits tried
    const std::optional<std::set<uint32_t>> Actual = T.Alike(F, Tried);
    if (!Actual) continue;
    const uint32_t Top = Width >= Tried ? (1u << Tried) - 1 : (P->Mask >> std::countr_zero(P->Mask));
    std::optional<std::set<uint32_t>> Claimed = ClaimedSet(F, Top, Value);
    if (!Claimed) continue;
    std::set<uint32_t> InRange;
    for (uint32_t V : *Claimed) {
      if (V <= Top) InRange.insert(V);
    }
    EXPECT_EQ(InRange, *Actual) << Name << ": " << F.Of << ", " << F.Field << " " << F.Value << ": "
                                << (F.Pinned ? "pinned" : F.Free);
    Checked++;
  }
  return Checked;
}

}  // namespace

/// The sanitizer build runs every emulated boot many times slower.
constexpr bool kSanitized = quarn::emu::kSanitizedBuild;

TEST(ExplainFields, EveryValueOfASmallFieldPrintsWhatTheStorySays) {
  // The default boot: every field of at most four bits tried with all its values, the
  // wider ones with the eight values of their lowest three bits, each status field with
  // statuses of every kind.
  // What the story claims does not depend on the build: the sanitizer build leaves it out.
  if (kSanitized) GTEST_SKIP() << "the plain build checks what the story claims";
  const std::string Console = RunScenario(ResolveScenario("default"), false).Console;
  const Explanation E = Explain(Console, "explained");
  ASSERT_TRUE(E.Search.Reproduced);
  EXPECT_EQ(CheckFields(E, 4, "default", 3), 27u);
  EXPECT_EQ(CheckStatuses(E, "default"), 6u);

  // An answer that failed with EFI_DEVICE_ERROR: its own kind is tried with another error.
  const std::string Failed =
      RunScenario(LoadScenarioText("[drux.clock]\nresult = \"EFI_DEVICE_ERROR\"\n", "failed.toml"), false).Console;
  const Explanation F = Explain(Failed, "explained");
  ASSERT_TRUE(F.Search.Reproduced);
  EXPECT_EQ(CheckStatuses(F, "clock EFI_DEVICE_ERROR"), 4u);
}

TEST(ExplainFields, Explore) {
  // Every built-in scenario, at three console levels: every field of at most 8 bits, and
  // the lowest byte of the wider ones. QUARN_EXPLAIN_EXPLORE=1 only (it takes minutes).
  if (std::getenv("QUARN_EXPLAIN_EXPLORE") == nullptr) GTEST_SKIP();
  size_t Logs = 0, Fields = 0;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) {
    for (uint32_t Level : {0x80000042u, 0x80000002u, 0x80000000u, 0x40u}) {
      LoadedScenario Loaded = ResolveScenario(Builtin.Name);
      Loaded.Settings.CmosErrorLevel = Level;
      const std::string Console = RunScenario(Loaded, false).Console;
      const Explanation E = Explain(Console, "explained");
      if (!E.Search.Reproduced) continue;
      Fields += CheckFields(E, 8, Builtin.Name + " level " + search::Hex8(Level), 3);
      Fields += CheckStatuses(E, Builtin.Name + " level " + search::Hex8(Level));
      Logs++;
    }
  }
  std::printf("explain fields: %zu logs, %zu fields tried with every value\n", Logs, Fields);
}
