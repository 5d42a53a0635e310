/** @file
  ZeroMem: byte stores (the smallest code; the module clears a few hundred bytes at most).
**/
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>

namespace {

constexpr CHAR8 kSource[] = "Library/BaseMemoryLibRepStr/ZeroMemWrapper";
constexpr UINTN kNullCheckLine = 47;
constexpr UINTN kRangeCheckLine = 48;

}  // namespace

extern "C" {

VOID *ZeroMem(OUT VOID *Buffer, IN UINTN Length) {
  DebugCheck(Buffer != nullptr, kSource, kNullCheckLine, "Buffer != ((void *) 0)");
  const UINT32 Address = static_cast<UINT32>(reinterpret_cast<UINTN>(Buffer));
  DebugCheck(Length <= static_cast<UINT32>(0xFFFFFFFFu - Address + 1), kSource, kRangeCheckLine,
             "Length <= (0xFFFFFFFF - (UINTN)Buffer + 1)");

  auto *Bytes = static_cast<UINT8 *>(Buffer);
  for (UINTN Index = 0; Index < Length; Index++) {
    Bytes[Index] = 0;
  }
  return Buffer;
}

}
