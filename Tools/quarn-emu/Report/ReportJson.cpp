#include "ReportJson.h"

#include <cstdio>

#include "BoardSummary.h"
#include "MessageDecode.h"

namespace quarn::emu::cli {

namespace {

using nlohmann::json;

json StatusCodesJson(const RunReport &R) {
  json List = json::array();
  for (const StatusCodeRecord &Code : R.StatusCodes) {
    List.push_back({{"time_ms", Milliseconds(Code.TimeNs)},
                    {"type", Code.Type},
                    {"type_name", StatusCodeTypeName(Code.Type)},
                    {"value", Code.Value},
                    {"value_name", StatusCodeValueName(Code.Value)},
                    {"instance", Code.Instance},
                    {"data", HexString(Code.Data)},
                    {"answer", StatusName(Code.Answer)},
                    {"answer_value", Code.Answer},
                    {"decoded", DecodedJson(DecodeStatusCode(Code))}});
  }
  return List;
}

json MessagesJson(const RunReport &R) {
  json List = json::array();
  for (const MessageExchange &M : R.Messages) {
    const Decoded Response = DecodeResponse(M);
    List.push_back({{"time_ms", Milliseconds(M.TimeNs)},
                    {"client", M.Client},
                    {"kind", M.Kind},
                    {"request", HexString(M.Request)},
                    {"request_length", M.RequestLength},
                    {"response_capacity", M.Capacity},
                    {"result", StatusName(M.Result)},
                    {"result_value", M.Result},
                    {"response", EFI_ERROR(M.Result) ? json(nullptr) : json(HexString(M.Response))},
                    {"response_length", M.ResponseLength},
                    {"decoded",
                     {{"request", DecodedJson(DecodeRequest(M))},
                      {"response", EFI_ERROR(M.Result) ? json(nullptr) : DecodedJson(Response)}}}});
  }
  return List;
}

json TraceJson(const RunReport &R) {
  json List = json::array();
  for (const TraceEntry &T : R.Trace) {
    List.push_back({{"time_ms", Milliseconds(T.TimeNs)},
                    {"kind", T.Kind},
                    {"address", HexNumber(T.Address)},
                    {"value", HexNumber(T.Value)},
                    {"device", TextFromBytes(T.Device)}});
  }
  return List;
}

}  // namespace

double Milliseconds(uint64_t Ns) { return static_cast<double>(Ns) / 1e6; }

std::string Ms(uint64_t Ns) { return Format("%.3f ms", Milliseconds(Ns)); }

std::string HexNumber(uint64_t Value) {
  char Text[24];
  std::snprintf(Text, sizeof Text, "0x%llx", static_cast<unsigned long long>(Value));
  return Text;
}

namespace {

json HexNumbers(const std::vector<uint64_t> &Values) {
  json List = json::array();
  for (uint64_t Value : Values) List.push_back(HexNumber(Value));
  return List;
}

/// Adds what the module left in memory to J: the VORN type HOB, the info HOB, the
/// static pointer table and the CPU-and-revision record (null for each one missing).
void AddRecordsJson(json &J, const RunReport &R) {
  J["vorn_type_hob"] = nullptr;
  if (R.VornTypeHob) {
    J["vorn_type_hob"] = {{"vorn_type", R.VornTypeHob->VornType},
                          {"fw_type", R.VornTypeHob->FwType},
                          {"fw_sub_type", R.VornTypeHob->FwSubType}};
  }
  J["info_hob"] = nullptr;
  if (R.InfoHob) {
    J["info_hob"] = {{"feature_set", R.InfoHob->FeatureSet},
                     {"feature_set2", R.InfoHob->FeatureSet2},
                     {"flow", R.InfoHob->Flow},
                     {"pwr_opt_boot", R.InfoHob->PwrOptBoot},
                     {"cores2disable", R.InfoHob->Cores2Disable},
                     {"data", HexString(R.InfoHob->Data)}};
  }
  J["static_pointer_table"] = nullptr;
  if (R.StaticPointerTable) {
    J["static_pointer_table"] = {
        {"address", R.StaticPointerTable->Address},
        {"slots", HexNumbers({R.StaticPointerTable->Slots.begin(), R.StaticPointerTable->Slots.end()})}};
  }
  J["cpu_and_revision"] = nullptr;
  if (R.CpuAndRevision) {
    J["cpu_and_revision"] = {{"cpu_type", R.CpuAndRevision->CpuType},
                             {"stepping", R.CpuAndRevision->Stepping},
                             {"record", HexString(R.CpuAndRevision->Record)}};
  }
}

}  // namespace

std::string HexString(const std::vector<uint8_t> &Bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string Text;
  Text.reserve(Bytes.size() * 2);
  for (uint8_t Byte : Bytes) {
    Text.push_back(kDigits[Byte >> 4]);
    Text.push_back(kDigits[Byte & 0xF]);
  }
  return Text;
}

std::string TextFromBytes(const std::string &Bytes) {
  std::string Text;
  Text.reserve(Bytes.size());
  for (unsigned char Byte : Bytes) {
    if (Byte < 0x80) {
      Text.push_back(static_cast<char>(Byte));
    } else {
      Text.push_back(static_cast<char>(0xC0 | (Byte >> 6)));
      Text.push_back(static_cast<char>(0x80 | (Byte & 0x3F)));
    }
  }
  return Text;
}

std::vector<std::string> ExchangeSummary(const RunReport &R) {
  std::vector<std::string> List;
  for (const MessageExchange &M : R.Messages) List.push_back(M.Kind + " " + StatusName(M.Result));
  return List;
}

std::vector<bool> Mm7PointsToTable(const RunReport &R) {
  std::vector<bool> List;
  for (uint64_t Mm7 : R.Mm7) List.push_back(R.StaticPointerTable && Mm7 == R.StaticPointerTable->Address);
  return List;
}

nlohmann::json ReportToJson(const RunReport &R, bool WithTrace) {
  json J;
  J["format"] = kReportFormat;
  J["scenario"] = R.Scenario;
  J["outcome"] = R.Outcome;
  J["stopped_at"] = R.Outcome == "returned" ? json(nullptr) : json(R.Where);
  J["status"] = R.Status ? json(StatusName(*R.Status)) : json(nullptr);
  J["status_value"] = R.Status ? json(*R.Status) : json(nullptr);
  J["elapsed_ms"] = Milliseconds(R.ElapsedNs);
  J["console"] = TextFromBytes(R.Console);
  J["console2"] = TextFromBytes(R.Console2);
  J["debug_ppi"] = json::array();
  for (const std::string &Message : R.DebugPpi) J["debug_ppi"].push_back(TextFromBytes(Message));
  J["asserts"] = json::array();
  for (const std::string &Line : R.Asserts) J["asserts"].push_back(TextFromBytes(Line));
  J["halt_codes"] = json::array();
  for (const HaltCode &Code : R.HaltCodes) {
    J["halt_codes"].push_back({{"port", Code.Port}, {"value", Code.Value}, {"time_ms", Milliseconds(Code.TimeNs)}});
  }
  J["messages"] = MessagesJson(R);
  J["exchange"] = ExchangeSummary(R);
  J["records"] = R.Records;
  J["status_codes"] = StatusCodesJson(R);
  AddRecordsJson(J, R);
  J["mm7"] = HexNumbers(R.Mm7);
  J["mm7_points_to_table"] = Mm7PointsToTable(R);
  J["entry_stack_bytes"] = R.EntryStackBytes;
  J["time"] = {{"wait_ms", Milliseconds(R.WaitNs)},
               {"serial_ms", Milliseconds(R.SerialNs)},
               {"firmware_ms", Milliseconds(R.FirmwareNs)},
               {"other_ms", Milliseconds(R.OtherNs)}};
  J["fault"] = nullptr;
  if (R.Fault) {
    J["fault"] = {{"call", R.Fault->Call},
                  {"nth", R.Fault->Nth},
                  {"time_ms", Milliseconds(R.Fault->TimeNs)},
                  {"status", StatusName(EFI_STATUS(R.Fault->Status))}};
  }
  AddBoardJson(J, R);
  if (WithTrace) J["trace"] = TraceJson(R);
  return J;
}

}  // namespace quarn::emu::cli
