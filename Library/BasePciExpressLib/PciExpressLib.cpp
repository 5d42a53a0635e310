/** @file
  Configuration space through the memory-mapped PCI Express window at
  PcdPciExpressBaseAddress.
**/
extern "C" {
#include <Base.h>
#include <Library/IoLib.h>
#include <Library/PcdLib.h>
#include <Library/PciExpressLib.h>
}
#include <QuarnAssert.h>

namespace {

constexpr CHAR8 kSource[] = "Library/BasePciExpressLib/PciExpressLib";
constexpr UINTN kRead8CheckLine = 103;
constexpr UINTN kRead32CheckLine = 858;

constexpr UINT64 kPcieBaseAddress = FixedPcdGet64(PcdPciExpressBaseAddress);
static_assert(kPcieBaseAddress <= 0xF0000000u, "the window lies below 4 GiB");

UINTN WindowAddress(UINTN Address) { return static_cast<UINTN>(kPcieBaseAddress) + Address; }

}  // namespace

extern "C" {

UINT32 EFIAPI PciExpressRead32(IN UINTN Address) {
  QuarnAssertAt((Address & ~0xfffffffu) == 0, kSource, kRead32CheckLine, "((Address) & ~0xfffffff) == 0");
  return MmioRead32(WindowAddress(Address));
}

UINT8 EFIAPI PciExpressRead8(IN UINTN Address) {
  QuarnAssertAt((Address & ~0xfffffffu) == 0, kSource, kRead8CheckLine, "((Address) & ~0xfffffff) == 0");
  return MmioRead8(WindowAddress(Address));
}
}
