/** @file
  The static pointer table, kept in a GUID HOB and reached through MM7 on every processor.
**/
#pragma once

#include <Guid/StaticPointerTableHob.h>
#include <Ppi/CpuAndRevision.h>

extern "C" {

/** The table's address: the low 32 bits of MM7. */
STATIC_POINTER_TABLE *GetStaticPointerTable(VOID);
/** Makes sure the table exists and MM7 holds its address. */
EFI_STATUS StaticPointerTableInit(VOID);
/** Checks the HOB around the table; dead loop when neither its name nor its length is right. */
VOID ValidateStaticPointerTable(IN STATIC_POINTER_TABLE *StaticPointerTable);
/** Stores the record in slot 9 and publishes it as the CPU-and-revision PPI. */
VOID SetCpuAndRevisionPointer(IN CPU_AND_REVISION_RECORD *CpuAndRevision);
/** Notification: permanent memory installed; reloads MM7 and migrates the slots. */
EFI_STATUS EFIAPI StaticPointerTableOnMemoryDiscovered(IN EFI_PEI_SERVICES **PeiServices,
                                                       IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor,
                                                       IN VOID *Ppi);
/** Notification (or direct call): loads the boot processor's MM7 into every AP's MM7. */
EFI_STATUS EFIAPI SyncMm7OnAps(IN EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor,
                               IN VOID *Ppi);
/** AP procedure: MM7 = the 64 bits at Buffer. */
VOID EFIAPI LoadMm7OnAp(IN OUT VOID *Buffer);

}
