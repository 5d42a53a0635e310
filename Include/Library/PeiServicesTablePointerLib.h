/** @file
  Finds the PEI Services table through the word the PEI core keeps below the IDT.
**/
#pragma once

#include <Pi/PiPeiCis.h>

extern "C" {

/** Returns the pointer to the pointer to the services table; asserts when it is 0. */
CONST EFI_PEI_SERVICES **GetPeiServicesTablePointer(VOID);

}
