/** @file
  GUID copy and comparison as two unaligned 64-bit halves.
**/
#include <Library/BaseLib.h>

namespace {

const UINT64 *LowHalf(const EFI_GUID *Guid) { return reinterpret_cast<const UINT64 *>(Guid); }
const UINT64 *HighHalf(const EFI_GUID *Guid) { return reinterpret_cast<const UINT64 *>(Guid) + 1; }

}  // namespace

extern "C" {

EFI_GUID *CopyGuid(OUT EFI_GUID *Destination, IN CONST EFI_GUID *Source) {
  WriteUnaligned64(reinterpret_cast<UINT64 *>(Destination), ReadUnaligned64(LowHalf(Source)));
  WriteUnaligned64(reinterpret_cast<UINT64 *>(Destination) + 1, ReadUnaligned64(HighHalf(Source)));
  return Destination;
}

BOOLEAN CompareGuid(IN CONST EFI_GUID *Guid1, IN CONST EFI_GUID *Guid2) {
  const UINT64 LowerHalfOfGuid1 = ReadUnaligned64(LowHalf(Guid1));
  const UINT64 LowerHalfOfGuid2 = ReadUnaligned64(LowHalf(Guid2));
  const UINT64 UpperHalfOfGuid1 = ReadUnaligned64(HighHalf(Guid1));
  const UINT64 UpperHalfOfGuid2 = ReadUnaligned64(HighHalf(Guid2));
  return (LowerHalfOfGuid1 == LowerHalfOfGuid2 && UpperHalfOfGuid1 == UpperHalfOfGuid2) ? TRUE : FALSE;
}

}
