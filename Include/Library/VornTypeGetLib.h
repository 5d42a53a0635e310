/** @file
  Which kind of firmware runs in the VORN, cached in the VORN type HOB.
**/
#pragma once

#include <Guid/VornTypeHob.h>

extern "C" {

/** The firmware type: VORN_TYPE_QUARN, _CLIENT, _DFX, _UNDEF or _DISABLED. */
UINT32 GetVornType(VOID);
/** TRUE exactly when GetVornType returns VORN_TYPE_QUARN. */
BOOLEAN VornTypeIsQuarn(VOID);
/** The type from the type HOB, creating the HOB when the type can be settled. */
UINT32 GetVornTypeFromHob(VOID);
/** Asks the firmware for its type over DRUX_PPI; FwType and FwSubType may be NULL. */
UINT32 PeiDruxGetVornType(OUT UINT8 *FwType OPTIONAL, OUT UINT8 *FwSubType OPTIONAL);
/** Prints the type line "[DRUX] [VORN] (VornType is NAME)". */
VOID PrintVornType(VOID);

}
