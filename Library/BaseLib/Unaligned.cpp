/** @file
  Little-endian reads and writes at any byte address.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
}

namespace {

struct __attribute__((packed, may_alias)) UNALIGNED_UINT16 {
  UINT16 Value;
};
struct __attribute__((packed, may_alias)) UNALIGNED_UINT32 {
  UINT32 Value;
};
struct __attribute__((packed, may_alias)) UNALIGNED_UINT64 {
  UINT64 Value;
};

}  // namespace

extern "C" {

UINT16 EFIAPI ReadUnaligned16(IN CONST UINT16 *Buffer) {
  ASSERT (Buffer != NULL);
  return reinterpret_cast<const UNALIGNED_UINT16 *>(Buffer)->Value;
}

UINT32 EFIAPI ReadUnaligned32(IN CONST UINT32 *Buffer) {
  ASSERT (Buffer != NULL);
  return reinterpret_cast<const UNALIGNED_UINT32 *>(Buffer)->Value;
}

UINT64 EFIAPI ReadUnaligned64(IN CONST UINT64 *Buffer) {
  ASSERT (Buffer != NULL);
  return reinterpret_cast<const UNALIGNED_UINT64 *>(Buffer)->Value;
}

UINT64 EFIAPI WriteUnaligned64(OUT UINT64 *Buffer, IN UINT64 Value) {
  ASSERT (Buffer != NULL);
  reinterpret_cast<UNALIGNED_UINT64 *>(Buffer)->Value = Value;
  return Value;
}
}
