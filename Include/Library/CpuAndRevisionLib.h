/** @file
  Classifies the boot processor and publishes the CPU-and-revision record.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}
#include <Ppi/CpuAndRevision.h>

extern "C" {

/**
  Library constructor: builds the record when the static pointer table's slot for it is
  still empty. Always RETURN_SUCCESS: the record's own result is not looked at.
**/
RETURN_STATUS EFIAPI CpuAndRevisionLibConstructor(VOID);

/** Library constructor: allocates, publishes and fills the record. */
EFI_STATUS CpuAndRevisionInit(VOID);
/** Classifies the processor and fills the record slot 9 points to. */
EFI_STATUS CpuAndRevisionFill(VOID);
}
