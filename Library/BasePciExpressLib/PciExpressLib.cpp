/** @file
  Configuration space through the memory-mapped PCI Express window at kPcieBaseAddress.
**/
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/PciExpressLib.h>

namespace {

constexpr CHAR8 kSource[] = "Library/BasePciExpressLib/PciExpressLib";
constexpr UINTN kRead8CheckLine = 103;
constexpr UINTN kRead32CheckLine = 858;

UINTN WindowAddress(UINTN Address) { return static_cast<UINTN>(kPcieBaseAddress) + Address; }

}  // namespace

extern "C" {

UINT32 PciExpressRead32(IN UINTN Address) {
  DebugCheck((Address & ~0xfffffffu) == 0, kSource, kRead32CheckLine, "((Address) & ~0xfffffff) == 0");
  return MmioRead32(WindowAddress(Address));
}

UINT8 PciExpressRead8(IN UINTN Address) {
  DebugCheck((Address & ~0xfffffffu) == 0, kSource, kRead8CheckLine, "((Address) & ~0xfffffff) == 0");
  return MmioRead8(WindowAddress(Address));
}

}
