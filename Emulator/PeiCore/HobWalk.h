// Host-side reading of the HOB list, bounded by the PEI core's memory: for reports and
// tests, never trusting a length the module wrote.
#pragma once

#include <vector>

#include "PeiCore.h"

namespace quarn::emu {

/// Every HOB of the list, in order, up to the end HOB or the first malformed one.
std::vector<EFI_HOB_GENERIC_HEADER *> ListHobs(PeiCore &Core);
/// The GUID extension HOBs named Guid, in order (headers, at any alignment: read them
/// byte-wise, e.g. with HobLengthAt).
std::vector<EFI_HOB_GUID_TYPE *> FindGuidHobs(PeiCore &Core, const EFI_GUID &Guid);
/// HobLength of the HOB at Hob, at any alignment.
uint16_t HobLengthAt(const void *Hob);

}  // namespace quarn::emu
