// The tables of a scenario file that describe the board, its firmware and what the PEI
// core offers: each table's keys into the Scenario (the [expect] table is ExpectTable.cpp's).
#include "ScenarioTables.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "Emulator/PeiCore/PeiCore.h"
#include "Tools/quarn-emu/Support/Suggest.h"

namespace quarn::emu::cli::loader {

namespace {

/// The keys every message table has: the send status and the answer's bytes and length.
void ReadMessageOverride(TableReader &T, MessageOverride &Override) {
  T.Status("result", Override.Result);
  T.HexBytes("response", Override.Response, kMaxResponseBytes);
  T.Unsigned("response_length", Override.ResponseLength, kMaxU32);
}

/// [[vorn.at]]: the register changes in virtual time, each at its ms with the registers it
/// writes.
void ReadVornAt(TableReader &Vorn, Scenario &S) {
  const toml::node *Node = Vorn.Take("at");
  if (Node == nullptr) return;
  if (!Node->is_array())
    Vorn.Fail(Node, "at", "expected an array of tables ([[vorn.at]]), found " + TypeName(Node->type()));
  const toml::array &Changes = *Node->as_array();
  for (size_t Index = 0; Index < Changes.size(); Index++) {
    const toml::node &Entry = *Changes.get(Index);
    const std::string Key = "at[" + std::to_string(Index) + "]";
    if (!Entry.is_table()) Vorn.Fail(&Entry, Key, "expected a table, found " + TypeName(Entry.type()));
    TableReader T(*Entry.as_table(), Vorn.KeyPath(Key), Vorn.Source(), LineOf(*Node));
    VornRegisterChange Change;
    const toml::node *Ms = T.Take("ms");
    if (Ms == nullptr) T.Fail(&Entry, "ms", "missing: every change needs the virtual time it happens at");
    Change.Ms = T.UnsignedValue(*Ms, "ms", kMaxTimeLimitMs, 0);
    T.Unsigned("fs1", Change.Fs1, kMaxU32);
    T.Unsigned("fs2", Change.Fs2, kMaxU32);
    T.Unsigned("fn1", Change.Fn1, kMaxU32);
    T.Unsigned("fn4", Change.Fn4, kMaxU32);
    T.Unsigned("fn6", Change.Fn6, kMaxU32);
    T.Unsigned("dwrsts", Change.DwrSts, kMaxU32);
    T.Finish();
    if (!Change.Fs1 && !Change.Fs2 && !Change.Fn1 && !Change.Fn4 && !Change.Fn6 && !Change.DwrSts) {
      T.Fail(&Entry, "", "names no register (fs1, fs2, fn1, fn4, fn6 or dwrsts)");
    }
    S.At.push_back(Change);
  }
}

// The calls the emulator can make fail, by the name its fault plan counts them under.
constexpr const char *kFailableCalls[] = {
    "*",         "InstallPpi",   "LocatePpi",        "NotifyPpi",   "GetBootMode",   "GetHobList",
    "CreateHob", "AllocatePool", "ReportStatusCode", "SendWithAck", "GetVornStatus", "StartupAllAPs",
};

}  // namespace

void ReadBoot(TableReader T, Scenario &S) {
  T.Unsigned("mode", S.BootMode, kMaxU32);
  T.Status("get_boot_mode_status", S.GetBootModeStatus);
  T.Bool("mode_written_on_error", S.BootModeWrittenOnError);
  T.Finish();
}

void ReadCpu(TableReader T, Scenario &S) {
  T.Unsigned("signature", S.CpuSignature, kMaxU32);
  T.Unsigned("processors", S.Processors, 64, 1);
  T.Finish();
}

void ReadCmos(TableReader T, Scenario &S) {
  T.Unsigned("error_level", S.CmosErrorLevel, kMaxU32);
  T.Bool("valid", S.CmosValid);
  T.Unsigned64("mm0", S.Mm0);
  T.Finish();
}

void ReadPolicy(TableReader T, Scenario &S) {
  T.Bool("installed", S.PolicyInstalled);
  T.Bool("block", S.PolicyBlock);
  T.Bool("pre_did_reset", S.PreDidReset);
  T.Bool("ssc_alternate", S.SscAlternate);
  T.Bool("bios_update_watchdog", S.BiosUpdateWatchdog);
  T.HexBytes("table", S.PolicyTable, kMaxPolicyTableBytes);
  T.Finish();
}

void ReadVorn(TableReader T, Scenario &S) {
  T.Bool("present", S.VornPresent);
  T.Unsigned("fs1", S.Fs1, kMaxU32);
  T.Unsigned("fs2", S.Fs2, kMaxU32);
  T.Unsigned("fn1", S.Fn1, kMaxU32);
  T.Unsigned("fn4", S.Fn4, kMaxU32);
  T.Unsigned("fn6", S.Fn6, kMaxU32);
  T.Unsigned("dwrsts", S.DwrSts, kMaxU32);
  ReadVornAt(T, S);
  T.Finish();
}

void ReadDrux(TableReader T, Scenario &S) {
  T.Bool("installed", S.DruxInstalled);
  T.Bool("null_ppi", S.DruxNullPpi);
  T.Bool("null_send_with_ack", S.DruxNullSendWithAck);
  T.Bool("null_get_vorn_status", S.DruxNullGetVornStatus);
  T.Unsigned("vorn_status", S.VornStatus, kMaxU32);
  T.Status("vorn_status_result", S.VornStatusResult);
  if (auto Type = T.Table("type")) {
    Type->Unsigned("fw_type", S.FwType, 7);
    Type->Unsigned("fw_sub_type", S.FwSubType, 0xFF);
    ReadMessageOverride(*Type, S.TypeOverride);
    Type->Finish();
  }
  if (auto Features = T.Table("feature_set")) {
    Features->Unsigned("feature_set", S.FeatureSet, kMaxU32);
    Features->Unsigned("feature_set2", S.FeatureSet2, kMaxU32);
    ReadMessageOverride(*Features, S.FeatureSetOverride);
    Features->Finish();
  }
  if (auto Watchdog = T.Table("watchdog")) {
    Watchdog->Unsigned("status", S.WatchdogStatus, 0xFF);
    ReadMessageOverride(*Watchdog, S.WatchdogOverride);
    Watchdog->Finish();
  }
  if (auto Clock = T.Table("clock")) {
    Clock->Unsigned("clox_response", S.CloxResponse, kMaxU32);
    ReadMessageOverride(*Clock, S.ClockOverride);
    Clock->Finish();
  }
  if (auto Reset = T.Table("pre_did_reset")) {
    // With the table, an omitted time means the change never comes.
    S.CounterAfterMs.reset();
    S.StateAfterMs.reset();
    S.PreDidResetAccept = true;
    S.PreDidResetState = 5;
    Reset->Bool("accept", S.PreDidResetAccept);
    Reset->Unsigned("counter_after_ms", S.CounterAfterMs, kMaxTimeLimitMs);
    Reset->Unsigned("state_after_ms", S.StateAfterMs, kMaxTimeLimitMs);
    Reset->Unsigned("state", S.PreDidResetState, 15);
    ReadMessageOverride(*Reset, S.PreDidResetOverride);
    Reset->Finish();
  }
  T.Finish();
}

void ReadPei(TableReader T, LoadedScenario &L) {
  Scenario &S = L.Settings;
  T.Bool("debug_print_ppi", S.DebugPrintPpi);
  T.Bool("status_code_handler", S.StatusCodeHandler);
  T.Status("status_code_result", S.StatusCodeResult);
  T.Unsigned("hob_space", S.HobSpace, kMaxSpace);
  T.Unsigned("pool_space", S.PoolSpace, kMaxSpace);
  T.Bool("memory_discovered", S.MemoryDiscovered);
  if (const toml::node *Node = T.Take("mp_services")) {
    T.ExpectType(*Node, "mp_services", toml::node_type::string);
    const std::string &When = Node->as_string()->get();
    if (When == "before-entry") {
      S.MpServices = MpServicesWhen::BeforeEntry;
    } else if (When == "after-memory") {
      S.MpServices = MpServicesWhen::AfterMemory;
    } else if (When == "never") {
      S.MpServices = MpServicesWhen::Never;
    } else {
      T.Fail(Node, "mp_services", "\"" + When + "\" is none of \"before-entry\", \"after-memory\", \"never\"");
    }
  }
  if (auto Hob = T.Table("vorn_type_hob")) {
    PresetVornTypeHob Preset;
    Hob->Unsigned("vorn_type", Preset.VornType, kMaxU32);
    Hob->Unsigned("fw_type", Preset.FwType, 0xFF);
    Hob->Unsigned("fw_sub_type", Preset.FwSubType, 0xFF);
    Hob->Finish();
    Preset.Line = Hob->Line();
    L.VornTypeHob = Preset;
  }
  T.Finish();
}

/// The [memory] table; Lines receives the line of each key given, for the check of the
/// whole map once the [pei] spaces are known too.
void ReadMemory(TableReader T, Scenario &S, std::map<std::string, unsigned> &Lines) {
  Lines["memory"] = T.Line();
  for (auto [Key, Field] : {std::pair{"temporary_ram_base", &S.Memory.TemporaryRamBase},
                            std::pair{"temporary_ram_size", &S.Memory.TemporaryRamSize},
                            std::pair{"permanent_memory_base", &S.Memory.PermanentMemoryBase},
                            std::pair{"permanent_memory_size", &S.Memory.PermanentMemorySize}}) {
    const toml::node *Node = T.Take(Key);
    if (Node == nullptr) continue;
    *Field = static_cast<uint32_t>(T.UnsignedValue(*Node, Key, kMaxU32, 1));
    Lines[std::string("memory.") + Key] = LineOf(*Node);
  }
  T.Finish();
}

/// Refuses a memory map the board cannot have: misaligned, outside the RAM the emulator
/// can back, overlapping, or too small for the stack and the [pei] spaces.
void CheckMemory(const Scenario &S, const std::string &Source, const std::map<std::string, unsigned> &Lines) {
  const uint64_t Needed = PeiCore::WindowBytes(S.HobSpace, S.PoolSpace);
  auto Refuse = [&](const std::string &Key, const std::string &Text) {
    auto Line = Lines.find(Key);
    if (Line == Lines.end()) Line = Lines.find("memory");
    throw ScenarioError(Source, Line == Lines.end() ? 0 : Line->second, Key, Text);
  };
  if (const auto Problem = CheckMemoryMap(S.Memory, Needed)) Refuse(Problem->Key, Problem->Text);
  try {
    BoardMemory::Prepare(S.Memory.Resolved(Needed));
  } catch (const MemoryMapError &Error) {
    Refuse(Error.Key(), Error.what());
  }
}

/// The [board] table; Lines receives the line of each key given, for the check of the
/// whole layout once the memory map is known too.
void ReadBoard(TableReader T, Scenario &S, std::map<std::string, unsigned> &Lines) {
  Lines["board"] = T.Line();
  for (const BoardLayoutKey &K : kBoardLayoutKeys) {
    const toml::node *Node = T.Take(K.Key);
    if (Node == nullptr) continue;
    K.Set(S.Layout, static_cast<uint32_t>(T.UnsignedValue(*Node, K.Key, LayoutSpaceMax(K.Space), 0)));
    Lines[std::string("board.") + K.Key] = LineOf(*Node);
  }
  T.Finish();
}

/// Refuses a layout the board cannot have: a device past its address space, misaligned,
/// or over another device, the board's fixed ports or windows, or its RAM.
void CheckBoard(const Scenario &S, const std::string &Source, const std::map<std::string, unsigned> &Lines) {
  const MemoryMap Memory = S.Memory.Resolved(PeiCore::WindowBytes(S.HobSpace, S.PoolSpace));
  if (const auto Problem = CheckBoardLayout(S.Layout, Memory)) {
    auto Line = Lines.find(Problem->Key);
    if (Line == Lines.end()) Line = Lines.find("board");
    throw ScenarioError(Source, Line == Lines.end() ? 0 : Line->second, Problem->Key, Problem->Text);
  }
}

void ReadUart(TableReader T, UartPowerOn &Uart) {
  T.Unsigned("divisor", Uart.Divisor, 0xFFFF);
  T.Unsigned("lcr", Uart.Lcr, 0xFF);
  T.Unsigned("fcr", Uart.Fcr, 0xFF);
  T.Finish();
}

void ReadSuperIo(TableReader T, Scenario &S) {
  T.Bool("uart1_active", S.SuperIoUart1Active);
  T.Bool("uart2_active", S.SuperIoUart2Active);
  T.Finish();
}

void ReadChipset(TableReader T, Scenario &S) {
  T.Unsigned("host_bridge_fc", S.HostBridgeFc, 0xFF);
  T.Bool("sideband", S.SidebandFunction);
  T.Finish();
}

void ReadFault(TableReader T, LoadedScenario &L) {
  FaultInjection Fault;
  const toml::node *Call = T.Take("call");
  if (Call == nullptr) T.Fail(nullptr, "call", "missing: the name of the call to fail");
  T.ExpectType(*Call, "call", toml::node_type::string);
  Fault.Call = Call->as_string()->get();
  if (std::find(std::begin(kFailableCalls), std::end(kFailableCalls), Fault.Call) == std::end(kFailableCalls)) {
    std::string Names;
    for (const char *Name : kFailableCalls) Names += std::string(Names.empty() ? "" : ", ") + Name;
    T.Fail(Call, "call",
           "\"" + Fault.Call + "\" is no failable call" +
               DidYouMean(Fault.Call, {std::begin(kFailableCalls), std::end(kFailableCalls)}) + " (" + Names + ")");
  }
  T.Unsigned("nth", Fault.Nth, std::numeric_limits<uint32_t>::max(), 1);
  T.Finish();
  L.Fault = Fault;
}

void ReadRun(TableReader T, Scenario &S) {
  T.Unsigned("time_limit_ms", S.TimeLimitMs, kMaxTimeLimitMs, 1);
  T.Finish();
}

}  // namespace quarn::emu::cli::loader
