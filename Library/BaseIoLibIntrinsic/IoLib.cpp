/** @file
  Memory-mapped register access: exactly one volatile access per call, through the
  hardware seam. The 32-bit forms check alignment and access anyway.
**/
extern "C" {
#include <Base.h>
#include <Library/IoLib.h>
}
#include <Library/CpuIntrinsicsLib.h>
#include <QuarnAssert.h>

namespace {

constexpr CHAR8 kSource[] = "Library/BaseIoLibIntrinsic/IoLib";
constexpr UINTN kMmioRead32CheckLine = 240;
constexpr UINTN kMmioWrite32CheckLine = 272;

}  // namespace

extern "C" {

UINT8 EFIAPI MmioRead8(IN UINTN Address) { return CpuMmioRead8(Address); }

UINT32 EFIAPI MmioRead32(IN UINTN Address) {
  QuarnAssertAt((Address & 3) == 0, kSource, kMmioRead32CheckLine, "(Address & 3) == 0");
  return CpuMmioRead32(Address);
}

UINT32 EFIAPI MmioWrite32(IN UINTN Address, IN UINT32 Value) {
  QuarnAssertAt((Address & 3) == 0, kSource, kMmioWrite32CheckLine, "(Address & 3) == 0");
  CpuMmioWrite32(Address, Value);
  return Value;
}
}
