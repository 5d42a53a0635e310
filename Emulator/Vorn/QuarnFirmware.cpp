#include "QuarnFirmware.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace quarn::emu {

namespace {

constexpr uint8_t kClientManagement = DRUX_CLIENT_MANAGEMENT;
constexpr uint8_t kClientClox = DRUX_CLIENT_CLOX;
constexpr uint8_t kClientQuarn = DRUX_CLIENT_QUARN;

// Header word of the management client: GroupId 7:0, Command 14:8, IsResponse 15.
constexpr uint32_t kIsResponse = 0x8000;
constexpr uint8_t kTypeGroup = 0xF0, kTypeCommand = 0x11;
constexpr uint8_t kResetGroup = 0x05, kResetCommand = 0x00;
constexpr uint32_t kResetAcceptHeader = 0x00008005;
constexpr uint32_t kResetResponseLength = 12;

// Commands of the QUARN client: the answer carries the command with bit 7 set.
constexpr uint8_t kFeatureSetCommand = 0x01;
constexpr uint8_t kWatchdogCommand = 0x05;
constexpr uint8_t kAnswerBit = 0x80;

// The clock client: CloxCommand is word 1, CloxResponse word 2 of a 48-byte message.
constexpr uint32_t kCloxCommand = 27;
constexpr size_t kCloxCommandOffset = 4, kCloxResponseOffset = 8;
constexpr size_t kClockMessageLength = 48;

// VORNFS1 fields the reset changes.
constexpr uint32_t kCurrentStateMask = 0x0000000F;
constexpr uint32_t kResetCounterShift = 20;
constexpr uint32_t kResetCounterMask = 0xFu << kResetCounterShift;

uint32_t Word(const std::vector<uint8_t> &Bytes, size_t Offset) {
  uint32_t Value = 0;
  if (Bytes.size() >= Offset + 4) std::memcpy(&Value, Bytes.data() + Offset, 4);
  return Value;
}

void PutWord(std::vector<uint8_t> &Bytes, size_t Offset, uint32_t Value) {
  if (Bytes.size() < Offset + 4) Bytes.resize(Offset + 4, 0);
  std::memcpy(Bytes.data() + Offset, &Value, 4);
}

std::string Hex(unsigned Value, int Digits) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%0*X", Digits, Value);
  return Text;
}

}  // namespace

QuarnFirmware::QuarnFirmware(Board &B, VornDevice &Vorn, const Scenario &S) : Board_(B), Vorn_(Vorn), Scenario_(S) {
  Ppi_.SendWithAck = PpiSendWithAck;
  Ppi_.ReadMessage = PpiReadMessage;
  Ppi_.SendMessage = PpiSendMessage;
  Ppi_.ResetInterface = PpiResetInterface;
  Ppi_.InitializeInterface = PpiInitializeInterface;
  Ppi_.GetVornStatus = PpiGetVornStatus;
  // A PPI another module filled in badly: callers must check an entry before they call it.
  if (S.DruxNullSendWithAck) Ppi_.SendWithAck = nullptr;
  if (S.DruxNullGetVornStatus) Ppi_.GetVornStatus = nullptr;
  B.Provide(this);
}

QuarnFirmware::~QuarnFirmware() {
  if (Board_.Find<QuarnFirmware>() == this) Board_.Provide<QuarnFirmware>(nullptr);
}

DRUX_PPI *QuarnFirmware::Ppi() { return &Ppi_; }

const std::vector<MessageExchange> &QuarnFirmware::Exchanges() const { return Exchanges_; }

// --- PPI entries: no context pointer, so the model is found through the current board ---

QuarnFirmware *QuarnFirmware::Current() {
  auto *B = dynamic_cast<Board *>(GetCpuIntrinsicsBackend());
  return B != nullptr ? B->Find<QuarnFirmware>() : nullptr;
}

EFI_STATUS EFIAPI QuarnFirmware::PpiSendWithAck(UINT32 DeviceIndex, VOID *Buffer, UINT32 RequestLength,
                                                UINT32 *ResponseLength, UINT8 HostAddress, UINT8 ClientAddress) {
  QuarnFirmware *Model = Current();
  if (Model == nullptr) return EFI_NOT_READY;
  return Model->SendWithAck(DeviceIndex, Buffer, RequestLength, ResponseLength, HostAddress, ClientAddress);
}

EFI_STATUS EFIAPI QuarnFirmware::PpiGetVornStatus(UINT32 *Status) {
  QuarnFirmware *Model = Current();
  if (Model == nullptr) return EFI_NOT_READY;
  return Model->GetVornStatus(Status);
}

// The module never calls entries 2 to 5; they answer, traced, that they are not offered.
EFI_STATUS EFIAPI QuarnFirmware::PpiReadMessage(UINT32, UINT32, VOID *, UINT32 *) {
  if (QuarnFirmware *Model = Current()) Model->Board_.TraceEvent("call", "DRUX_PPI.ReadMessage (not offered)");
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI QuarnFirmware::PpiSendMessage(UINT32, VOID *, UINT32, UINT8, UINT8) {
  if (QuarnFirmware *Model = Current()) Model->Board_.TraceEvent("call", "DRUX_PPI.SendMessage (not offered)");
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI QuarnFirmware::PpiResetInterface(UINT32) {
  if (QuarnFirmware *Model = Current()) Model->Board_.TraceEvent("call", "DRUX_PPI.ResetInterface (not offered)");
  return EFI_UNSUPPORTED;
}

EFI_STATUS EFIAPI QuarnFirmware::PpiInitializeInterface(UINT32) {
  if (QuarnFirmware *Model = Current()) Model->Board_.TraceEvent("call", "DRUX_PPI.InitializeInterface (not offered)");
  return EFI_UNSUPPORTED;
}

// --- the model ------------------------------------------------------------------------------

EFI_STATUS QuarnFirmware::GetVornStatus(uint32_t *Status) {
  Board_.TraceEvent("call", "DRUX_PPI.GetVornStatus", Scenario_.VornStatus);
  Board_.FastForwardTo(Board_.NowNs() + kStatusCostNs, TimeCategory::Firmware);
  StatusQueries_++;
  if (Status == nullptr) return EFI_INVALID_PARAMETER;
  if (Board_.FailsNow("GetVornStatus", EFI_DEVICE_ERROR)) return EFI_DEVICE_ERROR;
  if (!EFI_ERROR(Scenario_.VornStatusResult)) *Status = Scenario_.VornStatus;
  return Scenario_.VornStatusResult;
}

const char *QuarnFirmware::Classify(uint8_t Client, const std::vector<uint8_t> &Request) {
  if (Client == kClientManagement && Request.size() >= 4) {
    const uint32_t Header = Word(Request, 0);
    const uint8_t Group = Header & 0xFF;
    const uint8_t Command = (Header >> 8) & 0x7F;
    if (Group == kTypeGroup && Command == kTypeCommand) return "type";
    if (Group == kResetGroup && Command == kResetCommand) return "pre-did-reset";
  } else if (Client == kClientQuarn && !Request.empty()) {
    if (Request[0] == kFeatureSetCommand) return "feature-set";
    if (Request[0] == kWatchdogCommand) return "watchdog";
  } else if (Client == kClientClox && Word(Request, kCloxCommandOffset) == kCloxCommand) {
    return "clock";
  }
  return "unknown";
}

QuarnFirmware::Answer QuarnFirmware::Model(const std::string &Kind, const std::vector<uint8_t> &Request) const {
  Answer A;
  const Scenario &S = Scenario_;
  if (Kind == "type") {
    PutWord(A.Response, 0, Word(Request, 0) | kIsResponse);
    PutWord(A.Response, 4, uint32_t(S.FwType & 0x7) | (uint32_t(S.FwSubType) << 3));
  } else if (Kind == "feature-set") {
    A.Response = {uint8_t(kFeatureSetCommand | kAnswerBit), 0, 0};
    PutWord(A.Response, 3, S.FeatureSet);
    PutWord(A.Response, 7, S.FeatureSet2);
  } else if (Kind == "watchdog") {
    A.Response = {uint8_t(kWatchdogCommand | kAnswerBit), S.WatchdogStatus};
  } else if (Kind == "clock") {
    A.Response = Request;
    A.Response.resize(kClockMessageLength, 0);
    PutWord(A.Response, kCloxCommandOffset, kCloxCommand);
    PutWord(A.Response, kCloxResponseOffset, S.CloxResponse);
  } else if (Kind == "pre-did-reset") {
    if (S.PreDidResetAccept) {
      A.Response.assign(kResetResponseLength, 0);
      PutWord(A.Response, 0, kResetAcceptHeader);
    } else {
      A.Response = Request;
    }
  } else {
    // Unknown client or command: refused, no response.
    A.Result = EFI_UNSUPPORTED;
  }
  return A;
}

const MessageOverride *QuarnFirmware::OverrideFor(const std::string &Kind) const {
  if (Kind == "type") return &Scenario_.TypeOverride;
  if (Kind == "feature-set") return &Scenario_.FeatureSetOverride;
  if (Kind == "watchdog") return &Scenario_.WatchdogOverride;
  if (Kind == "clock") return &Scenario_.ClockOverride;
  if (Kind == "pre-did-reset") return &Scenario_.PreDidResetOverride;
  return nullptr;
}

void QuarnFirmware::StartPreDidReset(uint64_t RequestNs) {
  LastResetNs_ = RequestNs;
  Board_.TraceEvent("vorn", "QUARN firmware: pre-DID reset started");
  // The changes read the register as it stands, never through Read(): a read would apply
  // other due changes first, out of their order.
  if (Scenario_.CounterAfterMs) {
    Vorn_.Schedule(
        RequestNs + *Scenario_.CounterAfterMs * kNsPerMs,
        [](VornDevice &V) {
          const uint32_t Fs1 = V.Value(VornDevice::Register::Fs1);
          const uint32_t Counter = ((Fs1 >> kResetCounterShift) + 1) & 0xF;
          V.Write(VornDevice::Register::Fs1,
                  (Fs1 & ~(kResetCounterMask | kCurrentStateMask)) | (Counter << kResetCounterShift));
        },
        "firmware", "pre-DID reset: ResetCounter steps, CurrentState 0 (the firmware restarts)");
  }
  if (Scenario_.StateAfterMs) {
    const uint32_t State = Scenario_.PreDidResetState & kCurrentStateMask;
    Vorn_.Schedule(
        RequestNs + *Scenario_.StateAfterMs * kNsPerMs,
        [State](VornDevice &V) {
          const uint32_t Fs1 = V.Value(VornDevice::Register::Fs1);
          V.Write(VornDevice::Register::Fs1, (Fs1 & ~kCurrentStateMask) | State);
        },
        "firmware", "pre-DID reset: CurrentState " + std::to_string(State));
  }
}

EFI_STATUS QuarnFirmware::SendWithAck(uint32_t DeviceIndex, void *Buffer, uint32_t RequestLength,
                                      uint32_t *ResponseLength, uint8_t HostAddress, uint8_t ClientAddress) {
  MessageExchange X;
  X.Client = ClientAddress;
  X.RequestLength = RequestLength;
  X.TimeNs = Board_.NowNs();
  X.Capacity = ResponseLength != nullptr ? *ResponseLength : 0;
  X.Kind = "unknown";

  const bool Usable = Buffer != nullptr && ResponseLength != nullptr && DeviceIndex == 0 && HostAddress == 0 &&
                      RequestLength <= kMaxRequestLength;
  if (Usable) {
    const auto *Bytes = static_cast<const uint8_t *>(Buffer);
    X.Request.assign(Bytes, Bytes + RequestLength);
    X.Kind = Classify(ClientAddress, X.Request);
  }
  Board_.TraceEvent("call", "DRUX_PPI.SendWithAck client " + Hex(ClientAddress, 2) + " " + X.Kind, RequestLength);
  Board_.FastForwardTo(Board_.NowNs() + kSendCostNs, TimeCategory::Firmware);

  Answer A;
  if (!Usable) {
    A.Result = EFI_INVALID_PARAMETER;
  } else if (Board_.FailsNow("SendWithAck", EFI_DEVICE_ERROR)) {
    A.Result = EFI_DEVICE_ERROR;
  } else {
    A = Model(X.Kind, X.Request);
    const size_t Call = Exchanges_.size();
    const MessageOverride *O =
        Call < Scenario_.AnswerScript.size() ? &Scenario_.AnswerScript[Call] : OverrideFor(X.Kind);
    if (O != nullptr) {
      if (O->Result) A.Result = *O->Result;
      if (O->Response) A.Response = *O->Response;
      A.ReportedLength = O->ResponseLength;
    }
    if (X.Kind == "pre-did-reset" && Scenario_.PreDidResetAccept && !EFI_ERROR(A.Result)) StartPreDidReset(X.TimeNs);
  }

  X.Result = A.Result;
  if (!EFI_ERROR(A.Result)) {
    // Never past the capacity the caller gave; the reported length may still be scripted.
    const size_t Written = std::min<size_t>(A.Response.size(), X.Capacity);
    if (Written != 0) std::memcpy(Buffer, A.Response.data(), Written);
    X.Response.assign(A.Response.begin(), A.Response.begin() + Written);
    X.ResponseLength = A.ReportedLength.value_or(uint32_t(Written));
    *ResponseLength = X.ResponseLength;
  }
  Board_.TraceEvent("call", "DRUX_PPI.SendWithAck -> " + StatusName(A.Result), X.ResponseLength);
  Exchanges_.push_back(std::move(X));
  return A.Result;
}

}  // namespace quarn::emu
