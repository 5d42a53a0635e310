/** @file
  ASCII string lengths.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseLib.h>
#include <Library/PcdLib.h>
}
#include <QuarnAssert.h>

namespace {

constexpr CHAR8 kSource[] = "Library/BaseLib/String";
constexpr UINTN kNullCheckLine = 1082;
constexpr UINTN kLengthCheckLine = 1090;

}  // namespace

extern "C" {

UINTN EFIAPI AsciiStrLen(IN CONST CHAR8 *String) {
  QuarnAssertAt(String != nullptr, kSource, kNullCheckLine, "String != ((void *) 0)");
  if (String == nullptr) {
    return 0;
  }
  UINTN Length = 0;
  for (; String[Length] != '\0'; Length++) {
    QuarnAssertAt(Length < FixedPcdGet32(PcdMaximumAsciiStringLength), kSource, kLengthCheckLine,
                  "Length < _gPcd_FixedAtBuild_PcdMaximumAsciiStringLength");
  }
  return Length;
}

UINTN EFIAPI AsciiStrnLenS(IN CONST CHAR8 *String, IN UINTN MaxSize) {
  if (String == nullptr || MaxSize == 0) {
    return 0;
  }
  UINTN Length = 0;
  while (Length < MaxSize && String[Length] != '\0') {
    Length++;
  }
  return Length;
}
}
