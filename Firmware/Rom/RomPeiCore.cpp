/** @file
  The boot stub's PEI core. State lives in gRomRam; every service checks its arguments
  and the space it hands out, so a bad request gets an error status, never a write
  outside the stub's RAM.
**/
#include "RomPeiCore.h"

#include "RomRam.h"

namespace {

constexpr UINT32 kPhitVersion = 0x0009;
constexpr UINTN kHobAlign = 8;

/** TRUE when both 16-byte names are equal. */
bool SameGuid(CONST EFI_GUID *A, CONST EFI_GUID *B) {
  CONST auto *Left = reinterpret_cast<CONST UINT8 *>(A);
  CONST auto *Right = reinterpret_cast<CONST UINT8 *>(B);
  for (UINTN Index = 0; Index < sizeof(EFI_GUID); Index++) {
    if (Left[Index] != Right[Index]) return false;
  }
  return true;
}

/** Fills Length bytes at Buffer with Value (one REP STOSB: no library call). */
VOID Fill(VOID *Buffer, UINTN Length, UINT8 Value) {
  __asm__ __volatile__("rep stosb" : "+D"(Buffer), "+c"(Length) : "a"(Value) : "memory");
}

/** Copies Length bytes forward or backward as the overlap needs. */
VOID Move(VOID *Destination, CONST VOID *Source, UINTN Length) {
  auto *To = static_cast<volatile UINT8 *>(Destination);
  CONST auto *From = static_cast<CONST volatile UINT8 *>(Source);
  if (To < From) {
    for (UINTN Index = 0; Index < Length; Index++) To[Index] = From[Index];
  } else {
    for (UINTN Index = Length; Index > 0; Index--) To[Index - 1] = From[Index - 1];
  }
}

EFI_HOB_HANDOFF_INFO_TABLE *Phit() { return reinterpret_cast<EFI_HOB_HANDOFF_INFO_TABLE *>(gRomRam.HobSpace); }

EFI_PHYSICAL_ADDRESS AddressOf(CONST VOID *Pointer) { return static_cast<UINT32>(reinterpret_cast<UINTN>(Pointer)); }

/** Writes an end-of-list HOB at Where. */
VOID PutEndHob(VOID *Where) {
  auto *End = static_cast<EFI_HOB_GENERIC_HEADER *>(Where);
  End->HobType = EFI_HOB_TYPE_END_OF_HOB_LIST;
  End->HobLength = sizeof(EFI_HOB_GENERIC_HEADER);
  End->Reserved = 0;
}

/** Calls every registered notification whose GUID names the PPI of Descriptor. */
VOID RunNotifications(CONST EFI_PEI_PPI_DESCRIPTOR *Descriptor) {
  for (UINTN Index = 0; Index < gRomRam.NotifyCount; Index++) {
    CONST EFI_PEI_NOTIFY_DESCRIPTOR *Notify = gRomRam.Notifies[Index];
    if (Notify->Guid != nullptr && SameGuid(Notify->Guid, Descriptor->Guid)) {
      Notify->Notify(&gRomRam.ServicesPointer, const_cast<EFI_PEI_NOTIFY_DESCRIPTOR *>(Notify), Descriptor->Ppi);
    }
  }
}

/** InstallPpi: adds each descriptor of the list, then runs the notifications for it. */
EFI_STATUS EFIAPI RomInstallPpi(IN CONST EFI_PEI_SERVICES **, IN CONST EFI_PEI_PPI_DESCRIPTOR *PpiList) {
  if (PpiList == nullptr) return EFI_INVALID_PARAMETER;
  // Check the whole list first, so that a bad list installs nothing.
  UINTN Count = 0;
  for (CONST EFI_PEI_PPI_DESCRIPTOR *Entry = PpiList;; Entry++) {
    if ((Entry->Flags & EFI_PEI_PPI_DESCRIPTOR_PPI) == 0 || Entry->Guid == nullptr) return EFI_INVALID_PARAMETER;
    Count++;
    if ((Entry->Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) != 0) break;
    if (Count >= kRomMaxPpis) return EFI_OUT_OF_RESOURCES;
  }
  if (gRomRam.PpiCount + Count > kRomMaxPpis) return EFI_OUT_OF_RESOURCES;
  for (UINTN Index = 0; Index < Count; Index++) {
    gRomRam.Ppis[gRomRam.PpiCount++] = &PpiList[Index];
    RunNotifications(&PpiList[Index]);
  }
  return EFI_SUCCESS;
}

/** LocatePpi: the Instance-th installed PPI named Guid (counting from 0). */
EFI_STATUS EFIAPI RomLocatePpi(IN CONST EFI_PEI_SERVICES **, IN CONST EFI_GUID *Guid, IN UINTN Instance,
                               IN OUT EFI_PEI_PPI_DESCRIPTOR **PpiDescriptor, IN OUT VOID **Ppi) {
  if (Guid == nullptr) return EFI_INVALID_PARAMETER;
  for (UINTN Index = 0; Index < gRomRam.PpiCount; Index++) {
    CONST EFI_PEI_PPI_DESCRIPTOR *Entry = gRomRam.Ppis[Index];
    if (!SameGuid(Entry->Guid, Guid)) continue;
    if (Instance-- != 0) continue;
    if (PpiDescriptor != nullptr) *PpiDescriptor = const_cast<EFI_PEI_PPI_DESCRIPTOR *>(Entry);
    if (Ppi != nullptr) *Ppi = Entry->Ppi;
    return EFI_SUCCESS;
  }
  return EFI_NOT_FOUND;
}

/** NotifyPpi: registers callback descriptors; a PPI already installed notifies at once. */
EFI_STATUS EFIAPI RomNotifyPpi(IN CONST EFI_PEI_SERVICES **, IN CONST EFI_PEI_NOTIFY_DESCRIPTOR *NotifyList) {
  if (NotifyList == nullptr) return EFI_INVALID_PARAMETER;
  UINTN Count = 0;
  for (CONST EFI_PEI_NOTIFY_DESCRIPTOR *Entry = NotifyList;; Entry++) {
    if ((Entry->Flags & EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK) == 0 || Entry->Guid == nullptr ||
        Entry->Notify == nullptr) {
      return EFI_INVALID_PARAMETER;
    }
    Count++;
    if ((Entry->Flags & EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST) != 0) break;
    if (Count >= kRomMaxNotifies) return EFI_OUT_OF_RESOURCES;
  }
  if (gRomRam.NotifyCount + Count > kRomMaxNotifies) return EFI_OUT_OF_RESOURCES;
  for (UINTN Index = 0; Index < Count; Index++) {
    CONST EFI_PEI_NOTIFY_DESCRIPTOR *Notify = &NotifyList[Index];
    gRomRam.Notifies[gRomRam.NotifyCount++] = Notify;
    for (UINTN Ppi = 0; Ppi < gRomRam.PpiCount; Ppi++) {
      if (SameGuid(gRomRam.Ppis[Ppi]->Guid, Notify->Guid)) {
        Notify->Notify(&gRomRam.ServicesPointer, const_cast<EFI_PEI_NOTIFY_DESCRIPTOR *>(Notify),
                       gRomRam.Ppis[Ppi]->Ppi);
      }
    }
  }
  return EFI_SUCCESS;
}

/** GetBootMode: the boot mode of the PHIT HOB. */
EFI_STATUS EFIAPI RomGetBootMode(IN CONST EFI_PEI_SERVICES **, OUT EFI_BOOT_MODE *BootMode) {
  if (BootMode == nullptr) return EFI_INVALID_PARAMETER;
  *BootMode = Phit()->BootMode;
  return EFI_SUCCESS;
}

/** GetHobList: the PHIT HOB. */
EFI_STATUS EFIAPI RomGetHobList(IN CONST EFI_PEI_SERVICES **, OUT VOID **HobList) {
  if (HobList == nullptr) return EFI_INVALID_PARAMETER;
  *HobList = Phit();
  return EFI_SUCCESS;
}

/** CreateHob: appends a HOB of Length bytes (rounded up to 8) before the end HOB. */
EFI_STATUS EFIAPI RomCreateHob(IN CONST EFI_PEI_SERVICES **, IN UINT16 Type, IN UINT16 Length, OUT VOID **Hob) {
  if (Hob == nullptr) return EFI_INVALID_PARAMETER;
  *Hob = nullptr;
  if (Length < sizeof(EFI_HOB_GENERIC_HEADER)) return EFI_INVALID_PARAMETER;
  const UINTN Rounded = (UINTN(Length) + kHobAlign - 1) & ~(kHobAlign - 1);
  if (Rounded > 0xFFF8) return EFI_OUT_OF_RESOURCES;
  EFI_HOB_HANDOFF_INFO_TABLE *Handoff = Phit();
  const UINTN Start = static_cast<UINTN>(Handoff->EfiEndOfHobList);
  const UINTN Limit = reinterpret_cast<UINTN>(gRomRam.HobSpace) + kRomHobSpace;
  if (Rounded + sizeof(EFI_HOB_GENERIC_HEADER) > Limit - Start) return EFI_OUT_OF_RESOURCES;
  auto *Header = reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(Start);
  Header->HobType = Type;
  Header->HobLength = static_cast<UINT16>(Rounded);
  Header->Reserved = 0;
  PutEndHob(reinterpret_cast<VOID *>(Start + Rounded));
  Handoff->EfiEndOfHobList = Start + Rounded;
  Handoff->EfiFreeMemoryBottom = Start + Rounded + sizeof(EFI_HOB_GENERIC_HEADER);
  *Hob = Header;
  return EFI_SUCCESS;
}

/** AllocatePool: Size bytes, 8-byte aligned, from the pool area; never freed. */
EFI_STATUS EFIAPI RomAllocatePool(IN CONST EFI_PEI_SERVICES **, IN UINTN Size, OUT VOID **Buffer) {
  if (Buffer == nullptr) return EFI_INVALID_PARAMETER;
  const UINTN Free = kRomPoolSpace - gRomRam.PoolUsed;
  if (Size > Free || ((Size + 7) & ~UINTN(7)) > Free) return EFI_OUT_OF_RESOURCES;
  *Buffer = &gRomRam.PoolSpace[gRomRam.PoolUsed];
  gRomRam.PoolUsed += (Size + 7) & ~UINTN(7);
  return EFI_SUCCESS;
}

/** CopyMem service. */
VOID EFIAPI RomCopyMem(IN VOID *Destination, IN VOID *Source, IN UINTN Length) { Move(Destination, Source, Length); }

/** SetMem service. */
VOID EFIAPI RomSetMem(IN VOID *Buffer, IN UINTN Size, IN UINT8 Value) { Fill(Buffer, Size, Value); }

/** ReportStatusCode: the stub's handler counts the records and keeps the entry type
    that follows each extended-data header (0 when the data holds none). */
EFI_STATUS EFIAPI RomReportStatusCode(IN CONST EFI_PEI_SERVICES **, IN EFI_STATUS_CODE_TYPE,
                                      IN EFI_STATUS_CODE_VALUE Value, IN UINT32, IN CONST EFI_GUID *,
                                      IN CONST EFI_STATUS_CODE_DATA *Data) {
  UINT32 Kind = 0;
  if (Data != nullptr && Data->HeaderSize == sizeof(EFI_STATUS_CODE_DATA) && Data->Size >= sizeof(UINT32)) {
    CONST auto *Entry = reinterpret_cast<CONST UINT8 *>(Data) + sizeof(EFI_STATUS_CODE_DATA);
    Kind = UINT32(Entry[0]) | (UINT32(Entry[1]) << 8) | (UINT32(Entry[2]) << 16) | (UINT32(Entry[3]) << 24);
  }
  if (gRomRam.StatusCodeCount < kRomMaxRecords) gRomRam.RecordKinds[gRomRam.StatusCodeCount] = Kind;
  gRomRam.StatusCodeCount++;
  gRomRam.LastStatusCodeValue = Value;
  return EFI_SUCCESS;
}

}  // namespace

extern "C" {

CONST EFI_PEI_SERVICES **RomPeiCoreInit(IN EFI_BOOT_MODE BootMode) {
  EFI_PEI_SERVICES &Table = gRomRam.Services;
  Fill(&Table, sizeof Table, 0);
  Table.Hdr.Signature = PEI_SERVICES_SIGNATURE;
  Table.Hdr.Revision = (1u << 16) | 70u;
  Table.Hdr.HeaderSize = sizeof(EFI_PEI_SERVICES);
  Table.InstallPpi = RomInstallPpi;
  Table.LocatePpi = RomLocatePpi;
  Table.NotifyPpi = RomNotifyPpi;
  Table.GetBootMode = RomGetBootMode;
  Table.GetHobList = RomGetHobList;
  Table.CreateHob = RomCreateHob;
  Table.AllocatePool = RomAllocatePool;
  Table.CopyMem = RomCopyMem;
  Table.SetMem = RomSetMem;
  Table.ReportStatusCode = RomReportStatusCode;
  gRomRam.ServicesPointer = &Table;
  gRomRam.PeiServicesWord = static_cast<UINT32>(reinterpret_cast<UINTN>(&gRomRam.ServicesPointer));

  gRomRam.PpiCount = 0;
  gRomRam.NotifyCount = 0;
  gRomRam.PoolUsed = 0;
  gRomRam.StatusCodeCount = 0;
  gRomRam.LastStatusCodeValue = 0;

  // The HOB list: the PHIT, then the end HOB. Temporary memory is the HOB space.
  EFI_HOB_HANDOFF_INFO_TABLE *Handoff = Phit();
  Fill(Handoff, sizeof *Handoff, 0);
  Handoff->Header.HobType = EFI_HOB_TYPE_HANDOFF;
  Handoff->Header.HobLength = sizeof(EFI_HOB_HANDOFF_INFO_TABLE);
  Handoff->Version = kPhitVersion;
  Handoff->BootMode = BootMode;
  Handoff->EfiMemoryBottom = AddressOf(gRomRam.HobSpace);
  Handoff->EfiMemoryTop = AddressOf(gRomRam.HobSpace) + kRomHobSpace;
  Handoff->EfiFreeMemoryTop = Handoff->EfiMemoryTop;
  Handoff->EfiEndOfHobList = AddressOf(gRomRam.HobSpace) + sizeof(EFI_HOB_HANDOFF_INFO_TABLE);
  Handoff->EfiFreeMemoryBottom = Handoff->EfiEndOfHobList + sizeof(EFI_HOB_GENERIC_HEADER);
  PutEndHob(gRomRam.HobSpace + sizeof(EFI_HOB_HANDOFF_INFO_TABLE));
  return const_cast<CONST EFI_PEI_SERVICES **>(&gRomRam.ServicesPointer);
}

UINTN RomHobCount(VOID) {
  UINTN Count = 0;
  const UINT8 *Hob = gRomRam.HobSpace;
  const UINT8 *Limit = gRomRam.HobSpace + kRomHobSpace;
  while (Hob + sizeof(EFI_HOB_GENERIC_HEADER) <= Limit) {
    CONST auto *Header = reinterpret_cast<CONST EFI_HOB_GENERIC_HEADER *>(Hob);
    Count++;
    if (Header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST || Header->HobLength == 0) break;
    Hob += Header->HobLength;
  }
  return Count;
}
}
