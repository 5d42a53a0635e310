// Names for what the report carries as numbers: PPIs (from the GUID head a PEI service
// trace line carries), firmware types, HOBs by their requested length.
#pragma once

#include <cstdint>
#include <string>

namespace quarn::emu::cli {

/// The first eight bytes of a GUID as the PEI core's trace carries them.
uint64_t GuidHead(const void *Guid);

/// The name of the PPI whose GUID starts with Head ("DRUX_PPI"), or "" when unknown.
std::string PpiName(uint64_t Head);

/// "VORN_TYPE_QUARN" ... for the values the module stores, else "UNKNOWN".
std::string VornTypeName(uint32_t Type);

/// What this module creates a HOB of that length for ("VORN type HOB"), or "".
std::string HobNameForLength(uint64_t Length);

}  // namespace quarn::emu::cli
