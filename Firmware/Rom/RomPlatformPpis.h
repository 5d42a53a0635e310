/** @file
  The PPIs another module of a real firmware would have installed before this one:
  the VORN policy (a config block table with the QUARN pre-memory block, every switch
  clear) and a DRUX_PPI stand-in. The q35 has no VORN, so the stand-in answers every
  request with EFI_DEVICE_ERROR and reports the VORN status word 0.
**/
#pragma once

extern "C" {
#include <PiPei.h>
#include <Pi/PiPeiCis.h>
}

extern "C" {

/** Installs the policy PPI and the DRUX_PPI stand-in. */
EFI_STATUS RomInstallPlatformPpis(IN CONST EFI_PEI_SERVICES **PeiServices);

/** Number of DRUX_PPI calls the stand-in received. */
UINTN RomDruxCallCount(VOID);
}
