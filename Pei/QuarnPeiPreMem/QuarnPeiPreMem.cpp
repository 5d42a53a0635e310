/** @file
  The module's entry point and its pre-memory flow: decide whether QUARN firmware runs,
  wait for a meaningful state and perform the pre-DID reset when the firmware sits in
  recovery with cause 4, ask for the BIOS-update watchdog, send the clock settings; or,
  when the firmware is not usable, take the non-functional path.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/PeiServicesLib.h>
}
#include <Library/QuarnCloxLib.h>
#include <Library/VornEwlLib.h>
#include <Library/VornGetPeiConfigBlockLib.h>
#include <Library/VornStatusLib.h>
#include <Library/VornTypeGetLib.h>
#include <Register/VornRegs.h>

#include "QuarnPeiPreMem.h"

namespace {

constexpr UINT32 kRecoveryCauseMask = 0x700;
constexpr UINT32 kRecoveryCausePreDid = VORN_RECOVERY_CAUSE_PRE_DID << 8;

/// How the pre-DID branch ends: the flow goes on, or takes the non-functional path.
enum class BranchEnd { Continue, NonFunctional };

// --- the three policy switches (offsets count from the block's header) --------------

/// PreDidResetEnable: bit 0 of byte 36.
bool PreDidResetEnabled(const QUARN_PREMEM_CONFIG *Config) {
  return (Config->PreDidResetEnable & QUARN_PRE_DID_RESET_ENABLE_BIT) != 0;
}

/// SscAlternate: bit 13 of the word at 40.
BOOLEAN SscAlternate(const QUARN_PREMEM_CONFIG *Config) {
  return static_cast<BOOLEAN>((ReadUnaligned32(&Config->ClockConfig) >> QUARN_SSC_ALTERNATE_SHIFT) & 1);
}

/// BiosUpdateWatchdog: bit 14 of the word at 52.
bool BiosUpdateWatchdogEnabled(const QUARN_PREMEM_CONFIG *Config) {
  return (ReadUnaligned32(&Config->WatchdogConfig) & QUARN_BIOS_UPDATE_WATCHDOG_BIT) != 0;
}

// --- steps of the flow -----------------------------------------------------------------

/**
  The non-functional path: prints both status registers, reports the state record
  (written only while QUARN firmware runs) and writes the info HOB.
  @return EFI_UNSUPPORTED.
**/
EFI_STATUS NonFunctional() {
  [[maybe_unused]] const UINT32 Fs2 = VornReadFs2();
  [[maybe_unused]] const UINT32 Fs1 = VornReadFs1();
  DEBUG ((DEBUG_ERROR,
          "%a ERROR: Non QUARN firmware running in VORN\n"
          "             (VORNFS1: 0x%08X, VORNFS2: 0x%08X)\n",
          kQuarnPreMemTag, Fs1, Fs2));
  VornEwlReportStateError();
  QuarnSetNonFunctional();
  return EFI_UNSUPPORTED;
}

/**
  The pre-DID branch: waits for a meaningful state and, in recovery with cause 4,
  performs the pre-DID reset.
  @return NonFunctional when the first wait or the reset timed out, else Continue.
**/
BranchEnd PreDidResetBranch() {
  if (EFI_ERROR(QuarnWaitForState(nullptr))) {
    return BranchEnd::NonFunctional;
  }
  if (VornCurrentState(VornReadFs1()) != VORN_STATE_RECOVERY) {
    return BranchEnd::Continue;
  }
  const UINT32 Fs2 = VornReadFs2();
  if ((Fs2 & kRecoveryCauseMask) != kRecoveryCausePreDid) {
    return BranchEnd::Continue;
  }
  DEBUG ((DEBUG_WARN, "%a WARNING: VORN is in recovery mode (cause: %d)\n", kQuarnPreMemTag,
          VornRecoveryCause(Fs2)));

  const EFI_STATUS Status = QuarnPreDidReset();
  const UINT32 Fs1 = VornReadFs1();
  if (Status == EFI_SUCCESS) {
    if (VornCurrentState(Fs1) == VORN_STATE_NORMAL) {
      DEBUG ((DEBUG_INFO, "%a Pre-DID reset finished successfully, VORN in Normal state\n", kQuarnPreMemTag));
    }
    return BranchEnd::Continue;
  }
  if (Status == EFI_TIMEOUT) {
    DEBUG ((DEBUG_ERROR, "%a ERROR: Pre-DID reset timeout failure causes VORN non-functional flow\n",
            kQuarnPreMemTag));
    VornEwlReportResetError();
    return BranchEnd::NonFunctional;
  }
  DEBUG ((DEBUG_ERROR, "%a ERROR: Pre-DID reset failure. Continue according to VORN state\n", kQuarnPreMemTag));
  VornEwlReportResetError();
  return BranchEnd::Continue;
}

/// Locates DRUX_PPI and sends the watchdog request; any error is an assertion report.
void RequestBiosUpdateWatchdog() {
  VOID *Drux = nullptr;
  [[maybe_unused]] EFI_STATUS Status = PeiServicesLocatePpi(&gDruxPpiGuid, 0, nullptr, &Drux);  // unread in RELEASE
  if (!EFI_ERROR(Status)) {
    Status = QuarnSendBiosUpdateWatchdogControl(static_cast<DRUX_PPI *>(Drux));
  }
  ASSERT_EFI_ERROR (Status);
}

/// Sends the clock settings when the firmware supports clock control; reports the outcome.
void SendClockSettings(const QUARN_PREMEM_CONFIG *Config) {
  if (!QuarnIsCloxSupported()) {
    DEBUG ((DEBUG_INFO, "%a[CLOX] CloxSetClockSettings request wasn't sent\n", kQuarnPreMemTag));
    return;
  }
  DEBUG ((DEBUG_INFO, "%a[CLOX] Sending CloxSetClockSettings request\n", kQuarnPreMemTag));
  const BOOLEAN Enable = Config != nullptr ? SscAlternate(Config) : TRUE;
  const EFI_STATUS Status = PeiDruxSetSSCAlternate(Enable);
  if (EFI_ERROR(Status)) {
    DEBUG ((DEBUG_ERROR, "%a ERROR: Unable to set clock settings (%r)\n", kQuarnPreMemTag, Status));
  } else {
    DEBUG ((DEBUG_INFO, "%a[CLOX] CloxSetClockSettings: status: Success\n", kQuarnPreMemTag));
  }
}

/**
  The pre-memory flow, after the constructors.
  @return EFI_SUCCESS, or EFI_UNSUPPORTED on the non-functional path.
**/
EFI_STATUS PreMemFlow(CONST EFI_PEI_SERVICES **PeiServices) {
  DEBUG ((DEBUG_INFO, "%a %a called.\n", kQuarnPreMemTag, "QuarnPeiPreMemEntryPoint"));

  if (!VornTypeIsQuarn()) {
    DEBUG ((DEBUG_INFO, "%a Other VORN FW detected.\n", kQuarnPreMemTag));
    return NonFunctional();
  }

  EFI_BOOT_MODE BootMode = BOOT_WITH_DEFAULT_SETTINGS;
  const EFI_STATUS Status = (*PeiServices)->GetBootMode(PeiServices, &BootMode);
  if (EFI_ERROR(Status)) {
    DEBUG ((DEBUG_ERROR, "%a ERROR: Cannot read boot mode (%r)\n", kQuarnPreMemTag, Status));
    BootMode = BOOT_WITH_DEFAULT_SETTINGS;
  }
  const bool S3Resume = BootMode == BOOT_ON_S3_RESUME;

  const QUARN_PREMEM_CONFIG *Config = VornGetPeiConfigBlock();

  DEBUG ((DEBUG_INFO, "%a Pre-DID reset ", kQuarnPreMemTag));
  if (S3Resume || Config == nullptr || !PreDidResetEnabled(Config)) {
    DEBUG ((DEBUG_INFO, "is disabled\n"));
  } else {
    DEBUG ((DEBUG_INFO, "execution\n"));
    if (PreDidResetBranch() == BranchEnd::NonFunctional) {
      return NonFunctional();
    }
  }

  if (Config != nullptr && BiosUpdateWatchdogEnabled(Config)) {
    RequestBiosUpdateWatchdog();
  }

  if (!S3Resume) {
    SendClockSettings(Config);
  }
  return EFI_SUCCESS;
}

}  // namespace

extern "C" {

/**
  The module's entry point, called once by the PEI core after the library constructors
  (the serial ports, the static pointer table, the CPU-and-revision record) have run.
  @param FileHandle   Not used.
  @param PeiServices  The PEI services; used directly for GetBootMode.
  @retval EFI_SUCCESS      the flow ran to its end (watchdog or clock failures included).
  @retval EFI_UNSUPPORTED  the firmware is not usable (non-functional path).
**/
EFI_STATUS EFIAPI QuarnPeiPreMemEntryPoint(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices) {
  return PreMemFlow(PeiServices);
}
}
