/** @file
  Little-endian reads and writes at any byte address.
**/
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>

namespace {

constexpr CHAR8 kSource[] = "Library/BaseLib/Unaligned";

typedef UINT16 __attribute__((aligned(1), may_alias)) UNALIGNED_UINT16;
typedef UINT32 __attribute__((aligned(1), may_alias)) UNALIGNED_UINT32;
typedef UINT64 __attribute__((aligned(1), may_alias)) UNALIGNED_UINT64;

}  // namespace

extern "C" {

UINT16 EFIAPI ReadUnaligned16(IN CONST UINT16 *Buffer) {
  DebugCheck(Buffer != nullptr, kSource, __LINE__, "Buffer != ((void *) 0)");
  return *reinterpret_cast<const UNALIGNED_UINT16 *>(Buffer);
}

UINT32 EFIAPI ReadUnaligned32(IN CONST UINT32 *Buffer) {
  DebugCheck(Buffer != nullptr, kSource, __LINE__, "Buffer != ((void *) 0)");
  return *reinterpret_cast<const UNALIGNED_UINT32 *>(Buffer);
}

UINT64 EFIAPI ReadUnaligned64(IN CONST UINT64 *Buffer) {
  DebugCheck(Buffer != nullptr, kSource, __LINE__, "Buffer != ((void *) 0)");
  return *reinterpret_cast<const UNALIGNED_UINT64 *>(Buffer);
}

UINT64 EFIAPI WriteUnaligned64(OUT UINT64 *Buffer, IN UINT64 Value) {
  DebugCheck(Buffer != nullptr, kSource, __LINE__, "Buffer != ((void *) 0)");
  *reinterpret_cast<UNALIGNED_UINT64 *>(Buffer) = Value;
  return Value;
}

}
