/** @file
  The QUARN pre-memory module: entry point and the procedures of its flow.
**/
#pragma once

#include <Pi/PiPeiCis.h>
#include <Guid/QuarnInfoHob.h>
#include <Ppi/Drux.h>

/// Tag that opens every message of the flow ("%a" of each format).
inline constexpr CHAR8 kQuarnPreMemTag[] = "[QUARN][PreMem]";

/// Steps of 1 ms a wait without a budget may spend.
constexpr UINT32 kLoneWaitBudget = 2000;
/// Steps of 1 ms the two waits of a pre-DID reset share.
constexpr UINT32 kPreDidResetBudget = 5000;

extern "C" {

/** The module's entry: constructors, then the pre-memory flow. EFI_SUCCESS or EFI_UNSUPPORTED. */
EFI_STATUS EFIAPI QuarnPeiPreMemEntryPoint(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices);

/** Runs the library constructors in their fixed order. */
VOID ProcessLibraryConstructorList(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices);

/** Polls VORNFS1 every 1 ms until CurrentState is 2 or 5; EFI_TIMEOUT when the budget runs out. */
EFI_STATUS QuarnWaitForState(IN OUT UINT32 *WaitBudget OPTIONAL);

/** Polls VORNFS1 every 1 ms until ResetCounter differs from OldCounter; EFI_TIMEOUT when the budget runs out. */
EFI_STATUS QuarnWaitResetCounterChange(IN UINT32 OldCounter, IN OUT UINT32 *WaitBudget OPTIONAL);

/** Asks the firmware for the pre-DID reset and waits for it to take effect. */
EFI_STATUS QuarnPreDidReset(VOID);

/** Sends QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ over Drux and checks the answer. */
EFI_STATUS QuarnSendBiosUpdateWatchdogControl(IN DRUX_PPI *Drux);

/** Writes the product info HOB with the non-functional flow. */
EFI_STATUS QuarnSetNonFunctional(VOID);

}
