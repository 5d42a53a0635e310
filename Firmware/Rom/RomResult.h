/** @file
  What the module left behind, printed on the second UART after the entry point has
  returned, in the terms of quarn-emu's report so that the two runs can be compared
  beyond the console: the type and info HOBs, the CPU-and-revision record, which slots
  of the static pointer table are filled, whether MM7 holds the table's address, the
  status-code records and the breakpoints taken.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

extern "C" {

/** Prints the "rom: result: ..." lines for a run that returned Status. */
VOID RomPrintResult(IN EFI_STATUS Status);
}
