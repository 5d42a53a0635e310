/** @file
  Classifies the boot processor from CPUID leaf 1 and publishes the CPU-and-revision
  record: through slot 9 of the static pointer table and as the CPU-and-revision PPI.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/MemoryAllocationLib.h>
}
#include <Library/CpuAndRevisionLib.h>
#include <Library/SysHostPointerLib.h>

namespace {

constexpr UINT32 kCpuidVersionInfo = 1;
constexpr UINT16 kRecordSize = sizeof(CPU_AND_REVISION_RECORD);
static_assert(kRecordSize == 31, "the record is 31 bytes");

/// One row of the CPU type table: a signature and a range of steppings.
struct CpuTypeEntry {
  UINT16 Signature;  // CPUID leaf 1 EAX bits 19:4
  UINT8 FirstStepping;
  UINT8 LastStepping;
  UINT8 CpuType;
};

constexpr UINT8 kAnyFirst = 0;
constexpr UINT8 kAnyLast = 15;

constexpr CpuTypeEntry kCpuTypes[] = {
    {0x5065, 0, 4, 0},
    {0x5065, 5, 9, 1},
    {0x5065, 10, 15, 2},
    {0x8066, 0, 9, 3},
    {0x606A, kAnyFirst, kAnyLast, 4},
    {0x606C, kAnyFirst, kAnyLast, 5},
    {0x806F, kAnyFirst, kAnyLast, 6},
    {0x8066, 10, 15, 7},
    {0xA06D, kAnyFirst, kAnyLast, 8},
    {0xA06F, kAnyFirst, kAnyLast, 9},
};

/// Result of a lookup: Known is false for a signature the table does not list.
struct CpuClass {
  bool Known;
  UINT8 CpuType;
};

/** The signature of a CPUID leaf 1 EAX: bits 19:4 (the extended family plays no part). */
constexpr UINT16 CpuSignatureOf(UINT32 Eax) { return static_cast<UINT16>((Eax >> 4) & 0xFFFF); }

/** The stepping of a CPUID leaf 1 EAX: bits 3:0. */
constexpr UINT8 SteppingOf(UINT32 Eax) { return static_cast<UINT8>(Eax & 0xF); }

/** Looks a signature and stepping up in the CPU type table. */
constexpr CpuClass Classify(UINT16 Signature, UINT8 Stepping) {
  for (const CpuTypeEntry &Entry : kCpuTypes) {
    if (Entry.Signature == Signature && Stepping >= Entry.FirstStepping && Stepping <= Entry.LastStepping) {
      return {true, Entry.CpuType};
    }
  }
  return {false, 0};
}

/** TRUE when every stepping of every listed signature falls in exactly one row. */
constexpr bool EveryListedSteppingHasOneRow() {
  for (const CpuTypeEntry &Entry : kCpuTypes) {
    for (UINT8 Stepping = 0; Stepping <= kAnyLast; Stepping++) {
      unsigned Rows = 0;
      for (const CpuTypeEntry &Other : kCpuTypes) {
        if (Other.Signature == Entry.Signature && Stepping >= Other.FirstStepping && Stepping <= Other.LastStepping) {
          Rows++;
        }
      }
      if (Rows != 1) {
        return false;
      }
    }
  }
  return true;
}
static_assert(EveryListedSteppingHasOneRow(), "the CPU type table leaves a gap or overlaps");

}  // namespace

extern "C" {

/**
  Library constructor, run after the static pointer table's: builds the record while the
  table's slot for it (its low 32 bits) is still empty.

  The table is trusted only when MM7 points at the table of this boot's HOB list: a
  table constructor that failed leaves MM7 as another stage left it, and no slot is read
  through such a value. Without a table, "StaticPointerTable != ((void *) 0)" is
  reported and no record is built.

  @retval RETURN_SUCCESS  always: the record's own result is not looked at.
**/
RETURN_STATUS EFIAPI CpuAndRevisionLibConstructor(VOID) {
  STATIC_POINTER_TABLE *StaticPointerTable = GetStaticPointerTable();
  const auto *TableHob = static_cast<const UINT8 *>(GetFirstGuidHob(&gStaticPointerTableHobGuid));
  if (TableHob == nullptr || TableHob + sizeof(EFI_HOB_GUID_TYPE) != reinterpret_cast<UINT8 *>(StaticPointerTable)) {
    StaticPointerTable = nullptr;
  }
  if (StaticPointerTable == nullptr) {
    ASSERT (StaticPointerTable != NULL);
  } else if (static_cast<UINT32>(ReadStaticPointer(StaticPointerTable, POINTER_TYPE_CPU_AND_REVISION)) == 0) {
    CpuAndRevisionInit();
  }
  return RETURN_SUCCESS;
}

/**
  Allocates a zeroed record, publishes it (slot 9 and the PPI)
  and fills it.

  @retval EFI_SUCCESS           The record is published and filled.
  @retval EFI_OUT_OF_RESOURCES  No pool (asserted "CpuAndRevision != ((void *) 0)"); nothing published.
  @return                       The error of CpuAndRevisionFill otherwise.
**/
EFI_STATUS CpuAndRevisionInit(VOID) {
  auto *CpuAndRevision = static_cast<CPU_AND_REVISION_RECORD *>(AllocateZeroPool(kRecordSize));
  if (CpuAndRevision == nullptr) {
    ASSERT (CpuAndRevision != NULL);
    return EFI_OUT_OF_RESOURCES;
  }
  SetCpuAndRevisionPointer(CpuAndRevision);

  const EFI_STATUS Status = CpuAndRevisionFill();
  return EFI_ERROR(Status) ? Status : EFI_SUCCESS;
}

/**
  Classifies the boot processor (CPUID leaf 1 EAX) and fills the record that slot 9 of
  the table in MM7 points to. Bytes 18 and 19 are left as they are.

  @retval EFI_SUCCESS       The record is filled.
  @retval EFI_DEVICE_ERROR  Unknown signature: "Unknown CPU family 0x%x\n" and the
                            assertion "((BOOLEAN)(0==1))"; the record is not touched.
  @retval EFI_NOT_FOUND     No table in MM7, or slot 9 empty (asserted); nothing is written.
**/
EFI_STATUS CpuAndRevisionFill(VOID) {
  UINT32 Eax = 0;
  AsmCpuid(kCpuidVersionInfo, &Eax, nullptr, nullptr, nullptr);
  const UINT8 Stepping = SteppingOf(Eax);
  const UINT16 CpuSignature = CpuSignatureOf(Eax);

  const CpuClass Class = Classify(CpuSignature, Stepping);
  if (!Class.Known) {
    DEBUG ((DEBUG_ERROR, "Unknown CPU family 0x%x\n", static_cast<UINT32>(CpuSignature)));
    ASSERT (FALSE);
    return EFI_DEVICE_ERROR;
  }

  STATIC_POINTER_TABLE *StaticPointerTable = GetStaticPointerTable();
  if (StaticPointerTable == nullptr) {
    ASSERT (StaticPointerTable != NULL);
    return EFI_NOT_FOUND;
  }
  auto *CpuAndRevision = reinterpret_cast<CPU_AND_REVISION_RECORD *>(
      static_cast<UINTN>(static_cast<UINT32>(ReadStaticPointer(StaticPointerTable, POINTER_TYPE_CPU_AND_REVISION))));
  if (CpuAndRevision == nullptr) {
    ASSERT (CpuAndRevision != NULL);
    return EFI_NOT_FOUND;
  }

  // RecordGuid opens the byte-packed record: copy to the record itself, no packed member's address.
  static_assert(OFFSET_OF(CPU_AND_REVISION_RECORD, RecordGuid) == 0, "RecordGuid at 0");
  CopyMem(CpuAndRevision, &gCpuAndRevisionRecordGuid, sizeof(EFI_GUID));
  CpuAndRevision->RecordSize = kRecordSize;
  CpuAndRevision->CpuType = Class.CpuType;
  CpuAndRevision->Reserved1 = 0;
  CpuAndRevision->Reserved2 = 0;
  CpuAndRevision->Stepping = Stepping;
  CpuAndRevision->Reserved3 = 0;
  CpuAndRevision->FixedTag = CPU_AND_REVISION_FIXED_TAG;
  return EFI_SUCCESS;
}
}
