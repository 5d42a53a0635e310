// Fuzz target: HOB lists with arbitrary contents through the module's readers and
// writers: the GUID HOB walks, the VORN type HOB, the info HOB and the static pointer
// table HOB.
//
// Input: VORNFS1 (u32) and a flags byte (bit 0: DWR flow; bit 1: a core that does not
// round HOB lengths up, so that HOBs, the module's own included, start at any address),
// then records of [type u16][length u16][name selector u8][payload], turned into a
// chained list after the PHIT and closed by an end HOB, so that every HOB lies inside
// the list (as a PEI core builds it); lengths below a header, short GUID HOBs, odd
// lengths and any names (including the module's own) are all possible.
extern "C" {
#include <PiPei.h>
}
#include <Guid/QuarnInfoHob.h>
#include <Guid/StaticPointerTableHob.h>
#include <Guid/VornTypeHob.h>
extern "C" {
#include <PiPei.h>
#include <Library/HobLib.h>
}
#include <Library/SysHostPointerLib.h>
#include <Library/VornTypeGetLib.h>
#include <Pei/QuarnPeiPreMem/QuarnPeiPreMem.h>

#include <cstring>

#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"
#include "Emulator/Vorn/VornDevice.h"
#include "FuzzInput.h"

namespace {

const EFI_GUID *const kNames[] = {&gVornTypeHobGuid, &gQuarnInfoHobGuid, &gStaticPointerTableHobGuid};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *Data, size_t Size) {
  quarn::fuzz::FuzzInput In(Data, Size);
  quarn::emu::Scenario S;
  S.Fs1 = In.Take<uint32_t>();
  const uint8_t Flags = In.Take<uint8_t>();
  S.DwrSts = Flags & 1 ? 0x8000 : 0;
  S.RoundHobLengths = (Flags & 2) == 0;
  S.DebugPrintPpi = false;
  S.Uart1.Divisor = S.Uart2.Divisor = 1;
  S.Uart1.Lcr = S.Uart2.Lcr = 3;
  S.CmosErrorLevel = 0;  // keep the console quiet: assertions still print
  quarn::emu::Emulator E{S};
  E.Activate();

  for (unsigned Count = 0; Count < 24 && In.Left() > 0; Count++) {
    const uint16_t Type = In.Take<uint16_t>();
    uint16_t Length = In.Take<uint16_t>() % 400;
    const uint8_t Selector = In.Take<uint8_t>();
    if (Type == EFI_HOB_TYPE_END_OF_HOB_LIST) continue;
    // The core never builds a HOB shorter than its header: the raw length is written
    // over it afterwards, so short and odd lengths reach the module. Without rounding,
    // an odd length puts every later HOB at an odd address.
    auto *Hob = static_cast<uint8_t *>(E.Core().AppendHob(Type, Length < 8 ? 8 : Length));
    if (Hob == nullptr) break;
    const uint16_t Room = quarn::emu::HobLengthAt(Hob);
    for (uint16_t Byte = 8; Byte < Room; Byte++) Hob[Byte] = In.Take<uint8_t>();
    if (Selector < 3 * 40 && Room >= 24) std::memcpy(Hob + 8, kNames[Selector % 3], sizeof(EFI_GUID));
    if (Selector & 0x80) std::memcpy(Hob + offsetof(EFI_HOB_GENERIC_HEADER, HobLength), &Length, sizeof Length);
    if (Length < 8) break;  // the rest of the list is unreachable anyway
  }

  try {
    for (const EFI_GUID *Name : kNames) GetFirstGuidHob(Name);
    GetVornType();
    QuarnSetNonFunctional();
    StaticPointerTableInit();
    // The slots and descriptors of whatever table MM7 now names: the move's migration.
    StaticPointerTableOnMemoryDiscovered(const_cast<EFI_PEI_SERVICES **>(E.Core().Services()), nullptr, nullptr);
  } catch (const quarn::emu::RunStopped &) {
    // A dead loop the module calls for (a table HOB that fails validation): a valid end.
  }
  return 0;
}
