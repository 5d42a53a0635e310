/** @file
  CopyMem: forward in 32-bit words where the ranges allow, backward byte by byte when
  the destination starts inside the source.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseMemoryLib.h>
}
#include <QuarnAssert.h>

#include "MemLibInternals.h"

namespace {

constexpr CHAR8 kSource[] = "Library/BaseMemoryLibRepStr/CopyMemWrapper";
constexpr UINTN kDestinationCheckLine = 50;
constexpr UINTN kSourceCheckLine = 51;

}  // namespace

extern "C" {

VOID *EFIAPI CopyMem(OUT VOID *DestinationBuffer, IN CONST VOID *SourceBuffer, IN UINTN Length) {
  if (Length == 0) {
    return DestinationBuffer;
  }
  const UINT32 Destination = static_cast<UINT32>(reinterpret_cast<UINTN>(DestinationBuffer));
  const UINT32 Source = static_cast<UINT32>(reinterpret_cast<UINTN>(SourceBuffer));
  QuarnAssertAt(Length - 1 <= 0xFFFFFFFFu - Destination, kSource, kDestinationCheckLine,
                "(Length - 1) <= (0xFFFFFFFF - (UINTN)DestinationBuffer)");
  QuarnAssertAt(Length - 1 <= 0xFFFFFFFFu - Source, kSource, kSourceCheckLine,
                "(Length - 1) <= (0xFFFFFFFF - (UINTN)SourceBuffer)");

  if (Destination == Source) {
    return DestinationBuffer;
  }

  if (Source >= Destination || Source + (Length - 1) < Destination) {
    auto *To = static_cast<UINT8 *>(DestinationBuffer);
    const auto *From = static_cast<const UINT8 *>(SourceBuffer);
    for (UINTN Index = 0; Index < Length / 4; Index++, To += 4, From += 4) {
      StoreWord(To, LoadWord(From));
    }
    for (UINTN Rest = 0; Rest < Length % 4; Rest++) {
      To[Rest] = From[Rest];
    }
  } else {
    auto *To = static_cast<UINT8 *>(DestinationBuffer);
    const auto *From = static_cast<const UINT8 *>(SourceBuffer);
    for (UINTN Index = Length; Index > 0; Index--) {
      To[Index - 1] = From[Index - 1];
    }
  }
  return DestinationBuffer;
}
}
