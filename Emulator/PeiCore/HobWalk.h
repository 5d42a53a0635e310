// Host-side reading of the HOB list, bounded by the PEI core's memory: for reports and
// tests, never trusting a length the module wrote.
#pragma once

#include <vector>

#include "PeiCore.h"

namespace quarn::emu {

/// Every HOB of the list, in order, up to the end HOB or the first malformed one.
std::vector<EFI_HOB_GENERIC_HEADER *> ListHobs(PeiCore &Core);
/// The GUID extension HOBs named Guid, in order (headers).
std::vector<EFI_HOB_GUID_TYPE *> FindGuidHobs(PeiCore &Core, const EFI_GUID &Guid);

}  // namespace quarn::emu
