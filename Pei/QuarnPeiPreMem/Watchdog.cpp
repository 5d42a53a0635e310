/** @file
  The BIOS-update watchdog control request: one 10-byte message to the QUARN client,
  answered in the same buffer with the command (bit 7 set) and a status byte.
**/
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>

#include "QuarnPeiPreMem.h"

namespace {

constexpr CHAR8 kSource[] = "Pei/QuarnPeiPreMem/Watchdog";

constexpr UINT8 kWatchdogCommand = 0x05;
constexpr UINT8 kResponseBit = 0x80;
constexpr UINT8 kWatchdogParameter = 0x04;
constexpr UINT32 kResponseCapacity = 2;

#pragma pack(push, 1)
/// The message as sent, and the answer that replaces it.
typedef union {
  struct {
    UINT8 Command;
    UINT8 Reserved[8];
    UINT8 Parameter;
  } Request;
  struct {
    UINT8 Command;
    UINT8 Status;
  } Response;
} WATCHDOG_CONTROL_REQUEST;
#pragma pack(pop)
static_assert(sizeof(WATCHDOG_CONTROL_REQUEST) == 10, "watchdog request is 10 bytes");
static_assert(offsetof(WATCHDOG_CONTROL_REQUEST, Request.Parameter) == 9, "parameter at 9");
static_assert(offsetof(WATCHDOG_CONTROL_REQUEST, Response.Status) == 1, "answer status at 1");

}  // namespace

extern "C" {

/**
  Asks the firmware to enable its BIOS-update watchdog and checks the answer.

  @param Drux  The message PPI; NULL (or its SendWithAck NULL) asserts and sends nothing.
  @return the send status (success or warning) when the answer is 0x85 with status 0;
          the send's error status when the send failed; EFI_UNSUPPORTED for a wrong
          answer byte or a non-zero status; EFI_INVALID_PARAMETER without a PPI.
**/
EFI_STATUS QuarnSendBiosUpdateWatchdogControl(IN DRUX_PPI *Drux) {
  if (Drux == nullptr || Drux->SendWithAck == nullptr) {
    DebugCheckEfiStatus(EFI_INVALID_PARAMETER, kSource, __LINE__, "!EFI_ERROR (((RETURN_STATUS)(0x80000000 | (2))))");
    return EFI_INVALID_PARAMETER;
  }

  WATCHDOG_CONTROL_REQUEST Message;
  ZeroMem(&Message, sizeof(Message));
  DebugPrint(DEBUG_INFO, "%a Sending QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ\n", kQuarnPreMemTag);

  Message.Request.Command = kWatchdogCommand;
  Message.Request.Parameter = kWatchdogParameter;
  UINT32 ResponseLength = kResponseCapacity;

  const EFI_STATUS Status =
      Drux->SendWithAck(0, &Message, sizeof(Message), &ResponseLength, 0, DRUX_CLIENT_QUARN);
  if (EFI_ERROR(Status)) {
    DebugPrint(DEBUG_ERROR, "%a ERROR: Cannot send QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ (%r)\n",
               kQuarnPreMemTag, Status);
    return Status;
  }
  if (Message.Response.Command != (kWatchdogCommand | kResponseBit)) {
    DebugPrint(DEBUG_ERROR, "%a ERROR: QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL response failed\n", kQuarnPreMemTag);
    return EFI_UNSUPPORTED;
  }
  if (Message.Response.Status != 0) {
    DebugPrint(DEBUG_ERROR, "%a ERROR: BIOS_UPDATE_WATCHDOG_CONTROL failed (status: %d)\n", kQuarnPreMemTag,
               static_cast<UINT32>(Message.Response.Status));
    return EFI_UNSUPPORTED;
  }
  DebugPrint(DEBUG_INFO, "%a BIOS_UPDATE_WATCHDOG_CONTROL reports success\n", kQuarnPreMemTag);
  return Status;
}

}
