/** @file
  The names "%r" prints for the status values it knows: the success and warning
  codes 0..5 and the error codes 1..33. Any other value prints as eight hex digits.
**/
#pragma once

extern "C" {
#include <Uefi/UefiBaseType.h>
}

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

/** The position of Status in the table, or the table's length when it has no name. */
constexpr UINTN StatusIndex(EFI_STATUS Status) {
  constexpr UINTN kCount = sizeof(kStatusNames) / sizeof(kStatusNames[0]);
  constexpr UINTN kFirstError = 6;
  if (Status < kFirstError) {
    return Status;
  }
  const EFI_STATUS Code = Status - 0x80000001u;  // error codes count from 1
  return Code < kCount - kFirstError ? kFirstError + Code : kCount;
}

/** Bytes of all names with their NULs. */
constexpr UINTN StatusNameTextSize() {
  UINTN Size = 0;
  for (const STATUS_NAME &Entry : kStatusNames) {
    for (const CHAR8 *Name = Entry.Name; *Name != '\0'; Name++) Size++;
    Size++;
  }
  return Size;
}

/// The names one after the other, each ended by its NUL: what the image holds of the
/// table (no addresses, no status values; the position gives both).
struct STATUS_NAME_TEXT {
  CHAR8 Text[StatusNameTextSize()];
};

constexpr STATUS_NAME_TEXT PackStatusNames() {
  STATUS_NAME_TEXT Packed = {};
  UINTN At = 0;
  for (const STATUS_NAME &Entry : kStatusNames) {
    const CHAR8 *Name = Entry.Name;
    do {
      Packed.Text[At++] = *Name;
    } while (*Name++ != '\0');
  }
  return Packed;
}

inline constexpr STATUS_NAME_TEXT kStatusNameText = PackStatusNames();

/** The name of Status, or nullptr when the table has none. */
constexpr CONST CHAR8 *StatusName(EFI_STATUS Status) {
  UINTN Index = StatusIndex(Status);
  if (Index == sizeof(kStatusNames) / sizeof(kStatusNames[0])) {
    return nullptr;
  }
  const CHAR8 *Name = kStatusNameText.Text;
  for (; Index > 0; Index--) {
    while (*Name++ != '\0') {
    }
  }
  return Name;
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
static_assert(StatusName(0x80000022u) == nullptr, "0x80000022 has no name");
static_assert(StatusName(6) == nullptr, "warning 6 has no name");

/** TRUE when every value of the table finds its own name in the packed text. */
constexpr bool PackedNamesMatchTable() {
  for (const STATUS_NAME &Entry : kStatusNames) {
    const CHAR8 *Packed = StatusName(Entry.Status);
    for (const CHAR8 *Name = Entry.Name;; Name++, Packed++) {
      if (*Packed != *Name) return false;
      if (*Name == '\0') break;
    }
  }
  return true;
}
static_assert(PackedNamesMatchTable(), "the packed names are the table's");

}  // namespace print_lib
