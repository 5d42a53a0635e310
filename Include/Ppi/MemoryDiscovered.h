/** @file
  Installed by the PEI core once permanent memory is in place; a notification trigger only.
**/
#pragma once

#include <Base.h>

inline constexpr EFI_GUID gEfiPeiMemoryDiscoveredPpiGuid =
  {0xF894643D, 0xC449, 0x42D1, {0x8E, 0xA8, 0x85, 0xBD, 0xD8, 0xC6, 0x5B, 0xDE}};
