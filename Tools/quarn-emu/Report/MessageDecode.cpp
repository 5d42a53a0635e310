#include "MessageDecode.h"

#include <Library/QuarnCloxLib.h>
#include <Library/VornEwlLib.h>
#include <Library/VornTypeGetLib.h>
extern "C" {
#include <PiPei.h>
#include <Pi/PiStatusCode.h>
}
#include <Ppi/Drux.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "Pei/QuarnPeiPreMem/QuarnPeiPreMem.h"
#include "ReportJson.h"

namespace quarn::emu::cli {

namespace {

using nlohmann::json;

std::string Hex(uint32_t Value, unsigned Digits) {
  char Text[16];
  std::snprintf(Text, sizeof Text, "0x%0*X", static_cast<int>(Digits), Value);
  return Text;
}

/// Reads fields of one layout out of Bytes, in offset order. A field that does not lie
/// wholly inside the bytes is left out, and so is every field after it: the bytes from
/// there on are kept as the rest.
class LayoutReader {
 public:
  LayoutReader(Decoded &Out, const std::vector<uint8_t> &Bytes, size_t LayoutLength)
      : Out_(Out), Bytes_(Bytes), LayoutLength_(LayoutLength) {}

  /// A little-endian number of Size bytes (1, 2 or 4) at Offset; false when it is not there.
  bool Number(const char *Name, size_t Offset, size_t Size, unsigned HexDigits, uint32_t *Value = nullptr) {
    if (!Fits(Offset, Size)) return false;
    uint32_t Read = 0;
    std::memcpy(&Read, Bytes_.data() + Offset, Size);  // little-endian host, as the board
    Out_.Fields.push_back({Name, Read, HexDigits, false, {}});
    if (Value != nullptr) *Value = Read;
    return true;
  }

  /// A run of Size bytes at Offset.
  void Run(const char *Name, size_t Offset, size_t Size) {
    if (!Fits(Offset, Size)) return;
    Out_.Fields.push_back({Name, 0, 0, true, {Bytes_.begin() + Offset, Bytes_.begin() + Offset + Size}});
  }

  /// A value taken from a field already read (a bit field of a header word, say).
  void Derived(const char *Name, uint32_t Value, unsigned HexDigits = 0) {
    Out_.Fields.push_back({Name, Value, HexDigits, false, {}});
  }

  /// Names what does not fit and keeps the bytes no field took.
  void Finish() {
    const size_t Size = Bytes_.size();
    if (Size < LayoutLength_) {
      Out_.Problem =
          std::to_string(Size) + (Size == 1 ? " byte" : " bytes") + "; the layout has " + std::to_string(LayoutLength_);
    } else if (Size > LayoutLength_) {
      Out_.Problem =
          std::to_string(Size) + " bytes; the layout has " + std::to_string(LayoutLength_) + ", the rest is kept";
    }
    const size_t From = std::min(Cut_, std::min(LayoutLength_, Size));
    Out_.Rest.assign(Bytes_.begin() + From, Bytes_.end());
  }

 private:
  bool Fits(size_t Offset, size_t Size) {
    if (Offset >= Cut_ || Offset + Size > Bytes_.size()) {
      Cut_ = std::min(Cut_, Offset);
      return false;
    }
    return true;
  }

  Decoded &Out_;
  const std::vector<uint8_t> &Bytes_;
  size_t LayoutLength_;
  size_t Cut_ = SIZE_MAX;
};

/// The management client's header word and its three parts.
void HeaderWord(LayoutReader &Reader, size_t Offset) {
  uint32_t Header = 0;
  if (!Reader.Number("Header", Offset, 4, 8, &Header)) return;
  Reader.Derived("GroupId", DruxHeaderGroupId(Header), 2);
  Reader.Derived("Command", DruxHeaderCommand(Header), 2);
  Reader.Derived("IsResponse", DruxHeaderIsResponse(Header) ? 1 : 0);
}

void TypeQuery(LayoutReader &Reader, bool Response) {
  HeaderWord(Reader, offsetof(VORN_TYPE_MESSAGE, Header));
  if (!Response) return;
  uint32_t TypeWord = 0;
  if (!Reader.Number("TypeWord", offsetof(VORN_TYPE_MESSAGE, TypeWord), 4, 8, &TypeWord)) return;
  Reader.Derived("FwType", VornTypeWordFwType(TypeWord));
  Reader.Derived("FwSubType", VornTypeWordFwSubType(TypeWord));
}

void PreDidReset(LayoutReader &Reader, bool) {
  HeaderWord(Reader, offsetof(PRE_DID_RESET_REQUEST, Header));
  Reader.Run("Parameters", offsetof(PRE_DID_RESET_REQUEST, Parameters), sizeof(PRE_DID_RESET_REQUEST::Parameters));
}

void Watchdog(LayoutReader &Reader, bool Response) {
  using Message = WATCHDOG_CONTROL_REQUEST;
  if (Response) {
    Reader.Number("Command", offsetof(Message, Response.Command), 1, 2);
    Reader.Number("Status", offsetof(Message, Response.Status), 1, 0);
    return;
  }
  Reader.Number("Command", offsetof(Message, Request.Command), 1, 2);
  Reader.Run("Reserved", offsetof(Message, Request.Reserved), sizeof(Message{}.Request.Reserved));
  Reader.Number("Parameter", offsetof(Message, Request.Parameter), 1, 2);
}

void FeatureSet(LayoutReader &Reader, bool Response) {
  using Message = QUARN_FEATURE_SET_MESSAGE;
  Reader.Number("Command", offsetof(Message, Command), 1, 2);
  if (!Response) return;
  Reader.Run("Reserved", offsetof(Message, Reserved), sizeof(Message::Reserved));
  uint32_t Features = 0;
  if (Reader.Number("FeatureSet", offsetof(Message, FeatureSet), 4, 8, &Features)) {
    Reader.Derived("CloxSupported", (Features & QUARN_FEATURE_CLOX_SUPPORTED) != 0 ? 1 : 0);
  }
  Reader.Number("FeatureSet2", offsetof(Message, FeatureSet2), 4, 8);
}

void ClockSettings(LayoutReader &Reader, bool) {
  using Message = CLOX_CLOCK_SETTINGS;
  constexpr size_t H = offsetof(Message, Header);
  Reader.Number("HeaderWord0", H + offsetof(CLOX_HEADER, HeaderWord0), 4, 8);
  Reader.Number("CloxCommand", H + offsetof(CLOX_HEADER, CloxCommand), 4, 0);
  Reader.Number("CloxResponse", H + offsetof(CLOX_HEADER, CloxResponse), 4, 0);
  Reader.Number("BufferLength", H + offsetof(CLOX_HEADER, BufferLength), 4, 0);
  Reader.Number("Reserved", H + offsetof(CLOX_HEADER, Reserved), 4, 0);
  Reader.Number("Selector", offsetof(Message, Selector), 2, 0);
  Reader.Number("Frequency", offsetof(Message, Frequency), 4, 0);
  Reader.Number("SscPercentage", offsetof(Message, SscPercentage), 1, 0);
  Reader.Number("ClockFlags", offsetof(Message, ClockFlags), 2, 4);
}

/// One layout of the exchange: the kind the firmware model gives the message, the
/// layout's name stem and title, its lengths each way, and its reader.
struct MessageLayout {
  const char *Kind;
  const char *Name;
  const char *Title;
  size_t RequestLength;
  size_t ResponseLength;
  void (*Read)(LayoutReader &, bool Response);
};

constexpr MessageLayout kMessageLayouts[] = {
    {"type", "type-query", "type query", VORN_TYPE_QUERY_REQUEST_LENGTH, sizeof(VORN_TYPE_MESSAGE), TypeQuery},
    {"pre-did-reset", "pre-did-reset", "pre-DID reset", sizeof(PRE_DID_RESET_REQUEST), sizeof(PRE_DID_RESET_REQUEST),
     PreDidReset},
    {"watchdog", "watchdog", "watchdog control", sizeof(WATCHDOG_CONTROL_REQUEST), WATCHDOG_CONTROL_RESPONSE_CAPACITY,
     Watchdog},
    {"feature-set", "feature-set", "feature set", QUARN_FEATURE_SET_REQUEST_LENGTH, sizeof(QUARN_FEATURE_SET_MESSAGE),
     FeatureSet},
    {"clock", "clock-settings", "clock settings", sizeof(CLOX_CLOCK_SETTINGS), sizeof(CLOX_CLOCK_SETTINGS),
     ClockSettings},
};

const MessageLayout *LayoutFor(const std::string &Kind) {
  for (const MessageLayout &Layout : kMessageLayouts) {
    if (Kind == Layout.Kind) return &Layout;
  }
  return nullptr;
}

Decoded Undecodable(const std::vector<uint8_t> &Bytes, std::string Problem) {
  Decoded D;
  D.Layout = "undecodable";
  D.Title = "undecodable";
  D.Problem = std::move(Problem);
  D.Rest = Bytes;
  return D;
}

Decoded DecodeMessage(const MessageExchange &M, const std::vector<uint8_t> &Bytes, bool Response) {
  const MessageLayout *Layout = LayoutFor(M.Kind);
  if (Layout == nullptr) {
    return Undecodable(Bytes, "no layout for a message of client " + Hex(M.Client, 2) + " of " +
                                  std::to_string(Bytes.size()) + " bytes");
  }
  Decoded D;
  D.Layout = std::string(Layout->Name) + (Response ? "-response" : "-request");
  D.Title = std::string(Layout->Title) + (Response ? " response" : " request");
  LayoutReader Reader(D, Bytes, Response ? Layout->ResponseLength : Layout->RequestLength);
  Layout->Read(Reader, Response);
  Reader.Finish();
  return D;
}

/// A part of a status code by name, or in hex when it has none here.
std::string Part(uint32_t Value, uint32_t Named, const char *Name) {
  return Value == Named ? std::string(Name) : Hex(Value, 8);
}

}  // namespace

Decoded DecodeRequest(const MessageExchange &Message) { return DecodeMessage(Message, Message.Request, false); }

Decoded DecodeResponse(const MessageExchange &Message) {
  if (EFI_ERROR(Message.Result)) {
    Decoded D;
    D.Layout = "none";
    D.Title = "no response";
    return D;
  }
  Decoded D = DecodeMessage(Message, Message.Response, true);
  if (Message.ResponseLength != Message.Response.size()) {
    const std::string Length = "reported length " + std::to_string(Message.ResponseLength) + ", " +
                               std::to_string(Message.Response.size()) + " bytes in the buffer";
    D.Problem = D.Problem.empty() ? Length : D.Problem + "; " + Length;
  }
  return D;
}

Decoded DecodeStatusCode(const StatusCodeRecord &Code) {
  constexpr size_t kWrapper = sizeof(EFI_STATUS_CODE_DATA);
  const std::vector<uint8_t> &Data = Code.Data;
  uint32_t EntryType = 0;
  if (Data.size() >= kWrapper + sizeof(EntryType)) std::memcpy(&EntryType, Data.data() + kWrapper, sizeof(EntryType));
  const bool State = EntryType == VORN_EWL_TYPE_STATE;
  if (Data.size() < kWrapper + sizeof(EntryType) || (!State && EntryType != VORN_EWL_TYPE_RESET)) {
    return Undecodable(
        Data, "no error-log record of this module in " + std::to_string(Data.size()) + " bytes of extended data");
  }
  Decoded D;
  D.Layout = State ? "state-record" : "reset-record";
  D.Title = State ? "state record" : "reset record";
  LayoutReader Reader(D, Data, kWrapper + (State ? sizeof(VORN_EWL_STATE_ENTRY) : sizeof(VORN_EWL_RESET_ENTRY)));
  Reader.Number("HeaderSize", offsetof(EFI_STATUS_CODE_DATA, HeaderSize), 2, 0);
  Reader.Number("Size", offsetof(EFI_STATUS_CODE_DATA, Size), 2, 0);
  const auto Header = [&](size_t Offset) { return kWrapper + Offset; };
  Reader.Number("EntryType", Header(offsetof(VORN_EWL_HEADER, EntryType)), 4, 0);
  Reader.Number("EntrySize", Header(offsetof(VORN_EWL_HEADER, EntrySize)), 2, 0);
  Reader.Number("Severity", Header(offsetof(VORN_EWL_HEADER, Severity)), 4, 0);
  Reader.Number("EntryCode", Header(offsetof(VORN_EWL_HEADER, EntryCode)), 4, 8);
  Reader.Number("EntryContext", Header(offsetof(VORN_EWL_HEADER, EntryContext)), 4, 8);
  if (State) {
    using Entry = VORN_EWL_STATE_ENTRY;
    Reader.Number("VornFs1", Header(offsetof(Entry, VornFs1)), 4, 8);
    Reader.Number("VornFs2", Header(offsetof(Entry, VornFs2)), 4, 8);
    Reader.Number("Fn1Status", Header(offsetof(Entry, Fn1Status)), 4, 8);
    Reader.Number("Fn4Status", Header(offsetof(Entry, Fn4Status)), 4, 8);
    Reader.Number("Fn6Status", Header(offsetof(Entry, Fn6Status)), 4, 8);
  } else {
    using Entry = VORN_EWL_RESET_ENTRY;
    Reader.Number("VornFs1", Header(offsetof(Entry, VornFs1)), 4, 8);
    Reader.Number("VornFs2", Header(offsetof(Entry, VornFs2)), 4, 8);
    Reader.Number("ResetDetail", Header(offsetof(Entry, ResetDetail)), 4, 8);
    Reader.Run("Reserved", Header(offsetof(Entry, Reserved)), sizeof(Entry::Reserved));
  }
  Reader.Finish();
  return D;
}

std::string StatusCodeTypeName(uint32_t Type) {
  constexpr uint32_t kCodeTypeMask = 0x000000FF;
  constexpr uint32_t kSeverityMask = 0xFF000000;
  std::string Name = Part(Type & kCodeTypeMask, EFI_ERROR_CODE, "EFI_ERROR_CODE");
  if ((Type & kSeverityMask) != 0) Name += " | " + Part(Type & kSeverityMask, EFI_ERROR_MINOR, "EFI_ERROR_MINOR");
  if ((Type & ~(kCodeTypeMask | kSeverityMask)) != 0) Name += " | " + Hex(Type & ~(kCodeTypeMask | kSeverityMask), 8);
  return Name;
}

std::string StatusCodeValueName(uint32_t Value) {
  constexpr uint32_t kClassMask = 0xFFFF0000;
  return Part(Value & kClassMask, EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR, "EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR") +
         " | " + Part(Value & ~kClassMask, EFI_CU_EC_NON_SPECIFIC, "EFI_CU_EC_NON_SPECIFIC");
}

std::string FieldsText(const Decoded &D) {
  std::string Text;
  for (const DecodedField &F : D.Fields) {
    if (!Text.empty()) Text += ", ";
    Text += F.Name + " ";
    if (F.IsBytes) {
      Text += HexString(F.Bytes);
    } else if (F.HexDigits != 0) {
      Text += Hex(F.Value, F.HexDigits);
    } else {
      Text += std::to_string(F.Value);
    }
  }
  return Text;
}

json DecodedJson(const Decoded &D) {
  json Fields = json::object();
  for (const DecodedField &F : D.Fields) Fields[F.Name] = F.IsBytes ? json(HexString(F.Bytes)) : json(F.Value);
  json J = {{"layout", D.Layout}, {"title", D.Title}, {"fields", Fields}, {"rest", HexString(D.Rest)}};
  if (!D.Problem.empty()) J["problem"] = D.Problem;
  return J;
}

}  // namespace quarn::emu::cli
