/** @file
  Little-endian reads and writes at any byte address.
**/
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>

namespace {

constexpr CHAR8 kSource[] = "Library/BaseLib/Unaligned";

struct __attribute__((packed, may_alias)) UNALIGNED_UINT16 { UINT16 Value; };
struct __attribute__((packed, may_alias)) UNALIGNED_UINT32 { UINT32 Value; };
struct __attribute__((packed, may_alias)) UNALIGNED_UINT64 { UINT64 Value; };

}  // namespace

extern "C" {

UINT16 ReadUnaligned16(IN CONST UINT16 *Buffer) {
  DebugCheck(Buffer != nullptr, kSource, __LINE__, "Buffer != ((void *) 0)");
  return reinterpret_cast<const UNALIGNED_UINT16 *>(Buffer)->Value;
}

UINT32 ReadUnaligned32(IN CONST UINT32 *Buffer) {
  DebugCheck(Buffer != nullptr, kSource, __LINE__, "Buffer != ((void *) 0)");
  return reinterpret_cast<const UNALIGNED_UINT32 *>(Buffer)->Value;
}

UINT64 ReadUnaligned64(IN CONST UINT64 *Buffer) {
  DebugCheck(Buffer != nullptr, kSource, __LINE__, "Buffer != ((void *) 0)");
  return reinterpret_cast<const UNALIGNED_UINT64 *>(Buffer)->Value;
}

UINT64 WriteUnaligned64(OUT UINT64 *Buffer, IN UINT64 Value) {
  DebugCheck(Buffer != nullptr, kSource, __LINE__, "Buffer != ((void *) 0)");
  reinterpret_cast<UNALIGNED_UINT64 *>(Buffer)->Value = Value;
  return Value;
}

}
