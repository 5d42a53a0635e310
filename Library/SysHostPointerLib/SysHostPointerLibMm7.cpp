/** @file
  The static pointer table: 13 pointer slots and their PPI descriptors, kept as the data
  of a GUID HOB. Its address lives in MM7 of every processor for the rest of PEI, so that
  any module finds the table with one register move.

  The table is created in temporary memory. When permanent memory is installed, a
  notification reloads MM7 with the table's new address, re-points every filled slot at
  its moved record (taken from the slot's PPI descriptor, which the PEI core re-points
  while it moves memory) and loads MM7 on every application processor.

  A table HOB must hold the whole table: one named like the table but shorter than 288
  bytes is never used (writing slot 9 or its descriptor would run past it); it fails the
  validation as a HOB with neither the right name nor the right length does.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesTablePointerLib.h>
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>
}
#include <Guid/StaticPointerTableHob.h>
#include <Library/CpuIntrinsicsLib.h>
#include <Library/SysHostPointerLib.h>
#include <Ppi/CpuAndRevision.h>

namespace {


constexpr UINTN kNotifyFlags = EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
constexpr UINTN kPpiFlags = EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST;
static_assert(kNotifyFlags == 0x80000020, "notify descriptor flags");
static_assert(kPpiFlags == 0x80000010, "PPI descriptor flags");

/// Bytes of HOB header in front of the table.
constexpr UINTN kHobHeaderLength = sizeof(EFI_HOB_GUID_TYPE);
static_assert(kHobHeaderLength == 24, "the table starts 24 bytes into its HOB");

/// Runs the slot migration once permanent memory is installed.
constexpr EFI_PEI_NOTIFY_DESCRIPTOR kMemoryDiscoveredNotify = {kNotifyFlags, &gEfiPeiMemoryDiscoveredPpiGuid,
                                                               StaticPointerTableOnMemoryDiscovered};

/// Loads MM7 on the application processors once MP services are available.
constexpr EFI_PEI_NOTIFY_DESCRIPTOR kMpServicesNotify = {kNotifyFlags, &gEfiPeiMpServicesPpiGuid, SyncMm7OnAps};

/** MM7 of the current processor (one 64-bit move, then EMMS). */
UINT64 ReadMm7() {
  UINT64 Value = 0;
  CpuReadMm7(&Value);
  return Value;
}

/** MM7 = Value (one 64-bit move, then EMMS). */
void WriteMm7(UINT64 Value) { CpuWriteMm7(&Value); }

/** The 64-bit slot value that holds Address. */
UINT64 SlotValue(const VOID *Address) { return static_cast<UINT64>(reinterpret_cast<UINTN>(Address)); }

/** The address a slot holds: its low 32 bits. */
VOID *SlotAddress(UINT64 Slot) { return reinterpret_cast<VOID *>(static_cast<UINTN>(static_cast<UINT32>(Slot))); }

/** The table inside a GUID HOB: its data. */
STATIC_POINTER_TABLE *TableOfHob(VOID *GuidHob) {
  return reinterpret_cast<STATIC_POINTER_TABLE *>(static_cast<UINT8 *>(GuidHob) + kHobHeaderLength);
}

}  // namespace

extern "C" {

/**
  Returns the static pointer table's address: the low 32 bits of MM7, without any
  search. NULL when MM7 holds no address (no table was made yet, or it could not be).
**/
STATIC_POINTER_TABLE *GetStaticPointerTable(VOID) {
  return static_cast<STATIC_POINTER_TABLE *>(SlotAddress(ReadMm7()));
}

/**
  Library constructor: makes sure the table exists and MM7 holds its address. An
  existing table HOB is validated and reused (nothing is built or registered); else a
  zeroed table HOB is built and the memory-discovered notification registered.

  A HOB list that cannot be read says nothing about whether the table exists: then
  nothing is built (a second table would split the slots between two HOBs).

  @retval EFI_SUCCESS           MM7 holds the table's address.
  @retval EFI_OUT_OF_RESOURCES  The HOB could not be built (asserted); MM7 is not written.
  @retval EFI_NOT_READY         The HOB list could not be read (asserted); MM7 is not written.
**/
RETURN_STATUS EFIAPI StaticPointerTableInit(VOID) {
  STATIC_POINTER_TABLE *StaticPointerTable = nullptr;

  const VOID *HobList = GetHobList();
  if (HobList == nullptr) {
    return EFI_NOT_READY;
  }
  VOID *GuidHob = GetNextGuidHob(&gStaticPointerTableHobGuid, HobList);
  if (GuidHob != nullptr) {
    StaticPointerTable = TableOfHob(GuidHob);
    ValidateStaticPointerTable(StaticPointerTable);
  } else {
    StaticPointerTable =
        static_cast<STATIC_POINTER_TABLE *>(BuildGuidHob(&gStaticPointerTableHobGuid, sizeof(STATIC_POINTER_TABLE)));
    if (StaticPointerTable == nullptr) {
      ASSERT (StaticPointerTable != NULL);
      return EFI_OUT_OF_RESOURCES;
    }
    ZeroMem(StaticPointerTable, sizeof(STATIC_POINTER_TABLE));

    CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
    [[maybe_unused]] const EFI_STATUS Status = (*PeiServices)->NotifyPpi(PeiServices, &kMemoryDiscoveredNotify);
    ASSERT_EFI_ERROR (Status);
  }

  WriteMm7(SlotValue(StaticPointerTable));
  return EFI_SUCCESS;
}

/**
  Checks the HOB around a table: its name must be gStaticPointerTableHobGuid and its
  length 288. A NULL table, a HOB address of 0, or a HOB that is neither named nor sized
  right ends in the dead loop; so does a HOB shorter than the table it would have to
  hold. With one of name and length wrong (and the table fitting), the assertion
  "DoesGuidMatch && DoesSizeMatch" is reported and validation returns.
**/
VOID ValidateStaticPointerTable(IN STATIC_POINTER_TABLE *StaticPointerTable) {
  if (StaticPointerTable == nullptr) {
    ASSERT (StaticPointerTable != NULL);
    CpuDeadLoop();
    return;
  }
  // A table at 24 or below would put its HOB at 0 or wrap round the address space: no HOB.
  const UINTN TableAddress = reinterpret_cast<UINTN>(StaticPointerTable);
  const auto *StaticPointerTableHob =
      TableAddress > kHobHeaderLength ? reinterpret_cast<const UINT8 *>(TableAddress - kHobHeaderLength) : nullptr;
  if (StaticPointerTableHob == nullptr) {
    ASSERT (StaticPointerTableHob != NULL);
    CpuDeadLoop();
    return;
  }

  const UINT8 *Hob = StaticPointerTableHob;  // at any alignment
  const UINT16 HobLength =
      ReadUnaligned16(reinterpret_cast<const UINT16 *>(Hob + OFFSET_OF(EFI_HOB_GENERIC_HEADER, HobLength)));
  const bool DoesGuidMatch = CompareGuid(reinterpret_cast<const EFI_GUID *>(Hob + OFFSET_OF(EFI_HOB_GUID_TYPE, Name)),
                                                                            &gStaticPointerTableHobGuid) != FALSE;
  const bool DoesSizeMatch = HobLength == STATIC_POINTER_TABLE_HOB_LENGTH;
  const bool TableFits = HobLength >= STATIC_POINTER_TABLE_HOB_LENGTH;

  ASSERT (DoesGuidMatch && DoesSizeMatch);
  if ((!DoesGuidMatch && !DoesSizeMatch) || !TableFits) {
    CpuDeadLoop();
  }
}

/**
  Stores a record in slot 9 and publishes it as the CPU-and-revision PPI. The slot's
  descriptor is rewritten every time; the PPI is installed only when the slot was empty
  (all 64 bits 0), so a second record replaces the first without a second install.
  A NULL record is asserted and not published; when no table can be had, that is
  asserted and nothing is written.
**/
VOID SetCpuAndRevisionPointer(IN CPU_AND_REVISION_RECORD *CpuAndRevision) {
  // A NULL record is never published: readers of the PPI or the slot would follow it.
  if (CpuAndRevision == nullptr) {
    ASSERT (CpuAndRevision != NULL);
    return;
  }

  // Without a table MM7 holds no table address: nothing may be written through it.
  if (EFI_ERROR(StaticPointerTableInit())) {
    return;
  }
  STATIC_POINTER_TABLE *StaticPointerTable = GetStaticPointerTable();
  if (StaticPointerTable == nullptr) {
    ASSERT (StaticPointerTable != NULL);
    return;
  }
  ValidateStaticPointerTable(StaticPointerTable);

  EFI_PEI_PPI_DESCRIPTOR *Descriptor = StaticPointerDescriptor(StaticPointerTable, POINTER_TYPE_CPU_AND_REVISION);
  const EFI_PEI_PPI_DESCRIPTOR Published = {kPpiFlags, const_cast<EFI_GUID *>(&gCpuAndRevisionPpiGuid), CpuAndRevision};
  WriteStaticPointerDescriptor(StaticPointerTable, POINTER_TYPE_CPU_AND_REVISION, Published);

  if (ReadStaticPointer(StaticPointerTable, POINTER_TYPE_CPU_AND_REVISION) == 0) {
    CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
    (*PeiServices)->InstallPpi(PeiServices, Descriptor);
  }
  WriteStaticPointer(StaticPointerTable, POINTER_TYPE_CPU_AND_REVISION, SlotValue(CpuAndRevision));
}

/**
  Notification, permanent memory installed: reloads MM7 with the moved table, points
  every filled slot at its record's new address (from the slot's descriptor) and loads
  MM7 on the application processors, now or once MP services are installed.

  @retval EFI_SUCCESS            Done.
  @retval EFI_INVALID_PARAMETER  No table HOB (asserted); MM7 is left alone.
**/
EFI_STATUS EFIAPI StaticPointerTableOnMemoryDiscovered(IN EFI_PEI_SERVICES **PeiServices,
                                                       IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor, IN VOID *Ppi) {
  VOID *GuidHob = GetFirstGuidHob(&gStaticPointerTableHobGuid);
  if (GuidHob == nullptr) {
    ASSERT (GuidHob != NULL);
    return EFI_INVALID_PARAMETER;
  }
  STATIC_POINTER_TABLE *StaticPointerTable = TableOfHob(GuidHob);
  ValidateStaticPointerTable(StaticPointerTable);

  [[maybe_unused]] const UINT64 OldMm7 = ReadMm7();
  DEBUG ((DEBUG_INFO, "Reload MM7 with new pointer: %p => %p\n", SlotAddress(OldMm7), StaticPointerTable));
  WriteMm7(SlotValue(StaticPointerTable));

  for (UINTN Type = 0; Type < POINTER_TYPE_COUNT; Type++) {
    if (ReadStaticPointer(StaticPointerTable, Type) == 0) {
      continue;
    }
    VOID *Moved = ReadStaticPointerDescriptorPpi(StaticPointerTable, Type);
    DEBUG ((DEBUG_INFO, "Migration pointer type %x: %p => %p\n", Type,
            SlotAddress(ReadStaticPointer(StaticPointerTable, Type)), Moved));
    WriteStaticPointer(StaticPointerTable, Type, SlotValue(Moved));
  }

  auto *Services = const_cast<CONST EFI_PEI_SERVICES **>(PeiServices);
  VOID *MpServices = nullptr;
  if (!EFI_ERROR((*Services)->LocatePpi(Services, &gEfiPeiMpServicesPpiGuid, 0, nullptr, &MpServices))) {
    SyncMm7OnAps(PeiServices, nullptr, MpServices);
  } else {
    [[maybe_unused]] const EFI_STATUS Status = (*Services)->NotifyPpi(Services, &kMpServicesNotify);
    ASSERT_EFI_ERROR (Status);
  }
  return EFI_SUCCESS;
}

/**
  Loads the boot processor's MM7 into MM7 of every application processor through
  StartupAllAPs. Called as the MP services notification, or directly (NULL descriptor).

  @param Ppi  The MP services PPI; NULL is asserted and answered EFI_INVALID_PARAMETER.
  @return     The status of StartupAllAPs.
**/
EFI_STATUS EFIAPI SyncMm7OnAps(IN EFI_PEI_SERVICES **PeiServices, IN EFI_PEI_NOTIFY_DESCRIPTOR *NotifyDescriptor,
                               IN VOID *Ppi) {
  // The APs read this copy while StartupAllAPs runs: it stays on this stack until then.
  alignas(8) UINT64 Mm7Value = 0;
  CpuReadMm7(&Mm7Value);
  DEBUG ((DEBUG_INFO, "Sync MM7: %x\n", static_cast<UINT32>(Mm7Value)));

  auto *MpServices = static_cast<EFI_PEI_MP_SERVICES_PPI *>(Ppi);
  if (MpServices == nullptr) {
    ASSERT (Ppi != NULL);
    return EFI_INVALID_PARAMETER;
  }
  return MpServices->StartupAllAPs(const_cast<CONST EFI_PEI_SERVICES **>(PeiServices), MpServices, LoadMm7OnAp, FALSE,
                                   0, &Mm7Value);
}

/**
  AP procedure: MM7 = the 64 bits at Buffer (one move, then EMMS). A NULL buffer
  leaves MM7 alone.
**/
VOID EFIAPI LoadMm7OnAp(IN OUT VOID *Buffer) {
  if (Buffer != nullptr) {
    CpuWriteMm7(static_cast<const UINT64 *>(Buffer));
  }
}
}
