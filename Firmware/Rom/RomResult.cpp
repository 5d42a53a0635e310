/** @file
  The module's lasting effects, read from the stub's HOB list, pool and MM7.
**/
#include "RomResult.h"

extern "C" {
#include <PiPei.h>
}
#include <Guid/QuarnInfoHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VornTypeHob.h>
#include <Library/CpuIntrinsicsLib.h>
#include <Ppi/CpuAndRevision.h>

#include "RomConsole.h"
#include "RomRam.h"

namespace {

constexpr CHAR8 kLowerHex[] = "0123456789abcdef";
/// Entry types of the error-log records, as the report names them.
constexpr UINT32 kStateRecord = 16;
constexpr UINT32 kResetRecord = 17;

/** TRUE when both 16-byte names are equal. */
bool SameGuid(CONST EFI_GUID &A, CONST EFI_GUID &B) {
  CONST auto *Left = reinterpret_cast<CONST UINT8 *>(&A);
  CONST auto *Right = reinterpret_cast<CONST UINT8 *>(&B);
  for (UINTN Index = 0; Index < sizeof(EFI_GUID); Index++) {
    if (Left[Index] != Right[Index]) return false;
  }
  return true;
}

/** The first GUID extension HOB named Name whose length is at least MinLength, or
    NULL. The walk stays inside the HOB space whatever the lengths say. */
CONST UINT8 *FindGuidHob(CONST EFI_GUID &Name, UINTN MinLength) {
  CONST UINT8 *Hob = gRomRam.HobSpace;
  CONST UINT8 *Limit = gRomRam.HobSpace + kRomHobSpace;
  while (Hob + sizeof(EFI_HOB_GENERIC_HEADER) <= Limit) {
    CONST auto *Header = reinterpret_cast<CONST EFI_HOB_GENERIC_HEADER *>(Hob);
    if (Header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST || Header->HobLength < sizeof(EFI_HOB_GENERIC_HEADER) ||
        Header->HobLength > UINTN(Limit - Hob)) {
      return nullptr;
    }
    if (Header->HobType == EFI_HOB_TYPE_GUID_EXTENSION && Header->HobLength >= MinLength &&
        SameGuid(reinterpret_cast<CONST EFI_HOB_GUID_TYPE *>(Hob)->Name, Name)) {
      return Hob;
    }
    Hob += Header->HobLength;
  }
  return nullptr;
}

/** TRUE when Length bytes at Address lie inside the stub's pool. */
bool InPool(UINTN Address, UINTN Length) {
  const UINTN Pool = reinterpret_cast<UINTN>(gRomRam.PoolSpace);
  return Address >= Pool && Length <= kRomPoolSpace && Address - Pool <= kRomPoolSpace - Length;
}

/** Prints Length bytes as lower-case hexadecimal without separators. */
VOID PrintBytes(CONST UINT8 *Bytes, UINTN Length) {
  CHAR8 Pair[3] = {0, 0, 0};
  for (UINTN Index = 0; Index < Length; Index++) {
    Pair[0] = kLowerHex[Bytes[Index] >> 4];
    Pair[1] = kLowerHex[Bytes[Index] & 0xF];
    RomPrint(Pair);
  }
}

/** "vorn_type_hob TYPE FWTYPE FWSUBTYPE" of the first whole type HOB, or "none". */
VOID PrintVornTypeHob() {
  RomPrint("rom: result: vorn_type_hob ");
  CONST UINT8 *Hob = FindGuidHob(gVornTypeHobGuid, sizeof(VORN_TYPE_HOB));
  if (Hob == nullptr) {
    RomPrint("none\n");
    return;
  }
  CONST auto *Type = reinterpret_cast<CONST VORN_TYPE_HOB *>(Hob);
  RomPrintDec(Type->VornType);
  RomPrint(" ");
  RomPrintDec(Type->FwType);
  RomPrint(" ");
  RomPrintDec(Type->FwSubType);
  RomPrint("\n");
}

/** "info_hob" and the 16 data bytes of the first whole info HOB, or "none". */
VOID PrintInfoHob() {
  RomPrint("rom: result: info_hob ");
  CONST UINT8 *Hob = FindGuidHob(gQuarnInfoHobGuid, sizeof(EFI_HOB_GUID_TYPE) + sizeof(QUARN_INFO_HOB));
  if (Hob == nullptr) {
    RomPrint("none\n");
    return;
  }
  PrintBytes(Hob + sizeof(EFI_HOB_GUID_TYPE), sizeof(QUARN_INFO_HOB));
  RomPrint("\n");
}

/** The table's slots and the record slot 9 points to; MM7 against the table. */
VOID PrintPointerTable() {
  CONST UINT8 *Hob = FindGuidHob(gStaticPointerTableHobGuid, STATIC_POINTER_TABLE_HOB_LENGTH);
  CONST auto *Table =
      Hob == nullptr ? nullptr : reinterpret_cast<CONST STATIC_POINTER_TABLE *>(Hob + sizeof(EFI_HOB_GUID_TYPE));

  RomPrint("rom: result: filled_slots ");
  if (Table == nullptr) {
    RomPrint("none\n");
  } else {
    for (UINTN Slot = 0; Slot < POINTER_TYPE_COUNT; Slot++) RomPrint(Table->Pointer[Slot] != 0 ? "1" : "0");
    RomPrint("\n");
  }

  RomPrint("rom: result: cpu_and_revision ");
  const UINT64 Record = Table == nullptr ? 0 : Table->Pointer[POINTER_TYPE_CPU_AND_REVISION];
  if (Record == 0 || (Record >> 32) != 0 || !InPool(static_cast<UINTN>(Record), sizeof(CPU_AND_REVISION_RECORD))) {
    RomPrint("none\n");
  } else {
    PrintBytes(reinterpret_cast<CONST UINT8 *>(static_cast<UINTN>(Record)), sizeof(CPU_AND_REVISION_RECORD));
    RomPrint("\n");
  }

  UINT64 Mm7 = 0;
  CpuReadMm7(&Mm7);
  RomPrint("rom: result: mm7_points_to_table ");
  RomPrint(Table != nullptr && Mm7 == static_cast<UINT64>(reinterpret_cast<UINTN>(Table)) ? "true\n" : "false\n");
}

/** "records" and the kind of each status-code record in order, or "none". */
VOID PrintRecords() {
  RomPrint("rom: result: records");
  if (gRomRam.StatusCodeCount == 0) RomPrint(" none");
  for (UINTN Index = 0; Index < gRomRam.StatusCodeCount && Index < kRomMaxRecords; Index++) {
    const UINT32 Kind = gRomRam.RecordKinds[Index];
    RomPrint(Kind == kStateRecord ? " state" : Kind == kResetRecord ? " reset" : " other");
  }
  if (gRomRam.StatusCodeCount > kRomMaxRecords) RomPrint(" ...");
  RomPrint("\n");
}

}  // namespace

extern "C" {

VOID RomPrintResult(IN EFI_STATUS Status) {
  RomPrint("rom: result: status ");
  RomPrintHex32(Status);
  RomPrint("\nrom: result: breakpoints ");
  RomPrintDec(gRomRam.BreakpointCount);
  RomPrint("\n");
  PrintVornTypeHob();
  PrintInfoHob();
  PrintPointerTable();
  PrintRecords();
}
}
