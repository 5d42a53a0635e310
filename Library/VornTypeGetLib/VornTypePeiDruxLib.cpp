/** @file
  Asks the VORN firmware for its type over DRUX_PPI.

  The request is one header word; the answer is the header with IsResponse set and a
  type word. Only an answer of exactly 8 bytes is used, so a firmware that reports any
  other length (a larger one included) never makes this code read past its buffer.
**/
extern "C" {
#include <PiPei.h>
#include <Library/DebugLib.h>
#include <Library/PeiServicesLib.h>
}
#include <Library/VornStatusLib.h>
#include <Library/VornTypeGetLib.h>
#include <Ppi/Drux.h>
#include <QuarnAssert.h>

namespace {

constexpr CHAR8 kSource[] = "Library/VornTypeGetLib/VornTypePeiDruxLib";
constexpr UINTN kLocateAssertLine = 90;
constexpr CHAR8 kFunction[] = "PeiDruxGetVornType";

constexpr UINT32 kTypeGroupId = VORN_TYPE_QUERY_GROUP_ID;
constexpr UINT32 kTypeCommand = VORN_TYPE_QUERY_COMMAND;
constexpr UINT32 kTypeRequestHeader = DruxRequestHeader(kTypeGroupId, kTypeCommand);
static_assert(kTypeRequestHeader == 0x000011F0, "type query header");

/// The GetVornStatus words with which the firmware may be asked.
constexpr UINT32 kVornStatusReady = 0;
constexpr UINT32 kVornStatusNormal = 5;

/// FwType values the firmware reports.
constexpr UINT8 kFwTypeQuarn = 1;
constexpr UINT8 kFwTypeQuarnTav = 2;
constexpr UINT8 kFwTypeClient = 3;
constexpr UINT8 kFwSubTypeDfx = 3;

constexpr UINT32 kTypeRequestLength = VORN_TYPE_QUERY_REQUEST_LENGTH;

/**
  TRUE when the header word answers the type query: IsResponse set, GroupId 0xF0,
  Command 0x11; bits 31:16 are not looked at.
**/
constexpr bool IsTypeResponseHeader(UINT32 Header) {
  return DruxHeaderIsResponse(Header) && DruxHeaderGroupId(Header) == kTypeGroupId &&
         DruxHeaderCommand(Header) == kTypeCommand;
}
static_assert(IsTypeResponseHeader(0x000091F0), "answer header");
static_assert(!IsTypeResponseHeader(0x000011F0), "request header is no answer");
static_assert(!IsTypeResponseHeader(0x000092F0), "command 0x12 is no answer");

}  // namespace

extern "C" {

/**
  Asks the firmware for its type.
  @param FwType     Receives FwType of a well-formed answer; may be NULL.
  @param FwSubType  Receives FwSubType of a well-formed answer; may be NULL.
  @return VORN_TYPE_QUARN, _CLIENT or _DFX from the answer; VORN_TYPE_DISABLED in the
          Lumo flow; VORN_TYPE_UNDEF when the firmware cannot be asked or answers wrongly.
  Asserts (VornTypePeiDruxLib 90) when DRUX_PPI is not installed.
**/
UINT32 PeiDruxGetVornType(OUT UINT8 *FwType OPTIONAL, OUT UINT8 *FwSubType OPTIONAL) {
  DEBUG ((DEBUG_INFO, "DRUX: %a start\n", kFunction));
  if (QuarnIsLumoFlow()) {
    return VORN_TYPE_DISABLED;
  }

  DRUX_PPI *Drux = nullptr;
  EFI_STATUS Status = PeiServicesLocatePpi(&gDruxPpiGuid, 0, nullptr, reinterpret_cast<VOID **>(&Drux));
  if (!EFI_ERROR(Status) && (Drux == nullptr || Drux->SendWithAck == nullptr || Drux->GetVornStatus == nullptr)) {
    // A PPI that cannot be called is as good as none.
    Status = EFI_NOT_FOUND;
  }
  if (EFI_ERROR(Status)) {
    DEBUG ((DEBUG_ERROR, "ERROR: DRUX PPI not installed\n"));
    QuarnAssertEfiErrorAt(Status, kSource, kLocateAssertLine);
    return VORN_TYPE_UNDEF;
  }

  UINT32 VornStatus = 0;
  Status = Drux->GetVornStatus(&VornStatus);
  if (EFI_ERROR(Status) || (VornStatus != kVornStatusReady && VornStatus != kVornStatusNormal)) {
    return VORN_TYPE_UNDEF;
  }

  VORN_TYPE_MESSAGE Message = {kTypeRequestHeader, 0};
  UINT32 ResponseLength = sizeof(Message);
  UINT32 Result = VORN_TYPE_UNDEF;
  Status = Drux->SendWithAck(0, &Message, kTypeRequestLength, &ResponseLength, 0, DRUX_CLIENT_MANAGEMENT);

  if (!EFI_ERROR(Status) && IsTypeResponseHeader(Message.Header)) {
    if (ResponseLength != sizeof(Message)) {
      DEBUG ((DEBUG_ERROR, "DRUX: %a - Response: wrong length = %d\n", kFunction, ResponseLength));
    } else {
      const UINT8 Type = VornTypeWordFwType(Message.TypeWord);
      const UINT8 SubType = VornTypeWordFwSubType(Message.TypeWord);
      DEBUG ((DEBUG_INFO, "DRUX: %a() - OK: FwType = %d, FwSubType = %d\n", kFunction, static_cast<UINT32>(Type),
              static_cast<UINT32>(SubType)));
      if (FwType != nullptr) {
        *FwType = Type;
      }
      if (FwSubType != nullptr) {
        *FwSubType = SubType;
      }
      switch (Type) {
        case kFwTypeQuarn:
          Result = VORN_TYPE_QUARN;
          if (SubType == kFwSubTypeDfx) {
            DEBUG ((DEBUG_INFO, "DRUX: %a DFX FW discovered\n", kFunction));
            Result = VORN_TYPE_DFX;
          }
          break;
        case kFwTypeQuarnTav:
          DEBUG ((DEBUG_INFO, "DRUX: %a Use VornType QUARN for QUARN-TAV\n", kFunction));
          Result = VORN_TYPE_QUARN;
          break;
        case kFwTypeClient: Result = VORN_TYPE_CLIENT; break;
        default:
          DEBUG ((DEBUG_ERROR, "DRUX: %a() Unknown VORN Type reported by VORN\n", kFunction));
          Result = VORN_TYPE_UNDEF;
          break;
      }
    }
  }

  DEBUG ((DEBUG_INFO, "DRUX: %a Status is %r, returns %d\n", kFunction, Status, Result));
  return Result;
}
}
