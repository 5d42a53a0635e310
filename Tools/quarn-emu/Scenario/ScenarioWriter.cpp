#include "ScenarioWriter.h"

#include <cmath>
#include <cstdio>
#include <sstream>

#include "Emulator/Report.h"
#include "Tools/quarn-emu/Report/ReportJson.h"

namespace quarn::emu::cli {

namespace {

std::string Hex32(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%08llX", static_cast<unsigned long long>(Value));
  return Text;
}

std::string Hex8(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%02llX", static_cast<unsigned long long>(Value));
  return Text;
}

/// A port as the docs write it: 0x3F8.
std::string Hex(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%llX", static_cast<unsigned long long>(Value));
  return Text;
}

std::string Bool(bool Value) { return Value ? "true" : "false"; }

/// A TOML basic string.
std::string Quoted(const std::string &Text) {
  std::string Out = "\"";
  for (unsigned char C : Text) {
    switch (C) {
      case '"': Out += "\\\""; break;
      case '\\': Out += "\\\\"; break;
      case '\n': Out += "\\n"; break;
      case '\r': Out += "\\r"; break;
      case '\t': Out += "\\t"; break;
      default:
        if (C < 0x20 || C == 0x7F) {
          char Escape[8];
          std::snprintf(Escape, sizeof Escape, "\\u%04X", C);
          Out += Escape;
        } else {
          Out += static_cast<char>(C);
        }
    }
  }
  return Out + "\"";
}

/// A status by name where it has one, else as a number (the loader takes both).
std::string Status(EFI_STATUS Value) {
  const std::string Name = StatusName(Value);
  return StatusFromName(Name) ? Quoted(Name) : Hex32(Value);
}

/// A JSON value of an [expect] key as TOML: null as the string "null".
std::string FromJson(const nlohmann::json &Value) {
  if (Value.is_null()) return "\"null\"";
  if (Value.is_string()) return Quoted(Value.get<std::string>());
  if (Value.is_boolean()) return Bool(Value.get<bool>());
  if (Value.is_number_float()) {
    // The shortest digits that read back to the same double (95.3, not 95.299999999999997);
    // TOML wants a point or an exponent.
    const double Float = Value.get<double>();
    if (std::isnan(Float)) return "nan";
    if (std::isinf(Float)) return Float < 0 ? "-inf" : "inf";
    std::string Number = Value.dump();
    if (Number.find_first_of(".eEn") == std::string::npos) Number += ".0";
    return Number;
  }
  if (Value.is_number()) return Value.dump();
  std::string Out;
  if (Value.is_array()) {
    Out = "[";
    for (const nlohmann::json &Element : Value) Out += (Out.size() > 1 ? ", " : "") + FromJson(Element);
    return Out + "]";
  }
  Out = "{ ";
  bool First = true;
  for (auto It = Value.begin(); It != Value.end(); ++It) {
    Out += (First ? "" : ", ") + It.key() + " = " + FromJson(It.value());
    First = false;
  }
  return Out + " }";
}

class Writer {
 public:
  void Table(const std::string &Name) { Out_ << "\n[" << Name << "]\n"; }
  void ArrayTable(const std::string &Name) { Out_ << "\n[[" << Name << "]]\n"; }
  void Key(const std::string &Name, const std::string &Value) { Out_ << Name << " = " << Value << "\n"; }
  void Number(const std::string &Name, uint64_t Value) { Key(Name, std::to_string(Value)); }
  void Overrides(const MessageOverride &Override) {
    if (Override.Result) Key("result", Status(*Override.Result));
    if (Override.Response) Key("response", Quoted(HexString(*Override.Response)));
    if (Override.ResponseLength) Number("response_length", *Override.ResponseLength);
  }
  std::string Text() const { return Out_.str(); }

 private:
  std::ostringstream Out_;
};

const char *MpServicesName(MpServicesWhen When) {
  switch (When) {
    case MpServicesWhen::BeforeEntry: return "before-entry";
    case MpServicesWhen::Never: return "never";
    default: return "after-memory";
  }
}

void WriteVornChange(Writer &W, const VornRegisterChange &Change) {
  W.ArrayTable("vorn.at");
  W.Number("ms", Change.Ms);
  if (Change.Fs1) W.Key("fs1", Hex32(*Change.Fs1));
  if (Change.Fs2) W.Key("fs2", Hex32(*Change.Fs2));
  if (Change.Fn1) W.Key("fn1", Hex32(*Change.Fn1));
  if (Change.Fn4) W.Key("fn4", Hex32(*Change.Fn4));
  if (Change.Fn6) W.Key("fn6", Hex32(*Change.Fn6));
  if (Change.DwrSts) W.Key("dwrsts", Hex32(*Change.DwrSts));
}

void WriteDrux(Writer &W, const Scenario &S) {
  W.Table("drux");
  W.Key("installed", Bool(S.DruxInstalled));
  W.Key("null_ppi", Bool(S.DruxNullPpi));
  W.Key("null_send_with_ack", Bool(S.DruxNullSendWithAck));
  W.Key("null_get_vorn_status", Bool(S.DruxNullGetVornStatus));
  W.Key("vorn_status", Hex32(S.VornStatus));
  W.Key("vorn_status_result", Status(S.VornStatusResult));
  W.Table("drux.type");
  W.Number("fw_type", S.FwType);
  W.Number("fw_sub_type", S.FwSubType);
  W.Overrides(S.TypeOverride);
  W.Table("drux.feature_set");
  W.Key("feature_set", Hex32(S.FeatureSet));
  W.Key("feature_set2", Hex32(S.FeatureSet2));
  W.Overrides(S.FeatureSetOverride);
  W.Table("drux.watchdog");
  W.Key("status", Hex8(S.WatchdogStatus));
  W.Overrides(S.WatchdogOverride);
  W.Table("drux.clock");
  W.Key("clox_response", Hex32(S.CloxResponse));
  W.Overrides(S.ClockOverride);
  W.Table("drux.pre_did_reset");
  W.Key("accept", Bool(S.PreDidResetAccept));
  // With the table written, a time left out means never, as it does here.
  if (S.CounterAfterMs) W.Number("counter_after_ms", *S.CounterAfterMs);
  if (S.StateAfterMs) W.Number("state_after_ms", *S.StateAfterMs);
  W.Number("state", S.PreDidResetState);
  W.Overrides(S.PreDidResetOverride);
}

void WritePei(Writer &W, const LoadedScenario &L) {
  const Scenario &S = L.Settings;
  W.Table("pei");
  W.Key("debug_print_ppi", Bool(S.DebugPrintPpi));
  W.Key("status_code_handler", Bool(S.StatusCodeHandler));
  W.Key("status_code_result", Status(S.StatusCodeResult));
  W.Number("hob_space", S.HobSpace);
  W.Number("pool_space", S.PoolSpace);
  W.Key("memory_discovered", Bool(S.MemoryDiscovered));
  W.Key("mp_services", Quoted(MpServicesName(S.MpServices)));
  if (L.VornTypeHob) {
    W.Table("pei.vorn_type_hob");
    W.Number("vorn_type", L.VornTypeHob->VornType);
    W.Number("fw_type", L.VornTypeHob->FwType);
    W.Number("fw_sub_type", L.VornTypeHob->FwSubType);
  }
}

/// [memory] and [board], each only when it moves something: a board that is the module's
/// own writes neither, and every key of the table that moves anything.
void WritePlaces(Writer &W, const Scenario &S) {
  const MemoryMap &Memory = S.Memory;
  if (Memory != MemoryMap{}) {
    W.Table("memory");
    W.Key("temporary_ram_base", Hex32(Memory.TemporaryRamBase));
    // 0 is no size the file may give: left out, it is sized for the [pei] spaces again.
    if (Memory.TemporaryRamSize != 0) W.Key("temporary_ram_size", Hex32(Memory.TemporaryRamSize));
    W.Key("permanent_memory_base", Hex32(Memory.PermanentMemoryBase));
    W.Key("permanent_memory_size", Hex32(Memory.PermanentMemorySize));
  }
  if (S.Layout != BoardLayout{}) {
    W.Table("board");
    for (const BoardLayoutKey &K : kBoardLayoutKeys) {
      const uint32_t Value = K.Get(S.Layout);
      W.Key(K.Key, K.Space == LayoutSpace::Mmio   ? Hex32(Value)
                   : K.Space == LayoutSpace::Cmos ? Hex8(Value)
                                                  : Hex(Value));
    }
  }
}

void WriteUart(Writer &W, const char *Name, const UartPowerOn &Uart) {
  W.Table(Name);
  W.Number("divisor", Uart.Divisor);
  W.Key("lcr", Hex8(Uart.Lcr));
  W.Key("fcr", Hex8(Uart.Fcr));
}

}  // namespace

std::string ScenarioToToml(const LoadedScenario &L) {
  const Scenario &S = L.Settings;
  Writer W;
  W.Key("name", Quoted(S.Name));
  W.Key("description", Quoted(S.Description));

  W.Table("boot");
  W.Key("mode", Hex32(S.BootMode));
  W.Key("get_boot_mode_status", Status(S.GetBootModeStatus));
  W.Key("mode_written_on_error", Bool(S.BootModeWrittenOnError));
  W.Table("cpu");
  W.Key("signature", Hex32(S.CpuSignature));
  W.Number("processors", S.Processors);
  W.Table("cmos");
  W.Key("error_level", Hex32(S.CmosErrorLevel));
  W.Key("valid", Bool(S.CmosValid));
  // TOML integers are signed 64-bit: larger values travel as a string.
  W.Key("mm0", S.Mm0 > uint64_t(INT64_MAX) ? Quoted(Hex32(S.Mm0)) : Hex32(S.Mm0));
  W.Table("policy");
  W.Key("installed", Bool(S.PolicyInstalled));
  W.Key("block", Bool(S.PolicyBlock));
  W.Key("pre_did_reset", Bool(S.PreDidReset));
  W.Key("ssc_alternate", Bool(S.SscAlternate));
  W.Key("bios_update_watchdog", Bool(S.BiosUpdateWatchdog));
  if (S.PolicyTable) W.Key("table", Quoted(HexString(*S.PolicyTable)));
  W.Table("vorn");
  W.Key("present", Bool(S.VornPresent));
  W.Key("fs1", Hex32(S.Fs1));
  W.Key("fs2", Hex32(S.Fs2));
  W.Key("fn1", Hex32(S.Fn1));
  W.Key("fn4", Hex32(S.Fn4));
  W.Key("fn6", Hex32(S.Fn6));
  W.Key("dwrsts", Hex32(S.DwrSts));
  for (const VornRegisterChange &Change : S.At) WriteVornChange(W, Change);
  WriteDrux(W, S);
  WritePei(W, L);
  WritePlaces(W, S);
  WriteUart(W, "uart1", S.Uart1);
  WriteUart(W, "uart2", S.Uart2);
  W.Table("superio");
  W.Key("uart1_active", Bool(S.SuperIoUart1Active));
  W.Key("uart2_active", Bool(S.SuperIoUart2Active));
  W.Table("chipset");
  W.Key("host_bridge_fc", Hex8(S.HostBridgeFc));
  W.Key("sideband", Bool(S.SidebandFunction));
  W.Table("run");
  W.Number("time_limit_ms", S.TimeLimitMs);
  if (L.Fault) {
    W.Table("fault");
    W.Key("call", Quoted(L.Fault->Call));
    W.Number("nth", L.Fault->Nth);
  }
  if (L.HasExpect) {
    W.Table("expect");
    for (const Expectation &E : L.Expect) W.Key(E.Key, FromJson(E.Value));
  }
  return W.Text();
}

}  // namespace quarn::emu::cli
