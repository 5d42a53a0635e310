/** @file
  The static pointer table, kept in a GUID HOB and reached through MM7 on every processor.
**/
#pragma once

extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
}
#include <Guid/StaticPointerTableHob.h>
#include <Ppi/CpuAndRevision.h>

// --- the table's fields at any alignment ---------------------------------------------------
// A PEI core that does not round HOB lengths up leaves the table's HOB, and so the table,
// at any address: its slots and descriptors are reached by offset, never through a
// structure pointer.

static_assert(sizeof(VOID *) == sizeof(UINT32), "descriptor pointers are 32-bit");

/** Address of slot Type (0 to 12) of Table. */
inline UINT64 *StaticPointerSlot(STATIC_POINTER_TABLE *Table, UINTN Type) {
  return reinterpret_cast<UINT64 *>(reinterpret_cast<UINT8 *>(Table) + OFFSET_OF(STATIC_POINTER_TABLE, Pointer) +
                                                                                 Type * sizeof(UINT64));
}

/** The 64-bit value of slot Type of Table. */
inline UINT64 ReadStaticPointer(const STATIC_POINTER_TABLE *Table, UINTN Type) {
  return ReadUnaligned64(StaticPointerSlot(const_cast<STATIC_POINTER_TABLE *>(Table), Type));
}

/** Slot Type of Table = Value. */
inline void WriteStaticPointer(STATIC_POINTER_TABLE *Table, UINTN Type, UINT64 Value) {
  WriteUnaligned64(StaticPointerSlot(Table, Type), Value);
}

/** Address of the PPI descriptor of slot Type of Table. */
inline EFI_PEI_PPI_DESCRIPTOR *StaticPointerDescriptor(STATIC_POINTER_TABLE *Table, UINTN Type) {
  return reinterpret_cast<EFI_PEI_PPI_DESCRIPTOR *>(reinterpret_cast<UINT8 *>(Table) +
                                                    OFFSET_OF(STATIC_POINTER_TABLE, PpiDescriptor) +
                                                              Type * sizeof(EFI_PEI_PPI_DESCRIPTOR));
}

/** The Ppi pointer of the descriptor of slot Type of Table. */
inline VOID *ReadStaticPointerDescriptorPpi(STATIC_POINTER_TABLE *Table, UINTN Type) {
  const UINT8 *Field =
      reinterpret_cast<const UINT8 *>(StaticPointerDescriptor(Table, Type)) + OFFSET_OF(EFI_PEI_PPI_DESCRIPTOR, Ppi);
  return reinterpret_cast<VOID *>(static_cast<UINTN>(ReadUnaligned32(reinterpret_cast<const UINT32 *>(Field))));
}

/** The descriptor of slot Type of Table = Descriptor. */
inline void WriteStaticPointerDescriptor(STATIC_POINTER_TABLE *Table, UINTN Type,
                                         const EFI_PEI_PPI_DESCRIPTOR &Descriptor) {
  CopyMem(StaticPointerDescriptor(Table, Type), &Descriptor, sizeof(Descriptor));
}

extern "C" {

/** The table's address: the low 32 bits of MM7. */
STATIC_POINTER_TABLE *GetStaticPointerTable(VOID);
/** Library constructor: makes sure the table exists and MM7 holds its address. */
RETURN_STATUS EFIAPI StaticPointerTableInit(VOID);
/** Checks the HOB around the table; dead loop when neither its name nor its length is right. */
VOID ValidateStaticPointerTable(IN STATIC_POINTER_TABLE *StaticPointerTable);
/** Stores the record in slot 9 and publishes it as the CPU-and-revision PPI. */
VOID SetCpuAndRevisionPointer(IN CPU_AND_REVISION_RECORD *CpuAndRevision);
/** Notification: permanent memory installed; reloads MM7 and migrates the slots. */
EFI_STATUS EFIAPI StaticPointerTableOnMemoryDiscovered(IN EFI_PEI_SERVICES **PeiServices,
                                                       IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, IN VOID *Ppi);
/** Notification (or direct call): loads the boot processor's MM7 into every AP's MM7. */
EFI_STATUS EFIAPI SyncMm7OnAps(IN EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor,
                               IN VOID *Ppi);
/** AP procedure: MM7 = the 64 bits at Buffer. */
VOID EFIAPI LoadMm7OnAp(IN OUT VOID *Buffer);
}
