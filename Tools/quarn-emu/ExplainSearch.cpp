#include "ExplainSearch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <set>
#include <unordered_map>

#include "Runner.h"
#include "ScenarioLoader.h"

namespace quarn::emu::cli::explain {

namespace {

// --- scenario text -------------------------------------------------------------------

/// The tables of a scenario file in the order they are written.
constexpr const char *kTables[] = {"",      "boot",       "cpu",           "cmos",          "policy",
                                   "vorn",  "drux",       "drux.type",     "drux.feature_set", "drux.watchdog",
                                   "drux.clock", "drux.pre_did_reset", "pei", "pei.vorn_type_hob", "fault"};

std::string TableOf(const std::string &Key) {
  const size_t Dot = Key.rfind('.');
  return Dot == std::string::npos ? std::string() : Key.substr(0, Dot);
}

std::string Hex8(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%08llX", static_cast<unsigned long long>(Value));
  return Text;
}

std::string Quoted(const std::string &Text) { return "\"" + Text + "\""; }

/// The EFI_ name of a status as a TOML string.
std::string StatusValue(uint64_t Status) { return Quoted(StatusName(static_cast<EFI_STATUS>(Status))); }

std::optional<uint64_t> Number(const std::string &Value) {
  if (Value.empty() || !std::isdigit(static_cast<unsigned char>(Value[0]))) return std::nullopt;
  return std::stoull(Value, nullptr, 0);
}

}  // namespace

std::string ScenarioText(const Candidate &C, const std::string &Name, const std::string &Description,
                         const std::string &Expect) {
  std::string Text = "name = " + Quoted(Name) + "\n";
  if (!Description.empty()) Text += "description = " + Quoted(Description) + "\n";
  for (const char *Table : kTables) {
    std::string Body;
    for (const auto &[Key, Value] : C.Keys) {
      if (Key == "vorn.at" || Value.empty() || TableOf(Key) != Table || std::string(Table).empty()) continue;
      Body += Key.substr(std::string(Table).size() + 1) + " = " + Value + "\n";
    }
    const bool Any = !Body.empty() || (std::string(Table) == "vorn" && C.Keys.count("vorn.at"));
    if (!Any) continue;
    if (!Body.empty()) Text += "\n[" + std::string(Table) + "]\n" + Body;
    if (std::string(Table) == "vorn" && C.Keys.count("vorn.at") && !C.Keys.at("vorn.at").empty()) {
      Text += "\n" + C.Keys.at("vorn.at");
    }
  }
  if (!Expect.empty()) Text += "\n[expect]\n" + Expect;
  return Text;
}

namespace {

// --- runs -----------------------------------------------------------------------------

struct Outcome {
  bool Usable = false;                // the scenario loaded and ran
  std::vector<std::string> Lines;
  std::shared_ptr<RunReport> Report;
};

/// How far a run agrees with the log.
struct Score {
  long Matched = -1;                  // -1: the scenario could not be run
  bool Exact = false;
  size_t Offset = 0;
  bool operator>(const Score &O) const { return Matched > O.Matched || (Matched == O.Matched && Exact && !O.Exact); }
};

class Runner {
 public:
  explicit Runner(const ParsedLog &Log) : Log_(Log) {}

  const Outcome &Run(const Candidate &C) {
    const std::string Text = ScenarioText(C, "explained", "", "");
    auto Found = Cache_.find(Text);
    if (Found != Cache_.end()) return Found->second;
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

  Score ScoreOf(const Candidate &C) {
    const Outcome &O = Run(C);
    Score S;
    if (!O.Usable) return S;
    const auto &Lines = Log_.Module;
    auto Count = [&](size_t Offset) {
      long N = 0;
      while (static_cast<size_t>(N) < Lines.size() && Offset + N < O.Lines.size() && LinesAgree(Lines[N], O.Lines[Offset + N])) N++;
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

  size_t Runs = 0;

 private:
  const ParsedLog &Log_;
  std::unordered_map<std::string, Outcome> Cache_;
};

// --- what the lines fix -----------------------------------------------------------------

const LineMatch *MatchOf(const LogLine &L) { return L.Match ? &*L.Match : nullptr; }

std::string IdOf(const LogLine &L) { return L.Match ? L.Match->Pattern->Id : std::string(); }

uint64_t FieldNumber(const LogLine &L, size_t Field) {
  const LineMatch *M = MatchOf(L);
  return M && Field < M->Fields.size() && M->Fields[Field].Number ? *M->Fields[Field].Number : 0;
}

/// What an assertion's place tells (each of these files checks one thing that can fail).
void SeedFromAssert(const std::string &File, const std::string &Check, const ParsedLog &Log,
                    std::map<std::string, std::string> &K) {
  auto Set = [&](const std::string &Key, const std::string &Value) {
    if (!K.count(Key)) K[Key] = Value;
  };
  if (File == "Pei/QuarnPeiPreMem/QuarnPeiPreMem") {
    // The watchdog request failed.
    Set("policy.bios_update_watchdog", "true");
    Set("drux.watchdog.result", "\"EFI_DEVICE_ERROR\"");
  } else if (File == "Library/VornGetPeiConfigBlock/VornGetPeiConfigBlock") {
    bool NoBlock = false;
    for (const LogLine &L : Log.Module) NoBlock = NoBlock || (L.Match && L.Match->Pattern->Id == "no-config-block");
    Set(NoBlock ? "policy.block" : "policy.installed", "false");
  } else if (File == "Library/VornTypeGetLib/VornTypePeiDruxLib") {
    Set("drux.installed", "false");
  } else if (File == "Library/PeiHobLib/HobLib") {
    Set("pei.hob_space", "360");
  } else if (File == "Library/CpuAndRevisionLib/CpuAndRevisionLib" && Check == "CpuAndRevision != ((void *) 0)") {
    Set("pei.pool_space", "0");
  }
}

/// Sets the keys each line fixes, in the order of the lines.
Candidate Seed(const ParsedLog &Log) {
  Candidate C;
  auto &K = C.Keys;
  uint32_t Levels = 0;
  bool SeenFs = false, SeenWait = false, PreDid = false, TypeAsked = false, SeenReload = false, SeenSync = false;
  bool SeenMigration = false;
  std::vector<bool> Queries;   // each type query: did its status line follow
  auto State = [&](uint64_t S) {
    const uint64_t Fs1 = K.count("vorn.fs1") ? *Number(K["vorn.fs1"]) : 5;
    K["vorn.fs1"] = Hex8((Fs1 & ~0xFull) | (S & 0xF));
  };
  for (const LogLine &L : Log.Module) {
    if (!L.Match) continue;
    const Level Severity = L.Match->Pattern->Of->Severity;
    if (Severity != Level::Assert) Levels |= static_cast<uint32_t>(Severity);
    const std::string Id = IdOf(L);
    if (Id == "assert" && L.Match->Fields[0].Text == "Library/CpuAndRevisionLib/CpuAndRevisionLib" &&
        L.Match->Fields[2].Text == "((BOOLEAN)(0==1))" && !K.count("cpu.signature")) {
      K["cpu.signature"] = "0x000906EA";
    }
    if (Id == "assert") SeedFromAssert(L.Match->Fields[0].Text, L.Match->Fields[2].Text, Log, K);
    if (Id == "unknown-cpu") K["cpu.signature"] = Hex8(FieldNumber(L, 0) << 4);
    else if (Id == "dwr") K["vorn.dwrsts"] = "0x00008000";
    else if (Id == "drux-disabled") K["vorn.present"] = "false";
    else if (Id == "lumo" && !SeenFs) K["vorn.fs1"] = "0x00070005";
    else if (Id == "type-start") {
      TypeAsked = true;
      Queries.push_back(false);
    } else if (Id == "type-status" && !Queries.empty()) Queries.back() = true;
    else if (Id == "drux-missing") K["drux.installed"] = "false";
    else if (Id == "type-wrong-length") K["drux.type.response_length"] = std::to_string(FieldNumber(L, 0));
    else if (Id == "type-ok") {
      K["drux.type.fw_type"] = std::to_string(FieldNumber(L, 0));
      K["drux.type.fw_sub_type"] = std::to_string(FieldNumber(L, 1));
    } else if (Id == "type-status" && FieldNumber(L, 0) != 0) {
      K["drux.type.result"] = StatusValue(FieldNumber(L, 0));
    } else if (Id == "type-from-hob" && !TypeAsked && !K.count("pei.vorn_type_hob.vorn_type") && !K.count("vorn.dwrsts") &&
               !K.count("vorn.present")) {
      // A type nobody asked for: disabled (255) without asking when CurrentState is 4,
      // else a type HOB an earlier module left.
      if (FieldNumber(L, 0) == 255) State(4);
      else K["pei.vorn_type_hob.vorn_type"] = std::to_string(FieldNumber(L, 0));
    } else if ((Id == "type-not-recognized" || Id == "non-quarn#2") && !SeenFs) {
      SeenFs = true;
      if (!K.count("vorn.present")) {
        K["vorn.fs1"] = Hex8(FieldNumber(L, 0));
        K["vorn.fs2"] = Hex8(FieldNumber(L, 1));
      }
    } else if (Id == "boot-mode") K["boot.get_boot_mode_status"] = StatusValue(FieldNumber(L, 0));
    else if (Id == "no-config-block") K["policy.block"] = "false";
    else if (Id == "pre-did-execution") K["policy.pre_did_reset"] = "true";
    else if (Id == "wait-state-reached") {
      if (!PreDid && !SeenWait) State(FieldNumber(L, 0));
      if (PreDid && FieldNumber(L, 0) != 5) {
        K["drux.pre_did_reset.counter_after_ms"] = "20";
        K["drux.pre_did_reset.state_after_ms"] = "100";
        K["drux.pre_did_reset.state"] = std::to_string(FieldNumber(L, 0));
      }
      SeenWait = true;
    } else if (Id == "wait-state-timeout") {
      if (!PreDid) State(1);
      else K["drux.pre_did_reset.counter_after_ms"] = "20";
      SeenWait = true;
    } else if (Id == "recovery") {
      State(2);
      K["vorn.fs2"] = Hex8(FieldNumber(L, 0) << 8);
    } else if (Id == "pre-did-execute") PreDid = true;
    else if (Id == "counter-timeout") K["drux.pre_did_reset.accept"] = "true";
    else if (Id == "pre-did-no-ack") K["drux.pre_did_reset.result"] = StatusValue(FieldNumber(L, 0));
    else if (Id == "pre-did-not-accepted") {
      K["drux.pre_did_reset.accept"] = "false";
      if (FieldNumber(L, 0) != 0) K["drux.pre_did_reset.result"] = StatusValue(FieldNumber(L, 0));
    } else if (Id == "wd-sending") K["policy.bios_update_watchdog"] = "true";
    else if (Id == "wd-cannot-send") K["drux.watchdog.result"] = StatusValue(FieldNumber(L, 0));
    else if (Id == "wd-response-failed") K["drux.watchdog.response"] = "\"00 00\"";
    else if (Id == "wd-failed") K["drux.watchdog.status"] = std::to_string(FieldNumber(L, 0));
    else if (Id == "fs-comm") K["drux.feature_set.result"] = StatusValue(FieldNumber(L, 0));
    else if (Id == "fs-invalid") {
      const uint64_t Word = FieldNumber(L, 0);
      char Bytes[32];
      std::snprintf(Bytes, sizeof Bytes, "\"%02x %02x %02x %02x\"", unsigned(Word & 0xFF), unsigned((Word >> 8) & 0xFF),
                    unsigned((Word >> 16) & 0xFF), unsigned((Word >> 24) & 0xFF));
      K["drux.feature_set.response"] = Bytes;
      K["drux.feature_set.response_length"] = std::to_string(FieldNumber(L, 1));
    } else if (Id == "clox-supported" && FieldNumber(L, 0) == 0 && !K.count("drux.feature_set.result") &&
               !K.count("drux.feature_set.response")) {
      K["drux.feature_set.feature_set"] = "0";
    } else if (Id == "ssc" && FieldNumber(L, 0) == 1) K["policy.ssc_alternate"] = "true";
    else if (Id == "clock-wrong") K["drux.clock.clox_response"] = Hex8(FieldNumber(L, 0));
    else if (Id == "clock-exit") {
      const uint64_t Status = FieldNumber(L, 0);
      if (Status != 0 && Status != 0x80000003 && Status != 0x80000007) K["drux.clock.result"] = StatusValue(Status);
    } else if (Id == "reload-mm7") SeenReload = true;
    else if (Id == "migration") SeenMigration = true;
    else if (Id == "sync-mm7") SeenSync = true;
  }
  // Keys at their default values are left out: the simplest scenario names only what differs.
  static const std::map<std::string, std::string> kDefaults = {
      {"vorn.fs1", "0x00000005"},         {"vorn.fs2", "0x00000000"},      {"drux.type.fw_type", "1"},
      {"drux.type.fw_sub_type", "0"},     {"drux.watchdog.status", "0"},   {"drux.clock.clox_response", "0x00000000"},
      {"policy.pre_did_reset", "false"},  {"policy.ssc_alternate", "false"}, {"drux.type.result", "\"EFI_SUCCESS\""}};
  for (const auto &[Key, Value] : kDefaults) {
    if (K.count(Key) && K[Key] == Value) K.erase(Key);
  }
  if (Levels != 0x80000042) K["cmos.error_level"] = Hex8(Levels);
  // A type query that ended before its status line: the firmware status could not be
  // read. Every time: the status read fails; only some times: those reads fail.
  if (Levels & static_cast<uint32_t>(Level::Info)) {
    const size_t Failed = std::count(Queries.begin(), Queries.end(), false);
    if (Failed == Queries.size() && Failed > 0) {
      K["drux.vorn_status_result"] = "\"EFI_DEVICE_ERROR\"";
    } else if (Failed == 1) {
      K["fault.call"] = "\"GetVornStatus\"";
      const size_t Nth = std::find(Queries.begin(), Queries.end(), false) - Queries.begin() + 1;
      if (Nth > 1) K["fault.nth"] = std::to_string(Nth);
    }
  }
  if (Levels & static_cast<uint32_t>(Level::Info)) {
    if (!SeenReload) K["pei.memory_discovered"] = "false";
    else if (!SeenSync) K["pei.mp_services"] = "\"never\"";
    if (SeenReload && !SeenMigration) K["pei.pool_space"] = "0";
  }
  return C;
}

// --- the changes the search may make ------------------------------------------------

struct Move {
  std::string Group;
  std::vector<std::pair<std::string, std::string>> Set;   // value "": back to the default
};

Candidate Apply(const Candidate &C, const Move &M) {
  Candidate Next = C;
  for (const auto &[Key, Value] : M.Set) {
    if (Value.empty()) Next.Keys.erase(Key);
    else Next.Keys[Key] = Value;
  }
  return Next;
}

/// Numbers and statuses the log prints: the values a change may try.
struct Harvest {
  std::set<uint64_t> Decimals, Hex, Statuses;
};

Harvest HarvestOf(const ParsedLog &Log) {
  Harvest H;
  for (const LogLine &L : Log.Module) {
    if (!L.Match || L.Match->Pattern->Of->AddressFields != 0) continue;
    size_t Field = 0;
    for (const Piece &P : L.Match->Pattern->Pieces) {
      if (!P.IsField) continue;
      const FieldValue &V = L.Match->Fields[Field++];
      if (!V.Number) continue;
      if (P.Kind == FieldKind::Decimal) H.Decimals.insert(*V.Number);
      else if (P.Kind == FieldKind::Status) H.Statuses.insert(*V.Number);
      else H.Hex.insert(*V.Number);
    }
  }
  return H;
}

constexpr const char *kFailableCalls[] = {"InstallPpi",   "LocatePpi",        "NotifyPpi",   "GetBootMode",
                                          "GetHobList",   "CreateHob",        "AllocatePool", "ReportStatusCode",
                                          "SendWithAck",  "GetVornStatus",    "StartupAllAPs"};

std::vector<Move> MovesFor(const Candidate &C, const Harvest &H) {
  std::vector<Move> M;
  std::set<std::pair<std::string, std::string>> Offered;
  auto One = [&](const std::string &Group, const std::string &Key, const std::string &Value) {
    const auto Found = C.Keys.find(Key);
    const std::string Current = Found == C.Keys.end() ? std::string() : Found->second;
    if (Current != Value && Offered.insert({Key, Value}).second) M.push_back({Group, {{Key, Value}}});
  };
  auto Bool = [&](const std::string &Group, const std::string &Key) {
    One(Group, Key, "true");
    One(Group, Key, "false");
    One(Group, Key, "");
  };
  std::set<uint64_t> Errors = {0x80000007, 0x80000012};
  std::set<uint64_t> Results = {0x80000007, 0x80000012, 0x5};
  for (uint64_t S : H.Statuses) {
    Results.insert(S);
    if (S & 0x80000000) Errors.insert(S);
  }
  auto StatusKey = [&](const std::string &Group, const std::string &Key, const std::set<uint64_t> &Values) {
    One(Group, Key, "");
    for (uint64_t S : Values) One(Group, Key, StatusValue(S));
  };

  // The console level
  for (uint32_t Level : {0x80000042u, 0x80000040u, 0x80000002u, 0x80000000u, 0x42u, 0x40u, 0x2u, 0u}) {
    One("level", "cmos.error_level", Level == 0x80000042u ? "" : Hex8(Level));
  }
  // The processor
  One("cpu", "cpu.signature", "");
  One("cpu", "cpu.signature", "0x000906EA");   // a processor the CPU table does not know
  for (uint64_t V : H.Hex) {
    if (V <= 0xFFFF) {
      One("cpu", "cpu.signature", Hex8(V << 4));
      One("cpu", "cpu.signature", Hex8((V << 4) | 0xF));
    }
  }
  // Boot mode and policy
  One("boot", "boot.mode", "");
  One("boot", "boot.mode", "0x11");
  StatusKey("boot", "boot.get_boot_mode_status", Errors);
  Bool("boot", "boot.mode_written_on_error");
  for (const char *Key : {"policy.installed", "policy.block", "policy.pre_did_reset", "policy.ssc_alternate",
                          "policy.bios_update_watchdog"}) {
    Bool("policy", Key);
  }
  // The VORN registers
  const uint64_t Fs1 = C.Keys.count("vorn.fs1") ? Number(C.Keys.at("vorn.fs1")).value_or(5) : 5;
  for (uint64_t State = 0; State < 6; State++) One("vorn", "vorn.fs1", Hex8((Fs1 & ~0xFull) | State));
  One("vorn", "vorn.fs1", Hex8((Fs1 & ~0xF0000ull) | 0x70000));
  One("vorn", "vorn.fs1", Hex8(Fs1 & ~0xF0000ull));
  for (uint64_t V : H.Hex) {
    One("vorn", "vorn.fs1", Hex8(V));
    One("vorn", "vorn.fs2", Hex8(V));
  }
  One("vorn", "vorn.fs2", "");
  One("vorn", "vorn.fs2", "0x00000400");
  Bool("vorn", "vorn.present");
  One("vorn", "vorn.dwrsts", "");
  One("vorn", "vorn.dwrsts", "0x00008000");
  // Register changes in virtual time
  One("at", "vorn.at", "");
  // The log has no times: a change may have to fall between two reads a few lines apart.
  for (uint64_t Ms : {5u, 10u, 20u, 30u, 50u, 100u, 200u, 500u, 1000u, 2000u, 3000u, 5000u}) {
    for (uint64_t State : {2u, 5u}) {
      One("at", "vorn.at", "[[vorn.at]]\nms = " + std::to_string(Ms) + "\nfs1 = " + Hex8((Fs1 & ~0xFull) | State) + "\n");
    }
    for (uint64_t V : H.Hex) {
      One("at", "vorn.at", "[[vorn.at]]\nms = " + std::to_string(Ms) + "\nfs1 = " + Hex8(V) + "\n");
      One("at", "vorn.at", "[[vorn.at]]\nms = " + std::to_string(Ms) + "\nfs2 = " + Hex8(V) + "\n");
    }
  }
  // DRUX_PPI and the type query
  Bool("drux", "drux.installed");
  // A message PPI installed unusable: its pointer or one of its entries NULL.
  for (const char *Key : {"drux.null_ppi", "drux.null_send_with_ack", "drux.null_get_vorn_status"}) Bool("drux", Key);
  One("drux", "drux.vorn_status", "");
  One("drux", "drux.vorn_status", "1");
  StatusKey("drux", "drux.vorn_status_result", Errors);
  for (int Type = 0; Type < 8; Type++) One("type", "drux.type.fw_type", std::to_string(Type));
  One("type", "drux.type.fw_sub_type", "");
  One("type", "drux.type.fw_sub_type", "3");
  for (uint64_t V : H.Decimals) {
    if (V <= 0xFF) One("type", "drux.type.fw_sub_type", std::to_string(V));
  }
  StatusKey("type", "drux.type.result", Results);
  One("type", "drux.type.response", "");
  One("type", "drux.type.response", "\"00 00 00 00 00 00 00 00\"");
  One("type", "drux.type.response_length", "");
  for (uint64_t V : H.Decimals) One("type", "drux.type.response_length", std::to_string(V));
  // Feature set, watchdog, clock
  One("feature_set", "drux.feature_set.feature_set", "");
  One("feature_set", "drux.feature_set.feature_set", "0");
  StatusKey("feature_set", "drux.feature_set.result", Results);
  One("feature_set", "drux.feature_set.response", "");
  One("feature_set", "drux.feature_set.response_length", "");
  StatusKey("watchdog", "drux.watchdog.result", Results);
  One("watchdog", "drux.watchdog.status", "");
  for (uint64_t V : H.Decimals) {
    if (V <= 0xFF) One("watchdog", "drux.watchdog.status", std::to_string(V));
  }
  One("watchdog", "drux.watchdog.response", "");
  One("watchdog", "drux.watchdog.response", "\"00 00\"");
  StatusKey("clock", "drux.clock.result", Results);
  One("clock", "drux.clock.clox_response", "");
  for (uint64_t V : H.Hex) One("clock", "drux.clock.clox_response", Hex8(V));
  One("clock", "drux.clock.response", "");
  One("clock", "drux.clock.response", "\"00 00 05 00 00 00 00 00 00 00 00 00\"");
  // The pre-DID reset: the firmware's ways of answering it
  const std::vector<std::string> ResetKeys = {"accept", "counter_after_ms", "state_after_ms", "state", "result"};
  // Each way also comes with the recovery (cause 4) that starts the reset: with warnings
  // off the log may show neither the recovery nor the reset, only where it led.
  auto Reset = [&](std::vector<std::string> Values) {
    Move R{"pre_did", {}};
    for (size_t I = 0; I < ResetKeys.size(); I++) R.Set.push_back({"drux.pre_did_reset." + ResetKeys[I], Values[I]});
    M.push_back(R);
    R.Set.push_back({"vorn.fs1", Hex8((Fs1 & ~0xFull) | 2)});
    R.Set.push_back({"vorn.fs2", "0x00000400"});
    M.push_back(R);
  };
  Reset({"", "", "", "", ""});                         // the model's answer: counter at 20 ms, state 5 at 100 ms
  Reset({"true", "", "", "", ""});                     // the counter never steps
  Reset({"true", "20", "", "", ""});                   // the counter steps, no meaningful state follows
  for (uint64_t State : H.Decimals) {
    if (State <= 15) Reset({"true", "20", "100", std::to_string(State), ""});
  }
  Reset({"false", "", "", "", ""});
  for (uint64_t S : Results) {
    if (!(S & 0x80000000)) Reset({"false", "", "", "", StatusValue(S)});
  }
  for (uint64_t S : Errors) Reset({"true", "", "", "", StatusValue(S)});
  // What the PEI core offers
  for (const char *Space : {"", "0", "64", "200", "300", "330", "360", "400", "450", "500", "600"}) {
    One("pei", "pei.hob_space", Space);
  }
  One("pei", "pei.pool_space", "");
  One("pei", "pei.pool_space", "0");
  Bool("pei", "pei.memory_discovered");
  One("pei", "pei.mp_services", "");
  One("pei", "pei.mp_services", "\"before-entry\"");
  One("pei", "pei.mp_services", "\"never\"");
  Bool("pei", "pei.status_code_handler");
  Bool("pei", "pei.debug_print_ppi");
  One("pei", "pei.vorn_type_hob.vorn_type", "");
  for (uint64_t V : H.Decimals) {
    if (V <= 0xFFFFFFFF) One("pei", "pei.vorn_type_hob.vorn_type", std::to_string(V));
  }
  for (int Type = 0; Type < 5; Type++) One("pei", "pei.vorn_type_hob.vorn_type", std::to_string(Type));
  // Calls made to fail
  One("fault", "fault.call", "");
  for (const char *Call : kFailableCalls) {
    for (int Nth = 1; Nth <= 4; Nth++) {
      M.push_back({"fault", {{"fault.call", Quoted(Call)}, {"fault.nth", Nth == 1 ? "" : std::to_string(Nth)}}});
    }
  }
  return M;
}

/// The groups of changes that can alter a line of this message (or its absence).
std::set<std::string> LeversOf(const std::string &Id) {
  auto Starts = [&](const char *Prefix) { return Id.rfind(Prefix, 0) == 0; };
  if (Id.empty()) return {"level", "pei"};
  if (Id == "unknown-cpu") return {"cpu", "level"};
  if (Id == "assert" || Starts("assert-")) return {"cpu", "pei", "policy", "drux", "type", "vorn", "watchdog"};
  if (Id == "status-code-too-large") return {"pei"};
  if (Starts("type") || Id == "dwr" || Id == "lumo" || Id == "drux-disabled" || Id == "drux-missing" ||
      Id == "other-fw" || Starts("non-quarn")) {
    return {"vorn", "drux", "type", "pei", "at", "level"};
  }
  if (Starts("info-hob") || Id == "non-functional") return {"pei", "level", "vorn"};
  if (Id == "boot-mode") return {"boot", "level"};
  if (Id == "no-config-block" || Id == "config-malformed" || Starts("pre-did-disabled") || Id == "pre-did-execution") {
    return {"policy", "boot", "level"};
  }
  if (Starts("wait-state") || Id == "recovery") return {"vorn", "at", "pre_did", "level"};
  if (Starts("pre-did") || Id == "counter-timeout") return {"pre_did", "vorn", "at", "drux", "level"};
  if (Starts("wd-")) return {"watchdog", "policy", "level"};
  if (Starts("fs-") || Starts("clox") || Starts("ssc") || Starts("clock")) {
    return {"feature_set", "clock", "policy", "boot", "level", "drux"};
  }
  if (Id == "reload-mm7" || Id == "migration" || Id == "sync-mm7") return {"pei", "cpu", "level"};
  if (Id == "entry") return {"level", "cpu", "pei"};
  return {"level"};
}

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

}  // namespace

SearchResult SearchScenario(const ParsedLog &Log, bool WithAlternatives) {
  const auto Start = std::chrono::steady_clock::now();
  SearchResult Result;
  Runner R(Log);
  const Harvest H = HarvestOf(Log);

  Candidate Best = Seed(Log);
  Score BestScore = R.ScoreOf(Best);
  const size_t Total = Log.Module.size();
  constexpr size_t kMaxRuns = 2500;
  constexpr size_t kMaxPairRuns = 150;

  // Refine: the changes that can alter the lines at the first difference first, then
  // every other change, then two changes at once, until the run agrees or nothing helps.
  for (int Round = 0; Round < 80 && !BestScore.Exact && R.Runs < kMaxRuns; Round++) {
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
    const std::vector<Move> Moves = MovesFor(Best, H);
    Candidate Next = Best;
    Score NextScore = BestScore;
    auto TryAll = [&](auto Pick) {
      for (const Move &M : Moves) {
        if (!Pick(M)) continue;
        const Candidate C = Apply(Best, M);
        const Score S = R.ScoreOf(C);
        if (S > NextScore) {
          Next = C;
          NextScore = S;
        }
      }
    };
    const bool Complete = static_cast<size_t>(BestScore.Matched) == Total;
    TryAll([&](const Move &M) { return Levers.count(M.Group) && M.Group != "fault"; });
    // Every line agrees but the run goes on: only the changes that can end the boot
    // where the log ends are worth a try; else the log was cut.
    if (!(NextScore > BestScore) && !Complete) {
      TryAll([&](const Move &M) { return !Levers.count(M.Group) && M.Group != "fault"; });
    }
    if (!(NextScore > BestScore) && !Complete) TryAll([&](const Move &M) { return M.Group == "fault"; });
    if (!(NextScore > BestScore) && !Complete) {
      // Two changes at once, among those that can alter these lines.
      std::vector<const Move *> Near;
      for (const Move &M : Moves) {
        if (Levers.count(M.Group) && M.Group != "fault" && M.Group != "level") Near.push_back(&M);
      }
      const size_t PairsFrom = R.Runs;
      for (size_t I = 0; I < Near.size() && !(NextScore > BestScore) && R.Runs < std::min(kMaxRuns, PairsFrom + kMaxPairRuns); I++) {
        const Candidate First = Apply(Best, *Near[I]);
        for (size_t J = I + 1; J < Near.size() && R.Runs < kMaxRuns; J++) {
          if (Near[J]->Group == Near[I]->Group && Near[J]->Set.front().first == Near[I]->Set.front().first) continue;
          const Candidate C = Apply(First, *Near[J]);
          const Score S = R.ScoreOf(C);
          if (S > NextScore) {
            Next = C;
            NextScore = S;
          }
        }
      }
    }
    if (!(NextScore > BestScore)) break;
    Best = Next;
    BestScore = NextScore;
  }

  // The simplest scenario: every key that the lines do not need goes back to its default.
  // A key may become unneeded only once another is gone: a second pass when one went.
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

  if (Result.Reproduced && WithAlternatives) {
    // What the log cannot tell: one-key changes of the result that print the same lines.
    for (const Move &M : MovesFor(Best, H)) {
      if (M.Set.size() != 1 || M.Group == "fault" || M.Group == "level") continue;
      const std::string &Key = M.Set.front().first;
      if (!Best.Keys.count(Key) && Key != "vorn.fs1" && Key != "vorn.fs2") continue;
      const Candidate Other = Apply(Best, M);
      const Score S = R.ScoreOf(Other);
      if (S.Exact == BestScore.Exact && S.Matched == BestScore.Matched) {
        Result.Alternatives.push_back({Key, M.Set.front().second, Differences(*Final.Report, *R.Run(Other).Report)});
      }
    }
  }

  if (!Result.Reproduced && Result.Matched < Total) {
    const LogLine &Line = Log.Module[Result.Matched];
    const size_t RunAt = Result.Offset + Result.Matched;
    const bool RunHasLine = RunAt < Result.RunLines.size();
    const std::string Printed = RunHasLine ? "\"" + Result.RunLines[RunAt] + "\"" : "nothing more";
    if (!Line.Match) {
      Result.Reason = "no message of this version of the module prints this text";
    } else if (RunHasLine && MatchPattern(*Line.Match->Pattern, Result.RunLines[RunAt])) {
      Result.Reason = "a value that contradicts the lines before it: after them the module prints " + Printed;
    } else {
      bool Later = false;
      for (size_t I = RunAt + 1; I < Result.RunLines.size(); I++) Later = Later || LinesAgree(Line, Result.RunLines[I]);
      Result.Reason = Later ? "a line is missing before it or lines are out of order: after the lines before it the module "
                              "prints " + Printed + " first"
                            : "no scenario makes the module print it after the lines before it (it prints " + Printed +
                                  " there)";
    }
  }
  Result.Runs = R.Runs;
  Result.HostMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - Start).count();
  return Result;
}

}  // namespace quarn::emu::cli::explain
