#include "HobWalk.h"

#include <cstring>

namespace quarn::emu {

std::vector<EFI_HOB_GENERIC_HEADER *> ListHobs(PeiCore &Core) {
  std::vector<EFI_HOB_GENERIC_HEADER *> Hobs;
  uint8_t *Base = Core.MemoryBase();
  uint8_t *End = Base + Core.MemorySize();
  auto *Hob = static_cast<uint8_t *>(Core.HobList());
  while (Hob + sizeof(EFI_HOB_GENERIC_HEADER) <= End) {
    // Read byte-wise: a core that does not round lengths leaves HOBs at any address.
    EFI_HOB_GENERIC_HEADER Header;
    std::memcpy(&Header, Hob, sizeof Header);
    if (Header.HobType == EFI_HOB_TYPE_END_OF_HOB_LIST || Header.HobLength < sizeof(EFI_HOB_GENERIC_HEADER) ||
        Hob + Header.HobLength > End) {
      break;
    }
    Hobs.push_back(reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(Hob));
    Hob += Header.HobLength;
  }
  return Hobs;
}

std::vector<EFI_HOB_GUID_TYPE *> FindGuidHobs(PeiCore &Core, const EFI_GUID &Guid) {
  std::vector<EFI_HOB_GUID_TYPE *> Found;
  for (EFI_HOB_GENERIC_HEADER *Start : ListHobs(Core)) {
    const auto *Bytes = reinterpret_cast<const uint8_t *>(Start);
    EFI_HOB_GENERIC_HEADER Header;
    std::memcpy(&Header, Bytes, sizeof Header);
    if (Header.HobType != EFI_HOB_TYPE_GUID_EXTENSION || Header.HobLength < sizeof(EFI_HOB_GUID_TYPE)) continue;
    if (std::memcmp(Bytes + offsetof(EFI_HOB_GUID_TYPE, Name), &Guid, sizeof Guid) == 0) {
      Found.push_back(reinterpret_cast<EFI_HOB_GUID_TYPE *>(Start));
    }
  }
  return Found;
}

uint16_t HobLengthAt(const void *Hob) {
  EFI_HOB_GENERIC_HEADER Header;
  std::memcpy(&Header, Hob, sizeof Header);
  return Header.HobLength;
}

}  // namespace quarn::emu
