/** @file
  HOB list walks and GUID HOB creation.

  The walk takes each HobLength at face value, except that a length smaller than a HOB
  header (0 included) ends the walk as if the list ended there: such a HOB cannot be
  stepped over, and stepping by it would loop for ever or leave the list.
**/
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesTablePointerLib.h>

namespace {

constexpr CHAR8 kSource[] = "Library/PeiHobLib/HobLib";

const EFI_HOB_GENERIC_HEADER *Header(const VOID *Hob) { return static_cast<const EFI_HOB_GENERIC_HEADER *>(Hob); }

/// TRUE when the walk must stop at Hob: the end HOB, or a length that cannot be stepped over.
bool EndsWalk(const EFI_HOB_GENERIC_HEADER *Hob) {
  return Hob->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST || Hob->HobLength < sizeof(EFI_HOB_GENERIC_HEADER);
}

const VOID *NextHob(const VOID *Hob) { return static_cast<const UINT8 *>(Hob) + Header(Hob)->HobLength; }

}  // namespace

extern "C" {

VOID *EFIAPI GetHobList(VOID) {
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  VOID *HobList = nullptr;
  const EFI_STATUS Status = (*PeiServices)->GetHobList(PeiServices, &HobList);
  DebugCheckEfiStatus(Status, kSource, __LINE__);
  DebugCheck(HobList != nullptr, kSource, __LINE__, "HobList != ((void *) 0)");
  return HobList;
}

VOID *EFIAPI GetNextHob(IN UINT16 Type, IN CONST VOID *HobStart) {
  DebugCheck(HobStart != nullptr, kSource, __LINE__, "HobStart != ((void *) 0)");
  for (const VOID *Hob = HobStart; Hob != nullptr && !EndsWalk(Header(Hob)); Hob = NextHob(Hob)) {
    if (Header(Hob)->HobType == Type) {
      return const_cast<VOID *>(Hob);
    }
  }
  return nullptr;
}

VOID *EFIAPI GetNextGuidHob(IN CONST EFI_GUID *Guid, IN CONST VOID *HobStart) {
  const VOID *Hob = HobStart;
  while ((Hob = GetNextHob(EFI_HOB_TYPE_GUID_EXTENSION, Hob)) != nullptr) {
    // A GUID HOB too short to hold its name is never matched: its name would lie past it.
    if (Header(Hob)->HobLength >= sizeof(EFI_HOB_GUID_TYPE) &&
        CompareGuid(Guid, &static_cast<const EFI_HOB_GUID_TYPE *>(Hob)->Name)) {
      return const_cast<VOID *>(Hob);
    }
    Hob = NextHob(Hob);
  }
  return nullptr;
}

VOID *EFIAPI GetFirstGuidHob(IN CONST EFI_GUID *Guid) {
  return GetNextGuidHob(Guid, GetHobList());
}

VOID *EFIAPI BuildGuidHob(IN CONST EFI_GUID *Guid, IN UINTN DataLength) {
  DebugCheck(Guid != nullptr, kSource, __LINE__, "Guid != ((void *) 0)");
  // The whole HOB must fit the 16-bit HobLength; a longer one would be created short
  // and its data written past its end.
  constexpr UINTN kMaxDataLength = 0xFFF8 - sizeof(EFI_HOB_GUID_TYPE);
  DebugCheck(DataLength <= kMaxDataLength, kSource, __LINE__, "DataLength <= (0xFFF8 - sizeof (EFI_HOB_GUID_TYPE))");
  if (DataLength > kMaxDataLength) {
    return nullptr;
  }

  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  VOID *Hob = nullptr;
  const EFI_STATUS Status = (*PeiServices)->CreateHob(
      PeiServices, EFI_HOB_TYPE_GUID_EXTENSION, static_cast<UINT16>(sizeof(EFI_HOB_GUID_TYPE) + DataLength), &Hob);
  if (EFI_ERROR(Status)) {
    Hob = nullptr;
  }
  DebugCheck(Hob != nullptr, kSource, __LINE__, "Hob != ((void *) 0)");
  if (Hob == nullptr) {
    return nullptr;
  }
  CopyGuid(&static_cast<EFI_HOB_GUID_TYPE *>(Hob)->Name, Guid);
  return static_cast<UINT8 *>(Hob) + sizeof(EFI_HOB_GUID_TYPE);
}

}
