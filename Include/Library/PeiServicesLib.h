/** @file
  Shorthands for the PEI services this module calls.
**/
#pragma once

#include <Pi/PiPeiCis.h>

extern "C" {

/** LocatePpi(Guid, instance 0, no descriptor); returns the service's status unchanged. */
EFI_STATUS PeiServicesLocatePpi(IN CONST EFI_GUID *Guid, OUT VOID **Ppi);

}
