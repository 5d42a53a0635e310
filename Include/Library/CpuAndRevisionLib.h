/** @file
  Classifies the boot processor and publishes the CPU-and-revision record.
**/
#pragma once

#include <Ppi/CpuAndRevision.h>

extern "C" {

/** Library constructor: allocates, publishes and fills the record. */
EFI_STATUS CpuAndRevisionInit(VOID);
/** Classifies the processor and fills the record slot 9 points to. */
EFI_STATUS CpuAndRevisionFill(VOID);

}
