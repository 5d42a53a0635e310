/** @file
  I/O port access. The 32-bit forms check alignment; every access is one instruction
  through the hardware seam.
**/
extern "C" {
#include <Base.h>
#include <Library/IoLib.h>
}
#include <Library/CpuIntrinsicsLib.h>
#include <QuarnAssert.h>

namespace {

constexpr CHAR8 kSource[] = "Library/BaseIoLibIntrinsic/IoLibMsc";
constexpr UINTN kIoRead32CheckLine = 187;
constexpr UINTN kIoWrite32CheckLine = 217;

}  // namespace

extern "C" {

UINT8 EFIAPI IoRead8(IN UINTN Port) { return CpuIoRead8(static_cast<UINT16>(Port)); }

UINT8 EFIAPI IoWrite8(IN UINTN Port, IN UINT8 Value) {
  CpuIoWrite8(static_cast<UINT16>(Port), Value);
  return Value;
}

UINT32 EFIAPI IoRead32(IN UINTN Port) {
  QuarnAssertAt((Port & 3) == 0, kSource, kIoRead32CheckLine, "(Port & 3) == 0");
  return CpuIoRead32(static_cast<UINT16>(Port));
}

UINT32 EFIAPI IoWrite32(IN UINTN Port, IN UINT32 Value) {
  QuarnAssertAt((Port & 3) == 0, kSource, kIoWrite32CheckLine, "(Port & 3) == 0");
  CpuIoWrite32(static_cast<UINT16>(Port), Value);
  return Value;
}
}
