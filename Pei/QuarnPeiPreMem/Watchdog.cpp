/** @file
  The BIOS-update watchdog control request: one 10-byte message to the QUARN client,
  answered in the same buffer with the command (bit 7 set) and a status byte.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
}

#include "QuarnPeiPreMem.h"

namespace {

constexpr UINT8 kWatchdogCommand = WATCHDOG_CONTROL_COMMAND;
constexpr UINT8 kResponseBit = QUARN_ANSWER_BIT;
constexpr UINT8 kWatchdogParameter = WATCHDOG_CONTROL_PARAMETER;
constexpr UINT32 kResponseCapacity = WATCHDOG_CONTROL_RESPONSE_CAPACITY;

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
    ASSERT_EFI_ERROR (EFI_INVALID_PARAMETER);
    return EFI_INVALID_PARAMETER;
  }

  WATCHDOG_CONTROL_REQUEST Message;
  ZeroMem(&Message, sizeof(Message));
  DEBUG ((DEBUG_INFO, "%a Sending QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ\n", kQuarnPreMemTag));

  Message.Request.Command = kWatchdogCommand;
  Message.Request.Parameter = kWatchdogParameter;
  UINT32 ResponseLength = kResponseCapacity;

  const EFI_STATUS Status = Drux->SendWithAck(0, &Message, sizeof(Message), &ResponseLength, 0, DRUX_CLIENT_QUARN);
  if (EFI_ERROR(Status)) {
    DEBUG ((DEBUG_ERROR, "%a ERROR: Cannot send QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ (%r)\n",
            kQuarnPreMemTag, Status));
    return Status;
  }
  if (Message.Response.Command != (kWatchdogCommand | kResponseBit)) {
    DEBUG ((DEBUG_ERROR, "%a ERROR: QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL response failed\n", kQuarnPreMemTag));
    return EFI_UNSUPPORTED;
  }
  if (Message.Response.Status != 0) {
    DEBUG ((DEBUG_ERROR, "%a ERROR: BIOS_UPDATE_WATCHDOG_CONTROL failed (status: %d)\n", kQuarnPreMemTag,
            static_cast<UINT32>(Message.Response.Status)));
    return EFI_UNSUPPORTED;
  }
  DEBUG ((DEBUG_INFO, "%a BIOS_UPDATE_WATCHDOG_CONTROL reports success\n", kQuarnPreMemTag));
  return Status;
}
}
