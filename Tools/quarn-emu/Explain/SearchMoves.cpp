// The changes the search may make to a candidate, one function per part of the scenario
// they change, tried in the order of kMoveKinds; and which groups of changes can alter
// the line of a message.
#include "SearchParts.h"

namespace quarn::emu::cli::explain::search {

namespace {

constexpr const char *kFailableCalls[] = {"InstallPpi",  "LocatePpi",     "NotifyPpi",    "GetBootMode",
                                          "GetHobList",  "CreateHob",     "AllocatePool", "ReportStatusCode",
                                          "SendWithAck", "GetVornStatus", "StartupAllAPs"};

/// The changes offered for one candidate, in the order they are added; a change of one
/// key to one value is offered once only, and not when the key has that value already.
class MoveList {
 public:
  /// The changes of Of, values taken from Values as well.
  MoveList(const Candidate &Of, const Harvest &Values)
      : C(Of),
        H(Values),
        Fs1(Of.Keys.count("vorn.fs1") ? Number(Of.Keys.at("vorn.fs1")).value_or(kDefaultFs1) : kDefaultFs1) {
    for (uint64_t S : H.Statuses) {
      Results.insert(S);
      if (S & 0x80000000) Errors.insert(S);
    }
  }

  /// Offers Key = Value (Value "": the default) in Group.
  void One(const std::string &Group, const std::string &Key, const std::string &Value) {
    const auto Found = C.Keys.find(Key);
    const std::string Current = Found == C.Keys.end() ? std::string() : Found->second;
    if (Current != Value && Offered.insert({Key, Value}).second) Moves.push_back({Group, {{Key, Value}}});
  }

  /// Offers a boolean Key: true, false and the default.
  void Bool(const std::string &Group, const std::string &Key) {
    One(Group, Key, "true");
    One(Group, Key, "false");
    One(Group, Key, "");
  }

  /// Offers a status Key: the default, then each of Values by its name.
  void StatusKey(const std::string &Group, const std::string &Key, const std::set<uint64_t> &Values) {
    One(Group, Key, "");
    for (uint64_t S : Values) One(Group, Key, StatusValue(S));
  }

  const Candidate &C;
  const Harvest &H;
  std::set<uint64_t> Errors = {0x80000007, 0x80000012};        // error statuses to answer with
  std::set<uint64_t> Results = {0x80000007, 0x80000012, 0x5};  // statuses of any kind to answer with
  const uint64_t Fs1;                                          // the candidate's VORNFS1
  std::vector<Move> Moves;

 private:
  std::set<std::pair<std::string, std::string>> Offered;
};

/// The console level.
void LevelMoves(MoveList &L) {
  for (uint32_t Level : {0x80000042u, 0x80000040u, 0x80000002u, 0x80000000u, 0x42u, 0x40u, 0x2u, 0u}) {
    L.One("level", "cmos.error_level", Level == 0x80000042u ? "" : Hex8(Level));
  }
}

/// The processor.
void CpuMoves(MoveList &L) {
  L.One("cpu", "cpu.signature", "");
  L.One("cpu", "cpu.signature", "0x000906EA");  // a processor the CPU table does not know
  for (uint64_t V : L.H.Hex) {
    if (V <= 0xFFFF) {
      L.One("cpu", "cpu.signature", Hex8(V << 4));
      L.One("cpu", "cpu.signature", Hex8((V << 4) | 0xF));
    }
  }
}

/// Boot mode and policy.
void BootAndPolicyMoves(MoveList &L) {
  L.One("boot", "boot.mode", "");
  L.One("boot", "boot.mode", "0x11");
  L.StatusKey("boot", "boot.get_boot_mode_status", L.Errors);
  L.Bool("boot", "boot.mode_written_on_error");
  for (const char *Key : {"policy.installed", "policy.block", "policy.pre_did_reset", "policy.ssc_alternate",
                          "policy.bios_update_watchdog"}) {
    L.Bool("policy", Key);
  }
}

/// The VORN registers.
void VornMoves(MoveList &L) {
  const uint64_t Fs1 = L.Fs1;
  for (uint64_t State = 0; State < 6; State++) L.One("vorn", "vorn.fs1", Hex8((Fs1 & ~0xFull) | State));
  L.One("vorn", "vorn.fs1", Hex8((Fs1 & ~0xF0000ull) | 0x70000));
  L.One("vorn", "vorn.fs1", Hex8(Fs1 & ~0xF0000ull));
  for (uint64_t V : L.H.Hex) {
    L.One("vorn", "vorn.fs1", Hex8(V));
    L.One("vorn", "vorn.fs2", Hex8(V));
  }
  L.One("vorn", "vorn.fs2", "");
  L.One("vorn", "vorn.fs2", "0x00000400");
  L.Bool("vorn", "vorn.present");
  L.One("vorn", "vorn.dwrsts", "");
  L.One("vorn", "vorn.dwrsts", "0x00008000");
}

/// Register changes in virtual time.
void RegisterChangeMoves(MoveList &L) {
  const uint64_t Fs1 = L.Fs1;
  L.One("at", "vorn.at", "");
  // The log has no times: a change may have to fall between two reads a few lines apart.
  for (uint64_t Ms : {5u, 10u, 20u, 30u, 50u, 100u, 200u, 500u, 1000u, 2000u, 3000u, 5000u}) {
    for (uint64_t State : {2u, 5u}) {
      L.One("at", "vorn.at",
            "[[vorn.at]]\nms = " + std::to_string(Ms) + "\nfs1 = " + Hex8((Fs1 & ~0xFull) | State) + "\n");
    }
    for (uint64_t V : L.H.Hex) {
      L.One("at", "vorn.at", "[[vorn.at]]\nms = " + std::to_string(Ms) + "\nfs1 = " + Hex8(V) + "\n");
      L.One("at", "vorn.at", "[[vorn.at]]\nms = " + std::to_string(Ms) + "\nfs2 = " + Hex8(V) + "\n");
    }
  }
}

/// DRUX_PPI and the type query.
void DruxAndTypeMoves(MoveList &L) {
  L.Bool("drux", "drux.installed");
  // A message PPI installed unusable: its pointer or one of its entries NULL.
  for (const char *Key : {"drux.null_ppi", "drux.null_send_with_ack", "drux.null_get_vorn_status"}) L.Bool("drux", Key);
  L.One("drux", "drux.vorn_status", "");
  L.One("drux", "drux.vorn_status", "1");
  L.StatusKey("drux", "drux.vorn_status_result", L.Errors);
  for (int Type = 0; Type < 8; Type++) L.One("type", "drux.type.fw_type", std::to_string(Type));
  L.One("type", "drux.type.fw_sub_type", "");
  L.One("type", "drux.type.fw_sub_type", "3");
  for (uint64_t V : L.H.Decimals) {
    if (V <= 0xFF) L.One("type", "drux.type.fw_sub_type", std::to_string(V));
  }
  L.StatusKey("type", "drux.type.result", L.Results);
  L.One("type", "drux.type.response", "");
  L.One("type", "drux.type.response", "\"00 00 00 00 00 00 00 00\"");
  L.One("type", "drux.type.response_length", "");
  for (uint64_t V : L.H.Decimals) L.One("type", "drux.type.response_length", std::to_string(V));
}

/// Feature set, watchdog, clock.
void AnswerMoves(MoveList &L) {
  L.One("feature_set", "drux.feature_set.feature_set", "");
  L.One("feature_set", "drux.feature_set.feature_set", "0");
  L.StatusKey("feature_set", "drux.feature_set.result", L.Results);
  L.One("feature_set", "drux.feature_set.response", "");
  L.One("feature_set", "drux.feature_set.response_length", "");
  L.StatusKey("watchdog", "drux.watchdog.result", L.Results);
  L.One("watchdog", "drux.watchdog.status", "");
  for (uint64_t V : L.H.Decimals) {
    if (V <= 0xFF) L.One("watchdog", "drux.watchdog.status", std::to_string(V));
  }
  L.One("watchdog", "drux.watchdog.response", "");
  L.One("watchdog", "drux.watchdog.response", "\"00 00\"");
  L.StatusKey("clock", "drux.clock.result", L.Results);
  L.One("clock", "drux.clock.clox_response", "");
  for (uint64_t V : L.H.Hex) L.One("clock", "drux.clock.clox_response", Hex8(V));
  L.One("clock", "drux.clock.response", "");
  L.One("clock", "drux.clock.response", "\"00 00 05 00 00 00 00 00 00 00 00 00\"");
}

/// The pre-DID reset: the firmware's ways of answering it.
void PreDidResetMoves(MoveList &L) {
  const std::vector<std::string> ResetKeys = {"accept", "counter_after_ms", "state_after_ms", "state", "result"};
  // Each way also comes with the recovery (cause 4) that starts the reset: with warnings
  // off the log may show neither the recovery nor the reset, only where it led.
  auto Reset = [&](std::vector<std::string> Values) {
    Move R{"pre_did", {}};
    for (size_t I = 0; I < ResetKeys.size(); I++) R.Set.push_back({"drux.pre_did_reset." + ResetKeys[I], Values[I]});
    L.Moves.push_back(R);
    R.Set.push_back({"vorn.fs1", Hex8((L.Fs1 & ~0xFull) | 2)});
    R.Set.push_back({"vorn.fs2", "0x00000400"});
    L.Moves.push_back(R);
  };
  Reset({"", "", "", "", ""});        // the model's answer: counter at 20 ms, state 5 at 100 ms
  Reset({"true", "", "", "", ""});    // the counter never steps
  Reset({"true", "20", "", "", ""});  // the counter steps, no meaningful state follows
  for (uint64_t State : L.H.Decimals) {
    if (State <= 15) Reset({"true", "20", "100", std::to_string(State), ""});
  }
  Reset({"false", "", "", "", ""});
  for (uint64_t S : L.Results) {
    if (!(S & 0x80000000)) Reset({"false", "", "", "", StatusValue(S)});
  }
  for (uint64_t S : L.Errors) Reset({"true", "", "", "", StatusValue(S)});
}

/// What the PEI core offers.
void PeiMoves(MoveList &L) {
  for (const char *Space : {"", "0", "64", "200", "300", "330", "360", "400", "450", "500", "600"}) {
    L.One("pei", "pei.hob_space", Space);
  }
  L.One("pei", "pei.pool_space", "");
  L.One("pei", "pei.pool_space", "0");
  L.Bool("pei", "pei.memory_discovered");
  L.One("pei", "pei.mp_services", "");
  L.One("pei", "pei.mp_services", "\"before-entry\"");
  L.One("pei", "pei.mp_services", "\"never\"");
  L.Bool("pei", "pei.status_code_handler");
  L.Bool("pei", "pei.debug_print_ppi");
  L.One("pei", "pei.vorn_type_hob.vorn_type", "");
  for (uint64_t V : L.H.Decimals) {
    if (V <= 0xFFFFFFFF) L.One("pei", "pei.vorn_type_hob.vorn_type", std::to_string(V));
  }
  for (int Type = 0; Type < 5; Type++) L.One("pei", "pei.vorn_type_hob.vorn_type", std::to_string(Type));
}

/// Calls made to fail.
void FaultMoves(MoveList &L) {
  L.One("fault", "fault.call", "");
  for (const char *Call : kFailableCalls) {
    for (int Nth = 1; Nth <= 4; Nth++) {
      L.Moves.push_back({"fault", {{"fault.call", Quoted(Call)}, {"fault.nth", Nth == 1 ? "" : std::to_string(Nth)}}});
    }
  }
}

/// The kinds of change, in the order the search tries them (of two changes that get
/// equally far, the one tried first wins).
constexpr void (*kMoveKinds[])(MoveList &) = {
    LevelMoves,       CpuMoves,    BootAndPolicyMoves, VornMoves, RegisterChangeMoves,
    DruxAndTypeMoves, AnswerMoves, PreDidResetMoves,   PeiMoves,  FaultMoves,
};

}  // namespace

Candidate Apply(const Candidate &C, const Move &M) {
  Candidate Next = C;
  for (const auto &[Key, Value] : M.Set) {
    if (Value.empty()) Next.Keys.erase(Key);
    else Next.Keys[Key] = Value;
  }
  return Next;
}

Harvest HarvestOf(const ParsedLog &Log) {
  Harvest H;
  auto Keep = [](std::set<uint64_t> &Values, uint64_t Value) {
    if (Values.size() < kMaxHarvestValues) Values.insert(Value);
  };
  for (const LogLine &L : Log.Module) {
    if (!L.Match || L.Match->Pattern->Of->AddressFields != 0) continue;
    size_t Field = 0;
    for (const Piece &P : L.Match->Pattern->Pieces) {
      if (!P.IsField) continue;
      const FieldValue &V = L.Match->Fields[Field++];
      if (!V.Number) continue;
      if (P.Kind == FieldKind::Decimal) Keep(H.Decimals, *V.Number);
      else if (P.Kind == FieldKind::Status) Keep(H.Statuses, *V.Number);
      else Keep(H.Hex, *V.Number);
    }
  }
  return H;
}

std::vector<Move> MovesFor(const Candidate &C, const Harvest &H) {
  MoveList List(C, H);
  for (void (*Kind)(MoveList &) : kMoveKinds) Kind(List);
  return List.Moves;
}

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

}  // namespace quarn::emu::cli::explain::search
