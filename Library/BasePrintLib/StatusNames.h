/** @file
  The names "%r" prints for the status values it knows: the success and warning
  codes 0..5 and the error codes 1..33. Any other value prints as eight hex digits.
**/
#pragma once

#include <Base.h>

namespace print_lib {

struct STATUS_NAME {
  EFI_STATUS Status;
  CONST CHAR8 *Name;
};

inline constexpr STATUS_NAME kStatusNames[] = {
  {0x00000000, "Success"},
  {0x00000001, "Warning Unknown Glyph"},
  {0x00000002, "Warning Delete Failure"},
  {0x00000003, "Warning Write Failure"},
  {0x00000004, "Warning Buffer Too Small"},
  {0x00000005, "Warning Stale Data"},
  {0x80000001, "Load Error"},
  {0x80000002, "Invalid Parameter"},
  {0x80000003, "Unsupported"},
  {0x80000004, "Bad Buffer Size"},
  {0x80000005, "Buffer Too Small"},
  {0x80000006, "Not Ready"},
  {0x80000007, "Device Error"},
  {0x80000008, "Write Protected"},
  {0x80000009, "Out of Resources"},
  {0x8000000A, "Volume Corrupt"},
  {0x8000000B, "Volume Full"},
  {0x8000000C, "No Media"},
  {0x8000000D, "Media changed"},
  {0x8000000E, "Not Found"},
  {0x8000000F, "Access Denied"},
  {0x80000010, "No Response"},
  {0x80000011, "No mapping"},
  {0x80000012, "Time out"},
  {0x80000013, "Not started"},
  {0x80000014, "Already started"},
  {0x80000015, "Aborted"},
  {0x80000016, "ICMP Error"},
  {0x80000017, "TFTP Error"},
  {0x80000018, "Protocol Error"},
  {0x80000019, "Incompatible Version"},
  {0x8000001A, "Security Violation"},
  {0x8000001B, "CRC Error"},
  {0x8000001C, "End of Media"},
  {0x8000001D, "Reserved (29)"},
  {0x8000001E, "Reserved (30)"},
  {0x8000001F, "End of File"},
  {0x80000020, "Invalid Language"},
  {0x80000021, "Compromised Data"},
};

static_assert(sizeof(kStatusNames) / sizeof(kStatusNames[0]) == 39, "39 named status values");

/** The name of Status, or nullptr when the table has none. */
constexpr CONST CHAR8 *StatusName(EFI_STATUS Status) {
  for (const STATUS_NAME &Entry : kStatusNames) {
    if (Entry.Status == Status) {
      return Entry.Name;
    }
  }
  return nullptr;
}

/** TRUE when the table is ordered and without gaps: 0..5, then 0x80000001..0x80000021. */
constexpr bool StatusTableIsContiguous() {
  for (UINTN Index = 0; Index < 6; Index++) {
    if (kStatusNames[Index].Status != Index) return false;
  }
  for (UINTN Index = 6; Index < sizeof(kStatusNames) / sizeof(kStatusNames[0]); Index++) {
    if (kStatusNames[Index].Status != (0x80000000u | (Index - 5))) return false;
  }
  return true;
}
static_assert(StatusTableIsContiguous(), "status names are in code order");
static_assert(StatusName(0x80000000u) == nullptr, "0x80000000 has no name");

}  // namespace print_lib
