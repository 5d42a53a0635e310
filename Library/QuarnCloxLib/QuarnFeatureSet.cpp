/** @file
  The firmware's feature set, whether it supports clock control, and whether it sits in
  recovery.

  The feature-set answer is used only when it is exactly 11 bytes long and starts with
  the answer command byte; the two words are copied out of the caller's stack buffer
  byte-exactly, so no reported length makes this code read past it.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/PeiServicesLib.h>
}
#include <Library/QuarnCloxLib.h>
#include <Library/VornStatusLib.h>
#include <Library/VornTypeGetLib.h>
#include <Ppi/Drux.h>
#include <Register/VornRegs.h>

namespace {

constexpr UINT8 kFeatureSetCommand = QUARN_FEATURE_SET_COMMAND;
constexpr UINT8 kFeatureSetAnswer = kFeatureSetCommand | QUARN_ANSWER_BIT;

constexpr UINT32 kFeatureSetRequestLength = QUARN_FEATURE_SET_REQUEST_LENGTH;

}  // namespace

extern "C" {

/**
  Asks the firmware for its feature set.
  @param FeatureSet  Receives both words of a correct answer; left alone otherwise.
  @return TRUE when the firmware answered 0x81 with 11 bytes; FALSE when FeatureSet is
          NULL, DRUX_PPI is missing, the send fails or the answer is wrong (each but the
          first reported by an error line).
**/
BOOLEAN QuarnGetFeatureSet(OUT QUARN_FEATURE_SET *FeatureSet) {
  [[maybe_unused]] constexpr CHAR8 kFunction[] = "QuarnGetFeatureSet";
  if (FeatureSet == nullptr) {
    return FALSE;
  }
  DEBUG ((DEBUG_INFO, "[QUARN] %a \n", kFunction));

  QUARN_FEATURE_SET_MESSAGE Message;
  ZeroMem(&Message, sizeof(Message));

  DRUX_PPI *Drux = nullptr;
  EFI_STATUS Status = PeiServicesLocatePpi(&gDruxPpiGuid, 0, nullptr, reinterpret_cast<VOID **>(&Drux));
  if (EFI_ERROR(Status) || Drux == nullptr || Drux->SendWithAck == nullptr) {
    DEBUG ((DEBUG_ERROR, "[QUARN] %a: Cannot locate DRUX PPI\n", kFunction));
    return FALSE;
  }

  Message.Command = kFeatureSetCommand;
  UINT32 ResponseLength = sizeof(Message);
  Status = Drux->SendWithAck(0, &Message, kFeatureSetRequestLength, &ResponseLength, 0, DRUX_CLIENT_QUARN);
  if (EFI_ERROR(Status)) {
    DEBUG ((DEBUG_ERROR, "[QUARN] %a: Communication problem (status: %r)\n", kFunction, Status));
    return FALSE;
  }

  if (Message.Command == kFeatureSetAnswer && ResponseLength == sizeof(Message)) {
    FeatureSet->FeatureSet = ReadUnaligned32(reinterpret_cast<const UINT32 *>(Message.FeatureSet));
    FeatureSet->FeatureSet2 = ReadUnaligned32(reinterpret_cast<const UINT32 *>(Message.FeatureSet2));
    return TRUE;
  }

  DEBUG ((DEBUG_ERROR, "[QUARN] %a: Invalid response (cmd: 0x%X, len %d)\n", kFunction,
          ReadUnaligned32(reinterpret_cast<const UINT32 *>(&Message)), ResponseLength));
  return FALSE;
}

/**
  TRUE when the firmware answers its feature set with CloxSupported (bit 2) set; any
  failure of the query counts as not supported. Prints the result as 0 or 1.
**/
BOOLEAN QuarnIsCloxSupported(VOID) {
  [[maybe_unused]] constexpr CHAR8 kFunction[] = "QuarnIsCloxSupported";
  DEBUG ((DEBUG_INFO, "[QUARN] %a \n", kFunction));
  QUARN_FEATURE_SET FeatureSet = {0, 0};
  const BOOLEAN Supported =
      (QuarnGetFeatureSet(&FeatureSet) && (FeatureSet.FeatureSet & QUARN_FEATURE_CLOX_SUPPORTED) != 0) ? TRUE : FALSE;
  DEBUG ((DEBUG_INFO, "[QUARN] %a, CloxSupported: %d\n", kFunction, static_cast<UINT32>(Supported)));
  return Supported;
}

/**
  TRUE when QUARN firmware runs and VORNFS1 is all ones or its CurrentState is 2
  (recovery); FALSE for any other firmware type. No message of its own.
**/
BOOLEAN QuarnIsInRecovery(VOID) {
  if (!VornTypeIsQuarn()) {
    return FALSE;
  }
  const UINT32 Fs1 = VornReadFs1();
  return (Fs1 == VORNFS_NOT_PRESENT || VornCurrentState(Fs1) == VORN_STATE_RECOVERY) ? TRUE : FALSE;
}
}
