/** @file
  I/O port access. The 32-bit forms check alignment; every access is one instruction
  through the hardware seam.
**/
#include <Library/CpuIntrinsicsLib.h>
#include <Library/DebugLib.h>
#include <Library/IoLib.h>

namespace {

constexpr CHAR8 kSource[] = "Library/BaseIoLibIntrinsic/IoLibMsc";
constexpr UINTN kIoRead32CheckLine  = 187;
constexpr UINTN kIoWrite32CheckLine = 217;

}  // namespace

extern "C" {

UINT8 IoRead8(IN UINTN Port) {
  return CpuIoRead8(static_cast<UINT16>(Port));
}

UINT8 IoWrite8(IN UINTN Port, IN UINT8 Value) {
  CpuIoWrite8(static_cast<UINT16>(Port), Value);
  return Value;
}

UINT32 IoRead32(IN UINTN Port) {
  DebugCheck((Port & 3) == 0, kSource, kIoRead32CheckLine, "(Port & 3) == 0");
  return CpuIoRead32(static_cast<UINT16>(Port));
}

UINT32 IoWrite32(IN UINTN Port, IN UINT32 Value) {
  DebugCheck((Port & 3) == 0, kSource, kIoWrite32CheckLine, "(Port & 3) == 0");
  CpuIoWrite32(static_cast<UINT16>(Port), Value);
  return Value;
}

}
