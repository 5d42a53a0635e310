/** @file
  HOB header fields read at any alignment: a PEI core that does not round HOB lengths up
  leaves HOBs at odd addresses.
**/
#pragma once

extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
}

/** HobLength of the HOB at Hob, read at any alignment. */
inline UINT16 QuarnHobLength(const VOID *Hob) {
  return ReadUnaligned16(
      reinterpret_cast<const UINT16 *>(static_cast<const UINT8 *>(Hob) + OFFSET_OF(EFI_HOB_GENERIC_HEADER, HobLength)));
}
