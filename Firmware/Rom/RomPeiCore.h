/** @file
  The boot stub's small PEI core: the services table with the PI slot layout, a HOB
  list in RAM (PHIT first, end HOB last), a PPI database with notifications, a pool,
  and a status-code sink that counts what it receives. Only the services the module
  calls are implemented; the other slots stay NULL.
**/
#pragma once

extern "C" {
#include <PiPei.h>
#include <Pi/PiPeiCis.h>
}

extern "C" {

/** Builds the services table, the HOB list and the empty PPI database in gRomRam, and
    stores the services word below the IDT. Returns the PeiServices pointer. */
CONST EFI_PEI_SERVICES **RomPeiCoreInit(IN EFI_BOOT_MODE BootMode);

/** Number of HOBs in the list, PHIT and end HOB included. */
UINTN RomHobCount(VOID);
}
