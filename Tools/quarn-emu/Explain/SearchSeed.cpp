// Where the search starts: the keys the log's module lines fix by themselves (a type the
// firmware answered, a status a line prints, the levels the lines were printed at), set
// line by line; what the search then changes is only what the lines leave open.
#include <algorithm>
#include <cstdio>

#include "SearchParts.h"

namespace quarn::emu::cli::explain::search {

namespace {

const LineMatch *MatchOf(const LogLine &L) { return L.Match ? &*L.Match : nullptr; }

uint64_t FieldNumber(const LogLine &L, size_t Field) {
  const LineMatch *M = MatchOf(L);
  return M && Field < M->Fields.size() && M->Fields[Field].Number ? *M->Fields[Field].Number : 0;
}

/// What the lines read so far have fixed: the keys, the levels the module printed at,
/// and what was seen that decides the keys set after the last line.
struct SeedState {
  Candidate C;
  uint32_t Levels = 0;
  bool SeenFs = false, SeenWait = false, PreDid = false, TypeAsked = false, SeenReload = false, SeenSync = false;
  bool SeenMigration = false;
  std::vector<bool> Queries;  // each type query: did its status line follow

  /// Sets the VORN's current state (the low four bits of FS1) to S, keeping the rest of FS1.
  void SetState(uint64_t S) {
    auto &K = C.Keys;
    const uint64_t Fs1 = K.count("vorn.fs1") ? *Number(K["vorn.fs1"]) : kDefaultFs1;
    K["vorn.fs1"] = Hex8((Fs1 & ~0xFull) | (S & 0xF));
  }
};

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

/// The keys a line of the processor, the VORN or the type query (message Id) fixes.
void SeedTypeLine(const std::string &Id, const LogLine &L, SeedState &St) {
  auto &K = St.C.Keys;
  if (Id == "unknown-cpu") K["cpu.signature"] = Hex8(FieldNumber(L, 0) << 4);
  else if (Id == "dwr") K["vorn.dwrsts"] = "0x00008000";
  else if (Id == "drux-disabled") K["vorn.present"] = "false";
  else if (Id == "lumo" && !St.SeenFs) K["vorn.fs1"] = "0x00070005";
  else if (Id == "type-start") {
    St.TypeAsked = true;
    St.Queries.push_back(false);
  } else if (Id == "type-status") {
    // The query's status line: it ended (its status read did not fail), and a status
    // other than EFI_SUCCESS is what SendWithAck answered.
    if (!St.Queries.empty()) St.Queries.back() = true;
    if (FieldNumber(L, 0) != 0) K["drux.type.result"] = StatusValue(FieldNumber(L, 0));
  } else if (Id == "drux-missing") K["drux.installed"] = "false";
  else if (Id == "type-wrong-length") K["drux.type.response_length"] = std::to_string(FieldNumber(L, 0));
  else if (Id == "type-ok") {
    K["drux.type.fw_type"] = std::to_string(FieldNumber(L, 0));
    K["drux.type.fw_sub_type"] = std::to_string(FieldNumber(L, 1));
  } else if (Id == "type-from-hob" && !St.TypeAsked && !K.count("pei.vorn_type_hob.vorn_type") &&
             !K.count("vorn.dwrsts") && !K.count("vorn.present")) {
    // A type nobody asked for: disabled (255) without asking when CurrentState is 4,
    // else a type HOB an earlier module left.
    if (FieldNumber(L, 0) == 255) St.SetState(4);
    else K["pei.vorn_type_hob.vorn_type"] = std::to_string(FieldNumber(L, 0));
  } else if ((Id == "type-not-recognized" || Id == "non-quarn#2") && !St.SeenFs) {
    St.SeenFs = true;
    if (!K.count("vorn.present")) {
      K["vorn.fs1"] = Hex8(FieldNumber(L, 0));
      K["vorn.fs2"] = Hex8(FieldNumber(L, 1));
    }
  }
}

/// The keys a line of the boot mode, the policy, the state wait or the pre-DID reset
/// (message Id) fixes.
void SeedFlowLine(const std::string &Id, const LogLine &L, SeedState &St) {
  auto &K = St.C.Keys;
  if (Id == "boot-mode") K["boot.get_boot_mode_status"] = StatusValue(FieldNumber(L, 0));
  else if (Id == "no-config-block") K["policy.block"] = "false";
  else if (Id == "pre-did-execution") K["policy.pre_did_reset"] = "true";
  else if (Id == "wait-state-reached") {
    if (!St.PreDid && !St.SeenWait) St.SetState(FieldNumber(L, 0));
    if (St.PreDid && FieldNumber(L, 0) != 5) {
      K["drux.pre_did_reset.counter_after_ms"] = "20";
      K["drux.pre_did_reset.state_after_ms"] = "100";
      K["drux.pre_did_reset.state"] = std::to_string(FieldNumber(L, 0));
    }
    St.SeenWait = true;
  } else if (Id == "wait-state-timeout") {
    if (!St.PreDid) St.SetState(1);
    else K["drux.pre_did_reset.counter_after_ms"] = "20";
    St.SeenWait = true;
  } else if (Id == "recovery") {
    St.SetState(2);
    K["vorn.fs2"] = Hex8(FieldNumber(L, 0) << 8);
  } else if (Id == "pre-did-execute") St.PreDid = true;
  else if (Id == "counter-timeout") K["drux.pre_did_reset.accept"] = "true";
  else if (Id == "pre-did-no-ack") K["drux.pre_did_reset.result"] = StatusValue(FieldNumber(L, 0));
  else if (Id == "pre-did-not-accepted") {
    K["drux.pre_did_reset.accept"] = "false";
    if (FieldNumber(L, 0) != 0) K["drux.pre_did_reset.result"] = StatusValue(FieldNumber(L, 0));
  }
}

/// The keys a line of the watchdog, the feature set, the clock or the spread spectrum
/// (message Id) fixes.
void SeedAnswerLine(const std::string &Id, const LogLine &L, SeedState &St) {
  auto &K = St.C.Keys;
  if (Id == "wd-sending") K["policy.bios_update_watchdog"] = "true";
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
  }
}

/// Notes the lines of permanent memory and MP services (message Id): whether they came
/// decides the [pei] keys set after the last line.
void SeedMemoryLine(const std::string &Id, SeedState &St) {
  if (Id == "reload-mm7") St.SeenReload = true;
  else if (Id == "migration") St.SeenMigration = true;
  else if (Id == "sync-mm7") St.SeenSync = true;
}

/// Sets the keys one module line L of Log fixes. Each message has its branches in one of
/// the functions called: a line sets the keys of the first branch of its message that holds.
void SeedLine(const LogLine &L, const ParsedLog &Log, SeedState &St) {
  auto &K = St.C.Keys;
  const Level Severity = L.Match->Pattern->Of->Severity;
  if (Severity != Level::Assert) St.Levels |= static_cast<uint32_t>(Severity);
  const std::string Id = IdOf(L);
  if (Id == "assert" && L.Match->Fields[0].Text == "Library/CpuAndRevisionLib/CpuAndRevisionLib" &&
      L.Match->Fields[2].Text == "((BOOLEAN)(0==1))" && !K.count("cpu.signature")) {
    K["cpu.signature"] = "0x000906EA";
  }
  if (Id == "assert") SeedFromAssert(L.Match->Fields[0].Text, L.Match->Fields[2].Text, Log, K);
  SeedTypeLine(Id, L, St);
  SeedFlowLine(Id, L, St);
  SeedAnswerLine(Id, L, St);
  SeedMemoryLine(Id, St);
}

/// The keys set once every line is read: defaults left out, the console level, the
/// firmware status reads that failed, and what the PEI core did not offer.
void SeedAfterTheLines(SeedState &St) {
  auto &K = St.C.Keys;
  // Keys at their default values are left out: the simplest scenario names only what differs.
  static const std::map<std::string, std::string> kDefaults = {
      {"vorn.fs1", "0x00000005"},        {"vorn.fs2", "0x00000000"},        {"drux.type.fw_type", "1"},
      {"drux.type.fw_sub_type", "0"},    {"drux.watchdog.status", "0"},     {"drux.clock.clox_response", "0x00000000"},
      {"policy.pre_did_reset", "false"}, {"policy.ssc_alternate", "false"}, {"drux.type.result", "\"EFI_SUCCESS\""}};
  for (const auto &[Key, Value] : kDefaults) {
    if (K.count(Key) && K[Key] == Value) K.erase(Key);
  }
  if (St.Levels != 0x80000042) K["cmos.error_level"] = Hex8(St.Levels);
  // A type query that ended before its status line: the firmware status could not be
  // read. Every time: the status read fails; only some times: those reads fail.
  if (St.Levels & static_cast<uint32_t>(Level::Info)) {
    const size_t Failed = std::count(St.Queries.begin(), St.Queries.end(), false);
    if (Failed == St.Queries.size() && Failed > 0) {
      K["drux.vorn_status_result"] = "\"EFI_DEVICE_ERROR\"";
    } else if (Failed == 1) {
      K["fault.call"] = "\"GetVornStatus\"";
      const size_t Nth = std::find(St.Queries.begin(), St.Queries.end(), false) - St.Queries.begin() + 1;
      if (Nth > 1) K["fault.nth"] = std::to_string(Nth);
    }
  }
  if (St.Levels & static_cast<uint32_t>(Level::Info)) {
    if (!St.SeenReload) K["pei.memory_discovered"] = "false";
    else if (!St.SeenSync) K["pei.mp_services"] = "\"never\"";
    if (St.SeenReload && !St.SeenMigration) K["pei.pool_space"] = "0";
  }
}

}  // namespace

std::string IdOf(const LogLine &L) { return L.Match ? L.Match->Pattern->Id : std::string(); }

Candidate Seed(const ParsedLog &Log) {
  SeedState St;
  for (const LogLine &L : Log.Module) {
    if (!L.Match) continue;
    SeedLine(L, Log, St);
  }
  SeedAfterTheLines(St);
  return St.C;
}

}  // namespace quarn::emu::cli::explain::search
