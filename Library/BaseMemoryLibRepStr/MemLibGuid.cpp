/** @file
  GUID copy and comparison as two unaligned 64-bit halves.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
}

namespace {

const UINT64 *LowHalf(const GUID *Guid) { return reinterpret_cast<const UINT64 *>(Guid); }
const UINT64 *HighHalf(const GUID *Guid) { return reinterpret_cast<const UINT64 *>(Guid) + 1; }

}  // namespace

extern "C" {

GUID *EFIAPI CopyGuid(OUT GUID *Destination, IN CONST GUID *Source) {
  WriteUnaligned64(reinterpret_cast<UINT64 *>(Destination), ReadUnaligned64(LowHalf(Source)));
  WriteUnaligned64(reinterpret_cast<UINT64 *>(Destination) + 1, ReadUnaligned64(HighHalf(Source)));
  return Destination;
}

BOOLEAN EFIAPI CompareGuid(IN CONST GUID *Guid1, IN CONST GUID *Guid2) {
  const UINT64 LowerHalfOfGuid1 = ReadUnaligned64(LowHalf(Guid1));
  const UINT64 LowerHalfOfGuid2 = ReadUnaligned64(LowHalf(Guid2));
  const UINT64 UpperHalfOfGuid1 = ReadUnaligned64(HighHalf(Guid1));
  const UINT64 UpperHalfOfGuid2 = ReadUnaligned64(HighHalf(Guid2));
  return (LowerHalfOfGuid1 == LowerHalfOfGuid2 && UpperHalfOfGuid1 == UpperHalfOfGuid2) ? TRUE : FALSE;
}
}
