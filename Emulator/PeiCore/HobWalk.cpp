#include "HobWalk.h"

#include <cstring>

namespace quarn::emu {

std::vector<EFI_HOB_GENERIC_HEADER *> ListHobs(PeiCore &Core) {
  std::vector<EFI_HOB_GENERIC_HEADER *> Hobs;
  uint8_t *Base = Core.MemoryBase();
  uint8_t *End = Base + Core.MemorySize();
  auto *Hob = static_cast<uint8_t *>(Core.HobList());
  while (Hob + sizeof(EFI_HOB_GENERIC_HEADER) <= End) {
    auto *Header = reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(Hob);
    if (Header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST || Header->HobLength < sizeof(EFI_HOB_GENERIC_HEADER) ||
        Hob + Header->HobLength > End) {
      break;
    }
    Hobs.push_back(Header);
    Hob += Header->HobLength;
  }
  return Hobs;
}

std::vector<EFI_HOB_GUID_TYPE *> FindGuidHobs(PeiCore &Core, const EFI_GUID &Guid) {
  std::vector<EFI_HOB_GUID_TYPE *> Found;
  for (EFI_HOB_GENERIC_HEADER *Header : ListHobs(Core)) {
    if (Header->HobType != EFI_HOB_TYPE_GUID_EXTENSION || Header->HobLength < sizeof(EFI_HOB_GUID_TYPE)) continue;
    auto *Hob = reinterpret_cast<EFI_HOB_GUID_TYPE *>(Header);
    if (std::memcmp(&Hob->Name, &Guid, sizeof Guid) == 0) Found.push_back(Hob);
  }
  return Found;
}

}  // namespace quarn::emu
