/** @file
  ZeroMem: 32-bit stores, then the remaining bytes.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseMemoryLib.h>
}
#include <QuarnAssert.h>

#include "MemLibInternals.h"

namespace {

constexpr CHAR8 kSource[] = "Library/BaseMemoryLibRepStr/ZeroMemWrapper";
constexpr UINTN kNullCheckLine = 47;
constexpr UINTN kRangeCheckLine = 48;

}  // namespace

extern "C" {

VOID *EFIAPI ZeroMem(OUT VOID *Buffer, IN UINTN Length) {
  QuarnAssertAt(Buffer != nullptr, kSource, kNullCheckLine, "Buffer != ((void *) 0)");
  const UINT32 Address = static_cast<UINT32>(reinterpret_cast<UINTN>(Buffer));
  QuarnAssertAt(Length <= static_cast<UINT32>(0xFFFFFFFFu - Address + 1), kSource, kRangeCheckLine,
                "Length <= (0xFFFFFFFF - (UINTN)Buffer + 1)");

  auto *Bytes = static_cast<UINT8 *>(Buffer);
  for (UINTN Index = 0; Index < Length / 4; Index++, Bytes += 4) {
    StoreWord(Bytes, 0);
  }
  for (UINTN Rest = 0; Rest < Length % 4; Rest++) {
    Bytes[Rest] = 0;
  }
  return Buffer;
}
}
