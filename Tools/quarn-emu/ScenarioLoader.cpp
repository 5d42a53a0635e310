#include "ScenarioLoader.h"

// toml++ 3.3 checks some of its parser's expectations with assert() before it reports
// them as parse errors: "[=x]" aborts a build without NDEBUG. Builds with NDEBUG skip
// the check and report the error with its line; make every build do that.
#define TOML_ASSERT(expr) static_cast<void>(0)
#include <toml++/toml.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <map>
#include <set>
#include <sstream>

#include "BuiltinScenarios.h"
#include "Check.h"
#include "Emulator/PeiCore/PeiCore.h"
#include "Emulator/Report.h"
#include "Suggest.h"

namespace quarn::emu::cli {

namespace {

constexpr uint64_t kMaxU32 = 0xFFFFFFFFull;
constexpr uint64_t kMaxSpace = 16u * 1024 * 1024;       // HOB space and pool: 16 MiB at most
constexpr uint64_t kMaxTimeLimitMs = 24ull * 3600 * 1000;
constexpr size_t kMaxResponseBytes = 256;
constexpr size_t kMaxPolicyTableBytes = 65536;

/// The message for a status name nobody knows; names are case-sensitive.
std::string UnknownStatus(const std::string &Name) {
  return "unknown status name \"" + Name + "\"" + DidYouMean(Name, StatusNames());
}

std::string TypeName(toml::node_type Type) {
  switch (Type) {
    case toml::node_type::table: return "a table";
    case toml::node_type::array: return "an array";
    case toml::node_type::string: return "a string";
    case toml::node_type::integer: return "an integer";
    case toml::node_type::floating_point: return "a floating-point number";
    case toml::node_type::boolean: return "a boolean";
    case toml::node_type::date: return "a date";
    case toml::node_type::time: return "a time";
    case toml::node_type::date_time: return "a date-time";
    default: return "nothing";
  }
}

std::string Hex(uint64_t Value) {
  std::ostringstream Text;
  Text << "0x" << std::uppercase << std::hex << Value;
  return Text.str();
}

/// A range bound as the docs write it: hexadecimal for an all-ones mask of a byte or
/// wider (0xFF, 0xFFFF, 0xFFFFFFFF), decimal for counts and times.
std::string Bound(uint64_t Value) {
  const bool Mask = Value >= 0xFF && (Value & (Value + 1)) == 0;
  return Mask ? Hex(Value) : std::to_string(Value);
}

/// An integer as the file writes it: hexadecimal when it was written so.
std::string AsWritten(const toml::value<int64_t> &Integer) {
  const int64_t Value = Integer.get();
  if (Value >= 0 && !!(Integer.flags() & toml::value_flags::format_as_hexadecimal)) {
    return Hex(static_cast<uint64_t>(Value));
  }
  return std::to_string(Value);
}

unsigned LineOf(const toml::node &Node) { return static_cast<unsigned>(Node.source().begin.line); }

/// Reads one table of a scenario file; every key it is asked for counts as known, and
/// Finish() refuses the rest.
class TableReader {
 public:
  TableReader(const toml::table &Table, std::string Path, const std::string &Source, unsigned FallbackLine)
      : Table_(Table), Path_(std::move(Path)), Source_(Source) {
    Line_ = LineOf(Table);
    if (Line_ == 0) Line_ = FallbackLine;
  }

  [[noreturn]] void Fail(const toml::node *Node, std::string_view Key, const std::string &Text) const {
    unsigned Line = Node != nullptr ? LineOf(*Node) : 0;
    if (Line == 0) Line = Line_;
    throw ScenarioError(Source_, Line, KeyPath(Key), Text);
  }

  std::string KeyPath(std::string_view Key) const {
    if (Key.empty()) return Path_;
    return Path_.empty() ? std::string(Key) : Path_ + "." + std::string(Key);
  }

  /// The node of Key, or nullptr; Key counts as known from now on.
  const toml::node *Take(std::string_view Key) {
    Known_.insert(std::string(Key));
    return Table_.get(Key);
  }

  /// Refuses every key that nobody asked for.
  void Finish() const {
    for (auto &&[Key, Node] : Table_) {
      if (!Known_.count(std::string(Key.str()))) {
        unsigned Line = static_cast<unsigned>(Key.source().begin.line);
        if (Line == 0) Line = LineOf(Node);
        if (Line == 0) Line = Line_;
        throw ScenarioError(Source_, Line, KeyPath(Key.str()),
                            "unknown key" + DidYouMean(Key.str(), {Known_.begin(), Known_.end()}));
      }
    }
  }

  void ExpectType(const toml::node &Node, std::string_view Key, toml::node_type Type) const {
    if (Node.type() != Type) Fail(&Node, Key, "expected " + TypeName(Type) + ", found " + TypeName(Node.type()));
  }

  /// An unsigned integer in Min..Max.
  template <typename T>
  void Unsigned(std::string_view Key, T &Out, uint64_t Max = std::numeric_limits<T>::max(), uint64_t Min = 0) {
    if (const toml::node *Node = Take(Key)) Out = static_cast<T>(UnsignedValue(*Node, Key, Max, Min));
  }
  template <typename T>
  void Unsigned(std::string_view Key, std::optional<T> &Out, uint64_t Max = std::numeric_limits<T>::max(),
                uint64_t Min = 0) {
    if (const toml::node *Node = Take(Key)) Out = static_cast<T>(UnsignedValue(*Node, Key, Max, Min));
  }

  uint64_t UnsignedValue(const toml::node &Node, std::string_view Key, uint64_t Max, uint64_t Min) const {
    ExpectType(Node, Key, toml::node_type::integer);
    const int64_t Value = Node.as_integer()->get();
    if (Value < 0 || static_cast<uint64_t>(Value) < Min || static_cast<uint64_t>(Value) > Max) {
      Fail(&Node, Key, AsWritten(*Node.as_integer()) + " is out of range (" + std::to_string(Min) + " to " +
                           Bound(Max) + ")");
    }
    return static_cast<uint64_t>(Value);
  }

  /// A 64-bit value: an integer, or a string "0x..." for values TOML integers cannot hold.
  void Unsigned64(std::string_view Key, uint64_t &Out) {
    const toml::node *Node = Take(Key);
    if (Node == nullptr) return;
    if (Node->is_integer()) {
      Out = UnsignedValue(*Node, Key, std::numeric_limits<int64_t>::max(), 0);
      return;
    }
    if (!Node->is_string()) {
      Fail(Node, Key, "expected an integer or a \"0x...\" string, found " + TypeName(Node->type()));
    }
    const std::string &Text = Node->as_string()->get();
    const bool Prefixed = Text.size() > 2 && Text[0] == '0' && (Text[1] == 'x' || Text[1] == 'X');
    if (!Prefixed || Text.size() > 18 ||
        !std::all_of(Text.begin() + 2, Text.end(), [](unsigned char C) { return std::isxdigit(C) != 0; })) {
      Fail(Node, Key, "\"" + Text + "\" is not a hexadecimal number of at most 16 digits");
    }
    Out = std::stoull(Text.substr(2), nullptr, 16);
  }

  void Bool(std::string_view Key, bool &Out) {
    if (const toml::node *Node = Take(Key)) {
      ExpectType(*Node, Key, toml::node_type::boolean);
      Out = Node->as_boolean()->get();
    }
  }

  void String(std::string_view Key, std::string &Out) {
    if (const toml::node *Node = Take(Key)) {
      ExpectType(*Node, Key, toml::node_type::string);
      Out = Node->as_string()->get();
    }
  }

  /// A status: a name ("EFI_TIMEOUT") or a number.
  template <typename T>
  void Status(std::string_view Key, T &Out) {
    const toml::node *Node = Take(Key);
    if (Node == nullptr) return;
    if (Node->is_integer()) {
      Out = static_cast<EFI_STATUS>(UnsignedValue(*Node, Key, kMaxU32, 0));
      return;
    }
    if (!Node->is_string()) Fail(Node, Key, "expected a status name or number, found " + TypeName(Node->type()));
    const std::string &Name = Node->as_string()->get();
    const std::optional<EFI_STATUS> Value = StatusFromName(Name);
    if (!Value) Fail(Node, Key, UnknownStatus(Name));
    Out = *Value;
  }

  /// Bytes written as hexadecimal digit pairs, blanks allowed between the pairs.
  void HexBytes(std::string_view Key, std::optional<std::vector<uint8_t>> &Out, size_t MaxBytes) {
    const toml::node *Node = Take(Key);
    if (Node == nullptr) return;
    ExpectType(*Node, Key, toml::node_type::string);
    const std::string &Text = Node->as_string()->get();
    std::vector<uint8_t> Bytes;
    int High = -1;
    for (unsigned char C : Text) {
      if (C == ' ' || C == '\t') {
        if (High >= 0) Fail(Node, Key, "bad hex string \"" + Text + "\": a byte is two hexadecimal digits");
        continue;
      }
      if (!std::isxdigit(C)) Fail(Node, Key, "bad hex string \"" + Text + "\": '" + char(C) + "' is no hexadecimal digit");
      const int Digit = std::isdigit(C) ? C - '0' : std::tolower(C) - 'a' + 10;
      if (High < 0) {
        High = Digit;
      } else {
        Bytes.push_back(static_cast<uint8_t>(High * 16 + Digit));
        High = -1;
      }
    }
    if (High >= 0) Fail(Node, Key, "bad hex string \"" + Text + "\": odd number of hexadecimal digits");
    if (Bytes.size() > MaxBytes) {
      Fail(Node, Key, std::to_string(Bytes.size()) + " bytes are too many (at most " + std::to_string(MaxBytes) + ")");
    }
    Out = std::move(Bytes);
  }

  /// A sub-table, if present.
  std::optional<TableReader> Table(std::string_view Key) {
    const toml::node *Node = Take(Key);
    if (Node == nullptr) return std::nullopt;
    ExpectType(*Node, Key, toml::node_type::table);
    return TableReader(*Node->as_table(), KeyPath(Key), Source_, Line_);
  }

  const std::string &Source() const { return Source_; }
  unsigned Line() const { return Line_; }

 private:
  const toml::table &Table_;
  std::string Path_;
  const std::string &Source_;
  unsigned Line_ = 0;
  std::set<std::string> Known_;
};

// --- the tables of a scenario ------------------------------------------------------

void ReadMessageOverride(TableReader &T, MessageOverride &Override) {
  T.Status("result", Override.Result);
  T.HexBytes("response", Override.Response, kMaxResponseBytes);
  T.Unsigned("response_length", Override.ResponseLength, kMaxU32);
}

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

void ReadVornAt(TableReader &Vorn, Scenario &S) {
  const toml::node *Node = Vorn.Take("at");
  if (Node == nullptr) return;
  if (!Node->is_array()) Vorn.Fail(Node, "at", "expected an array of tables ([[vorn.at]]), found " + TypeName(Node->type()));
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

// The calls the emulator can make fail, by the name its fault plan counts them under.
constexpr const char *kFailableCalls[] = {
    "*",          "InstallPpi",       "LocatePpi",   "NotifyPpi",     "GetBootMode",   "GetHobList",
    "CreateHob",  "AllocatePool",     "ReportStatusCode", "SendWithAck", "GetVornStatus", "StartupAllAPs",
};

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

// --- [expect] --------------------------------------------------------------------------

enum Shape : unsigned {
  kString = 1, kNumber = 2, kBool = 4, kArray = 8, kObject = 16, kNullable = 32,
};

struct ExpectKey {
  const char *Name;
  unsigned Shapes;
  ExpectKind Kind = ExpectKind::Value;
  const char *Subject = nullptr;  // the report key compared with; nullptr: Name itself
};

constexpr ExpectKey kExpectKeys[] = {
    {"scenario", kString},
    {"outcome", kString},
    {"stopped_at", kString | kNullable},
    {"status", kString | kNullable},
    {"status_value", kNumber | kNullable},
    {"elapsed_ms", kNumber},
    {"console", kString},
    {"console2", kString},
    {"debug_ppi", kArray},
    {"asserts", kArray},
    {"halt_codes", kArray},
    {"messages", kArray},
    {"exchange", kArray},
    {"records", kArray},
    {"status_codes", kArray},
    {"vorn_type_hob", kObject | kNullable},
    {"info_hob", kObject | kNullable},
    {"static_pointer_table", kObject | kNullable},
    {"cpu_and_revision", kObject | kNullable},
    {"mm7", kArray},
    {"mm7_points_to_table", kArray},
    {"time", kObject},
    {"console_contains", kString | kArray, ExpectKind::Contains, "console"},
    {"console_excludes", kString | kArray, ExpectKind::Excludes, "console"},
    {"console2_contains", kString | kArray, ExpectKind::Contains, "console2"},
    {"console2_excludes", kString | kArray, ExpectKind::Excludes, "console2"},
    {"debug_ppi_contains", kString | kArray, ExpectKind::Contains, "debug_ppi"},
    {"debug_ppi_excludes", kString | kArray, ExpectKind::Excludes, "debug_ppi"},
    {"console_sequence", kArray, ExpectKind::Sequence, "console"},
    {"console2_sequence", kArray, ExpectKind::Sequence, "console2"},
    {"debug_ppi_sequence", kArray, ExpectKind::Sequence, "debug_ppi"},
    {"console_lines", kArray, ExpectKind::Lines, "console"},
    {"console2_lines", kArray, ExpectKind::Lines, "console2"},
    {"debug_ppi_lines", kArray, ExpectKind::Lines, "debug_ppi"},
    {"console_matches", kString | kArray, ExpectKind::Matches, "console"},
    {"console2_matches", kString | kArray, ExpectKind::Matches, "console2"},
    {"debug_ppi_matches", kString | kArray, ExpectKind::Matches, "debug_ppi"},
    {"exchange_sequence", kArray, ExpectKind::Order, "exchange"},
    {"records_sequence", kArray, ExpectKind::Order, "records"},
};

const ExpectKey *FindExpectKey(std::string_view Name) {
  for (const ExpectKey &Key : kExpectKeys) {
    if (Name == Key.Name) return &Key;
  }
  return nullptr;
}

constexpr const char *kBoundsKeys[] = {"min", "max", "approx", "tolerance"};

/// A TOML value as the JSON value it stands for.
nlohmann::json ToJson(const toml::node &Node, const TableReader &T, std::string_view Key) {
  switch (Node.type()) {
    case toml::node_type::string: return Node.as_string()->get();
    case toml::node_type::integer: return Node.as_integer()->get();
    case toml::node_type::floating_point: return Node.as_floating_point()->get();
    case toml::node_type::boolean: return Node.as_boolean()->get();
    case toml::node_type::array: {
      nlohmann::json Array = nlohmann::json::array();
      for (const toml::node &Element : *Node.as_array()) Array.push_back(ToJson(Element, T, Key));
      return Array;
    }
    case toml::node_type::table: {
      nlohmann::json Object = nlohmann::json::object();
      for (auto &&[Name, Element] : *Node.as_table()) Object[std::string(Name.str())] = ToJson(Element, T, Key);
      return Object;
    }
    default: T.Fail(&Node, Key, TypeName(Node.type()) + " cannot be compared with a report value");
  }
}

/// A bounds table: its keys are min, max, approx and tolerance only, numbers; min and max
/// (one or both, min not above max) or approx with a tolerance not below zero.
void CheckBounds(const toml::table &Table, const TableReader &T, const std::string &Path) {
  std::map<std::string, double> Given;
  for (auto &&[Name, Node] : Table) {
    const std::string Field(Name.str());
    if (std::find(std::begin(kBoundsKeys), std::end(kBoundsKeys), Field) == std::end(kBoundsKeys)) {
      T.Fail(&Node, Path + "." + Field, "unknown key in a bounds table; it takes min, max, approx, tolerance" +
                                            DidYouMean(Field, {std::begin(kBoundsKeys), std::end(kBoundsKeys)}));
    }
    const std::optional<double> Number = Node.value<double>();
    if (!Node.is_number() || !Number) {
      T.Fail(&Node, Path + "." + Field, "expected a number, found " + TypeName(Node.type()));
    }
    if (!std::isfinite(*Number)) T.Fail(&Node, Path + "." + Field, "expected a finite number");
    Given[Field] = *Number;
  }
  const bool Approx = Given.count("approx") != 0, Tolerance = Given.count("tolerance") != 0;
  const bool Range = Given.count("min") != 0 || Given.count("max") != 0;
  if (Approx && Range) T.Fail(&Table, Path, "either min and max or approx and tolerance, not both");
  if (Approx != Tolerance) T.Fail(&Table, Path, Approx ? "approx needs a tolerance" : "tolerance needs approx");
  if (Tolerance && !(Given["tolerance"] >= 0)) T.Fail(&Table, Path, "the tolerance is below zero");
  if (Given.count("min") && Given.count("max") && !(Given["min"] <= Given["max"])) {
    T.Fail(&Table, Path, "min lies above max");
  }
}

/// Walks a value for its bounds tables and partial objects and refuses a malformed one.
void CheckMatchers(const toml::node &Node, const TableReader &T, const std::string &Path) {
  if (const toml::array *Array = Node.as_array()) {
    for (size_t Index = 0; Index < Array->size(); Index++) {
      CheckMatchers(*Array->get(Index), T, Path + "[" + std::to_string(Index) + "]");
    }
    return;
  }
  const toml::table *Table = Node.as_table();
  if (Table == nullptr) return;
  const bool Bounds = std::any_of(std::begin(kBoundsKeys), std::end(kBoundsKeys),
                                  [&](const char *Name) { return Table->contains(Name); });
  if (Bounds) return CheckBounds(*Table, T, Path);
  for (auto &&[Name, Field] : *Table) {
    if (Name.str() == "partial") {
      if (!Field.is_boolean()) T.Fail(&Field, Path + ".partial", "expected a boolean, found " + TypeName(Field.type()));
      continue;
    }
    CheckMatchers(Field, T, Path + "." + std::string(Name.str()));
  }
}

bool IsKnownStatusText(const std::string &Text) {
  if (StatusFromName(Text)) return true;
  // The report writes a status without a name as "0x" and eight upper-case digits.
  return Text.size() == 10 && Text.rfind("0x", 0) == 0 &&
         std::all_of(Text.begin() + 2, Text.end(), [](unsigned char C) { return std::isdigit(C) || (C >= 'A' && C <= 'F'); });
}

void ReadExpect(const toml::table &Table, const std::string &Source, unsigned Fallback, LoadedScenario &L) {
  TableReader T(Table, "expect", Source, Fallback);
  L.HasExpect = true;
  L.ExpectLine = T.Line();
  for (auto &&[Name, Node] : Table) {
    const std::string Key(Name.str());
    const ExpectKey *Known = FindExpectKey(Key);
    unsigned Line = LineOf(Node);
    if (Line == 0) Line = T.Line();
    if (Known == nullptr) {
      std::vector<std::string> Names;
      for (const ExpectKey &Candidate : kExpectKeys) Names.push_back(Candidate.Name);
      throw ScenarioError(Source, Line, "expect." + Key, "unknown key" + DidYouMean(Key, Names));
    }
    nlohmann::json Value = ToJson(Node, T, Key);
    if ((Known->Shapes & kNullable) && Value == "null") Value = nullptr;
    CheckMatchers(Node, T, Key);
    const bool Bounds = Value.is_object() && IsBoundsTable(Value);
    const bool Fits = (Value.is_null() && (Known->Shapes & kNullable)) ||
                      (Value.is_string() && (Known->Shapes & kString)) ||
                      (Value.is_number() && (Known->Shapes & kNumber)) ||
                      (Value.is_boolean() && (Known->Shapes & kBool)) ||
                      (Value.is_array() && (Known->Shapes & kArray)) ||
                      (Bounds && (Known->Shapes & kNumber)) ||
                      (Value.is_object() && !Bounds && (Known->Shapes & kObject));
    if (!Fits) {
      T.Fail(&Node, Key, "the report never holds " + (Bounds ? std::string("a number") : TypeName(Node.type())) +
                             " here");
    }
    const ExpectKind Kind = Known->Kind;
    if (Kind != ExpectKind::Value && Value.is_array()) {
      for (const nlohmann::json &Element : Value) {
        if (!Element.is_string()) T.Fail(&Node, Key, "expected strings");
      }
    }
    if (Kind == ExpectKind::Lines) {
      for (std::string Text : ExpectedTexts(Value)) {
        if (Text.ends_with("\n")) Text.pop_back();
        if (Text.ends_with("\r")) Text.pop_back();
        if (Text.find_first_of("\r\n") != std::string::npos) {
          T.Fail(&Node, Key, "a line holds no line break but at its end: " + nlohmann::json(Text).dump());
        }
      }
    }
    if (Kind == ExpectKind::Matches) {
      for (const std::string &Pattern : ExpectedTexts(Value)) {
        try {
          (void)MatchPattern(Pattern);
        } catch (const std::regex_error &Error) {
          T.Fail(&Node, Key, "not a regular expression: " + nlohmann::json(Pattern).dump() + ": " + Error.what());
        }
      }
    }
    if (Key == "status" && Value.is_string() && !IsKnownStatusText(Value.get<std::string>())) {
      T.Fail(&Node, Key, UnknownStatus(Value.get<std::string>()));
    }
    if (Key == "outcome" && Value != "returned" && Value != "dead-loop" && Value != "hang") {
      T.Fail(&Node, Key, "\"" + Value.get<std::string>() + "\" is none of \"returned\", \"dead-loop\", \"hang\"");
    }
    L.Expect.push_back({Key, std::move(Value), Line, Kind, Known->Subject ? Known->Subject : Key});
  }
  // toml++ keeps a table's keys in name order: mismatches read better in file order.
  std::stable_sort(L.Expect.begin(), L.Expect.end(),
                   [](const Expectation &A, const Expectation &B) { return A.Line < B.Line; });
}

std::string ReadFile(const std::string &Path, bool &Ok) {
  std::ifstream In(Path, std::ios::binary);
  Ok = static_cast<bool>(In);
  std::ostringstream Text;
  Text << In.rdbuf();
  return Text.str();
}

}  // namespace

ScenarioError::ScenarioError(std::string Source, unsigned Line, std::string Key, std::string Text)
    : std::runtime_error(Source + (Line ? ":" + std::to_string(Line) : std::string()) + ": " +
                         (Key.empty() ? std::string() : Key + ": ") + Text),
      Source_(std::move(Source)),
      Line_(Line),
      Key_(std::move(Key)),
      Text_(std::move(Text)) {}

bool IsBoundsTable(const nlohmann::json &Value) {
  if (!Value.is_object()) return false;
  return std::any_of(std::begin(kBoundsKeys), std::end(kBoundsKeys),
                     [&](const char *Name) { return Value.contains(Name); });
}

LoadedScenario LoadScenarioText(std::string_view Text, const std::string &Source) {
  toml::table Root;
  try {
    Root = toml::parse(Text, Source);
  } catch (const toml::parse_error &Error) {
    throw ScenarioError(Source, static_cast<unsigned>(Error.source().begin.line), "",
                        "not TOML: " + std::string(Error.description()));
  }

  LoadedScenario L;
  L.Source = Source;
  Scenario &S = L.Settings;
  TableReader T(Root, "", Source, 1);
  S.Name.clear();
  T.String("name", S.Name);
  T.String("description", S.Description);
  if (auto Boot = T.Table("boot")) ReadBoot(*Boot, S);
  if (auto Cpu = T.Table("cpu")) ReadCpu(*Cpu, S);
  if (auto Cmos = T.Table("cmos")) ReadCmos(*Cmos, S);
  if (auto Policy = T.Table("policy")) ReadPolicy(*Policy, S);
  if (auto Vorn = T.Table("vorn")) ReadVorn(*Vorn, S);
  if (auto Drux = T.Table("drux")) ReadDrux(*Drux, S);
  if (auto Pei = T.Table("pei")) ReadPei(*Pei, L);
  std::map<std::string, unsigned> MemoryLines;
  if (auto Memory = T.Table("memory")) ReadMemory(*Memory, S, MemoryLines);
  std::map<std::string, unsigned> BoardLines;
  if (auto Board = T.Table("board")) ReadBoard(*Board, S, BoardLines);
  if (auto Uart = T.Table("uart1")) ReadUart(*Uart, S.Uart1);
  if (auto Uart = T.Table("uart2")) ReadUart(*Uart, S.Uart2);
  if (auto SuperIo = T.Table("superio")) ReadSuperIo(*SuperIo, S);
  if (auto Chipset = T.Table("chipset")) ReadChipset(*Chipset, S);
  if (auto Run = T.Table("run")) ReadRun(*Run, S);
  if (auto Fault = T.Table("fault")) ReadFault(*Fault, L);
  if (const toml::node *Expect = T.Take("expect")) {
    T.ExpectType(*Expect, "expect", toml::node_type::table);
    ReadExpect(*Expect->as_table(), Source, T.Line(), L);
  }
  T.Finish();
  CheckMemory(S, Source, MemoryLines);
  CheckBoard(S, Source, BoardLines);

  if (S.Name.empty()) {
    // A file without a name is called after itself.
    S.Name = std::filesystem::path(Source).stem().string();
  }
  return L;
}

LoadedScenario LoadScenarioFile(const std::string &Path) {
  bool Ok = false;
  const std::string Text = ReadFile(Path, Ok);
  if (!Ok) throw ScenarioError(Path, 0, "", "cannot be read");
  return LoadScenarioText(Text, Path);
}

LoadedScenario LoadBuiltinScenario(const BuiltinScenario &Builtin) {
  return LoadScenarioText(Builtin.Text, "Scenarios/" + Builtin.Name + ".toml");
}

LoadedScenario ResolveScenario(const std::string &Argument) {
  if (Argument == "-") {
    std::ostringstream Text;
    Text << std::cin.rdbuf();
    if (std::cin.bad()) throw ScenarioError("<stdin>", 0, "", "cannot be read");
    LoadedScenario Loaded = LoadScenarioText(Text.str(), "<stdin>");
    if (Loaded.Settings.Name == "<stdin>") Loaded.Settings.Name = "stdin";
    return Loaded;
  }
  std::error_code Error;
  const std::filesystem::file_status Status = std::filesystem::status(Argument, Error);
  const BuiltinScenario *Builtin = FindBuiltinScenario(Argument);
  // Anything that can be read is a file: a regular file, a pipe from process
  // substitution, a device.
  if (std::filesystem::exists(Status) && !std::filesystem::is_directory(Status)) {
    LoadedScenario Loaded = LoadScenarioFile(Argument);
    if (Builtin != nullptr) {
      Loaded.Note = "the file " + Argument + " runs, not the built-in scenario of that name (./" + Argument +
                    " names the file without this note; run elsewhere for the built-in)";
    }
    return Loaded;
  }
  if (Builtin != nullptr) return LoadBuiltinScenario(*Builtin);
  if (std::filesystem::exists(Status)) throw ScenarioError(Argument, 0, "", "is a directory, not a scenario file");
  throw ScenarioError(Argument, 0, "",
                      "no such file and no built-in scenario of that name" +
                          DidYouMean(Argument, BuiltinScenarioNames()) +
                          " (quarn-emu list shows them)");
}

}  // namespace quarn::emu::cli
