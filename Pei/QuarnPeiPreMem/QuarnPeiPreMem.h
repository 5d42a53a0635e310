/** @file
  The QUARN pre-memory module: entry point and the procedures of its flow.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}
#include <Guid/QuarnInfoHob.h>
#include <Library/QuarnCloxLib.h>
#include <Ppi/Drux.h>

/// Tag that opens every message of the flow ("%a" of each format).
inline constexpr CHAR8 kQuarnPreMemTag[] = "[QUARN][PreMem]";

/// Steps of 1 ms a wait without a budget may spend.
constexpr UINT32 kLoneWaitBudget = 2000;
/// Steps of 1 ms the two waits of a pre-DID reset share.
constexpr UINT32 kPreDidResetBudget = 5000;

/// Header word of the pre-DID reset request: GroupId 5, Command 0, IsResponse clear.
constexpr UINT32 PRE_DID_RESET_GROUP_ID = 5;
constexpr UINT32 PRE_DID_RESET_COMMAND = 0;

#pragma pack(push, 1)
/// The pre-DID reset request as sent; the answer comes back in the same bytes.
typedef struct {
  UINT32 Header;
  UINT8 Parameters[8];
} PRE_DID_RESET_REQUEST;
#pragma pack(pop)
static_assert(sizeof(PRE_DID_RESET_REQUEST) == 12, "pre-DID reset request is 12 bytes");
static_assert(OFFSET_OF(PRE_DID_RESET_REQUEST, Parameters) == 4, "parameters at 4");

/// The BIOS-update watchdog control request to the QUARN client: command 5 and the
/// parameter 4 in 10 bytes; the answer (2 bytes at most) replaces it.
constexpr UINT8 WATCHDOG_CONTROL_COMMAND = 0x05;
constexpr UINT8 WATCHDOG_CONTROL_PARAMETER = 0x04;
constexpr UINT32 WATCHDOG_CONTROL_RESPONSE_CAPACITY = 2;

#pragma pack(push, 1)
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
static_assert(OFFSET_OF(WATCHDOG_CONTROL_REQUEST, Request.Parameter) == 9, "parameter at 9");
static_assert(OFFSET_OF(WATCHDOG_CONTROL_REQUEST, Response.Status) == 1, "answer status at 1");

extern "C" {

/**
  The module's entry point, called once the library constructors have run: the
  pre-memory flow. EFI_SUCCESS or EFI_UNSUPPORTED.
**/
EFI_STATUS EFIAPI QuarnPeiPreMemEntryPoint(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices);

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
