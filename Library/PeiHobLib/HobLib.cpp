/** @file
  HOB list walks and GUID HOB creation.

  The walk takes each HobLength at face value, except that a length smaller than a HOB
  header (0 included) ends the walk as if the list ended there: such a HOB cannot be
  stepped over, and stepping by it would loop for ever or leave the list. Header fields
  are read at any alignment: a core that does not round lengths up leaves HOBs at odd
  addresses.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesTablePointerLib.h>
}

namespace {

UINT16 HobType(const VOID *Hob) {
  return ReadUnaligned16(
      reinterpret_cast<const UINT16 *>(static_cast<const UINT8 *>(Hob) + OFFSET_OF(EFI_HOB_GENERIC_HEADER, HobType)));
}

UINT16 HobLength(const VOID *Hob) {
  return ReadUnaligned16(
      reinterpret_cast<const UINT16 *>(static_cast<const UINT8 *>(Hob) + OFFSET_OF(EFI_HOB_GENERIC_HEADER, HobLength)));
}

/// TRUE when the walk must stop at Hob: the end HOB, or a length that cannot be stepped over.
bool EndsWalk(const VOID *Hob) {
  return HobType(Hob) == EFI_HOB_TYPE_END_OF_HOB_LIST || HobLength(Hob) < sizeof(EFI_HOB_GENERIC_HEADER);
}

const VOID *NextHob(const VOID *Hob) { return static_cast<const UINT8 *>(Hob) + HobLength(Hob); }

const EFI_GUID *HobName(const VOID *Hob) {
  return reinterpret_cast<const EFI_GUID *>(static_cast<const UINT8 *>(Hob) + OFFSET_OF(EFI_HOB_GUID_TYPE, Name));
}

}  // namespace

extern "C" {

VOID *EFIAPI GetHobList(VOID) {
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  VOID *HobList = nullptr;
  [[maybe_unused]] const EFI_STATUS Status = (*PeiServices)->GetHobList(PeiServices, &HobList);
  ASSERT_EFI_ERROR (Status);
  ASSERT (HobList != NULL);
  return HobList;
}

VOID *EFIAPI GetNextHob(IN UINT16 Type, IN CONST VOID *HobStart) {
  ASSERT (HobStart != NULL);
  for (const VOID *Hob = HobStart; Hob != nullptr && !EndsWalk(Hob); Hob = NextHob(Hob)) {
    if (HobType(Hob) == Type) {
      return const_cast<VOID *>(Hob);
    }
  }
  return nullptr;
}

VOID *EFIAPI GetNextGuidHob(IN CONST EFI_GUID *Guid, IN CONST VOID *HobStart) {
  const VOID *Hob = HobStart;
  while ((Hob = GetNextHob(EFI_HOB_TYPE_GUID_EXTENSION, Hob)) != nullptr) {
    // A GUID HOB too short to hold its name is never matched: its name would lie past it.
    if (HobLength(Hob) >= sizeof(EFI_HOB_GUID_TYPE) && CompareGuid(Guid, HobName(Hob))) {
      return const_cast<VOID *>(Hob);
    }
    Hob = NextHob(Hob);
  }
  return nullptr;
}

VOID *EFIAPI GetFirstGuidHob(IN CONST EFI_GUID *Guid) { return GetNextGuidHob(Guid, GetHobList()); }

VOID *EFIAPI BuildGuidHob(IN CONST EFI_GUID *Guid, IN UINTN DataLength) {
  ASSERT (Guid != NULL);
  // The whole HOB must fit the 16-bit HobLength; a longer one would be created short
  // and its data written past its end.
  ASSERT (DataLength <= (0xFFF8 - sizeof (EFI_HOB_GUID_TYPE)));
  if (DataLength > 0xFFF8 - sizeof(EFI_HOB_GUID_TYPE)) {
    return nullptr;
  }

  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  VOID *Hob = nullptr;
  const EFI_STATUS Status = (*PeiServices)
                                ->CreateHob(PeiServices, EFI_HOB_TYPE_GUID_EXTENSION,
                                            static_cast<UINT16>(sizeof(EFI_HOB_GUID_TYPE) + DataLength), &Hob);
  if (EFI_ERROR(Status)) {
    Hob = nullptr;
  }
  ASSERT (Hob != NULL);
  if (Hob == nullptr) {
    return nullptr;
  }
  CopyGuid(const_cast<EFI_GUID *>(HobName(Hob)), Guid);
  return static_cast<UINT8 *>(Hob) + sizeof(EFI_HOB_GUID_TYPE);
}
}
