/** @file
  The pre-DID reset and the two waits around it. Both waits poll VORNFS1 in steps of
  1 ms against a budget of steps the caller may share: each step spent is taken off
  the caller's count, so a second wait gets what the first left.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/PeiServicesLib.h>
#include <Library/TimerLib.h>
}
#include <Library/VornEwlLib.h>
#include <Library/VornStatusLib.h>
#include <Register/VornRegs.h>

#include "QuarnPeiPreMem.h"

namespace {

constexpr UINTN kPollStepMicroSeconds = 1000;

constexpr UINT32 kPreDidResetGroupId = PRE_DID_RESET_GROUP_ID;
constexpr UINT32 kPreDidResetCommand = PRE_DID_RESET_COMMAND;

/// TRUE when CurrentState is recovery or normal.
constexpr bool IsMeaningfulState(UINT32 Fs1) {
  return VornCurrentState(Fs1) == VORN_STATE_RECOVERY || VornCurrentState(Fs1) == VORN_STATE_NORMAL;
}

/// TRUE when the answer accepts the reset: GroupId 5, Command 0, IsResponse set, byte 4 zero.
constexpr bool IsAccepted(const PRE_DID_RESET_REQUEST &Answer) {
  return DruxHeaderCommand(Answer.Header) == kPreDidResetCommand &&
         DruxHeaderGroupId(Answer.Header) == kPreDidResetGroupId && DruxHeaderIsResponse(Answer.Header) &&
         Answer.Parameters[0] == 0;
}

}  // namespace

extern "C" {

/**
  Waits until CurrentState is 2 (recovery) or 5 (normal).
  @param WaitBudget  Steps of 1 ms that may still be spent, decremented per step; NULL
                     gives the wait its own 2000.
  @retval EFI_SUCCESS  the state was reached (prints it).
  @retval EFI_TIMEOUT  the budget ran out; prints the timeout and reports the state record.
**/
EFI_STATUS QuarnWaitForState(IN OUT UINT32 *WaitBudget OPTIONAL) {
  DEBUG ((DEBUG_INFO, "%a Wait for VORN Normal or Recovery state\n", kQuarnPreMemTag));
  UINT32 LoneBudget = kLoneWaitBudget;
  UINT32 *Budget = WaitBudget != nullptr ? WaitBudget : &LoneBudget;

  UINT32 Fs1 = VornReadFs1();
  while (!IsMeaningfulState(Fs1)) {
    if (*Budget == 0) {
      DEBUG ((DEBUG_ERROR, "%a ERROR: Timeout when waiting for VORN meaningful state\n", kQuarnPreMemTag));
      VornEwlReportStateError();
      return EFI_TIMEOUT;
    }
    MicroSecondDelay(kPollStepMicroSeconds);
    Fs1 = VornReadFs1();
    (*Budget)--;
  }
  DEBUG ((DEBUG_INFO, "%a Wait for VORN state reaches VORN State = %d\n", kQuarnPreMemTag, VornCurrentState(Fs1)));
  return EFI_SUCCESS;
}

/**
  Waits until ResetCounter differs from OldCounter.
  @param OldCounter  The counter sampled before the reset (4 bits).
  @param WaitBudget  As for QuarnWaitForState.
  @retval EFI_SUCCESS  the counter changed (no message).
  @retval EFI_TIMEOUT  the budget ran out; prints the timeout and reports the reset record.
**/
EFI_STATUS QuarnWaitResetCounterChange(IN UINT32 OldCounter, IN OUT UINT32 *WaitBudget OPTIONAL) {
  UINT32 LoneBudget = kLoneWaitBudget;
  UINT32 *Budget = WaitBudget != nullptr ? WaitBudget : &LoneBudget;

  while (VornResetCounter(VornReadFs1()) == OldCounter) {
    if (*Budget == 0) {
      DEBUG ((DEBUG_ERROR, "%a ERROR: Timeout when waiting for VORN Reset Counter Change\n", kQuarnPreMemTag));
      VornEwlReportResetError();
      return EFI_TIMEOUT;
    }
    MicroSecondDelay(kPollStepMicroSeconds);
    (*Budget)--;
  }
  return EFI_SUCCESS;
}

/**
  Asks the firmware for the pre-DID reset, then waits for the reset counter to change
  and for a meaningful state, both within one budget of 5000 steps.
  @retval EFI_SUCCESS       the reset is done and a meaningful state reached, or the
                            firmware did not answer (reset skipped).
  @retval EFI_TIMEOUT       the counter never changed, or no meaningful state afterwards.
  @retval EFI_DEVICE_ERROR  DRUX_PPI is not installed, or its SendWithAck is NULL (asserts).
  @return the send status (success or warning) when the answer does not accept the reset.
**/
EFI_STATUS QuarnPreDidReset(VOID) {
  UINT32 Budget = kPreDidResetBudget;
  DEBUG ((DEBUG_WARN, "%a WARNING: Execute VORN pre-DID reset\n", kQuarnPreMemTag));

  DRUX_PPI *Drux = nullptr;
  EFI_STATUS Status = PeiServicesLocatePpi(&gDruxPpiGuid, 0, nullptr, reinterpret_cast<VOID **>(&Drux));
  if (!EFI_ERROR(Status) && (Drux == nullptr || Drux->SendWithAck == nullptr)) {  // not callable: none
    Status = EFI_NOT_FOUND;
  }
  if (EFI_ERROR(Status)) {
    DEBUG ((DEBUG_ERROR, "%a ERROR: Cannot locate DRUX PPI (%r)\n", kQuarnPreMemTag, Status));
    ASSERT_EFI_ERROR (Status);
    return EFI_DEVICE_ERROR;
  }

  const UINT32 OldCounter = VornResetCounter(VornReadFs1());

  PRE_DID_RESET_REQUEST Message;
  ZeroMem(&Message, sizeof(Message));
  Message.Header = DruxRequestHeader(kPreDidResetGroupId, kPreDidResetCommand);
  UINT32 ResponseLength = sizeof(Message);

  const EFI_STATUS SendStatus =
      Drux->SendWithAck(0, &Message, sizeof(Message), &ResponseLength, 0, DRUX_CLIENT_MANAGEMENT);
  if (EFI_ERROR(SendStatus)) {
    DEBUG ((DEBUG_ERROR, "%a Pre-DID reset, no ACK. Continue without reset (%r)\n", kQuarnPreMemTag, SendStatus));
    return EFI_SUCCESS;
  }
  if (!IsAccepted(Message)) {
    DEBUG ((DEBUG_ERROR, "%a Pre-DID reset is not accepted by VORN. Continue without reset (%r)\n",
            kQuarnPreMemTag, SendStatus));
    return SendStatus;
  }

  Status = QuarnWaitResetCounterChange(OldCounter, &Budget);
  if (EFI_ERROR(Status)) {
    DEBUG ((DEBUG_ERROR, "%a ERROR: Pre-DID reset, VORN Reset Counter not changed (%r)\n", kQuarnPreMemTag,
            Status));
    VornEwlReportResetError();
    return Status;
  }
  if (EFI_ERROR(QuarnWaitForState(&Budget))) {
    return EFI_TIMEOUT;
  }
  DEBUG ((DEBUG_INFO, "%a Pre-DID reset has been executed successfully\n", kQuarnPreMemTag));
  return EFI_SUCCESS;
}
}
