/** @file
  Segment addresses onto the PCI Express window; only segment 0 exists here.
**/
extern "C" {
#include <Base.h>
#include <Library/PciExpressLib.h>
#include <Library/PciSegmentLib.h>
}
#include <QuarnAssert.h>

extern "C" {

UINT32 EFIAPI PciSegmentRead32(IN UINT64 Address) {
  QuarnAssertAt((Address & (0xfffffffff0000000ull | 3)) == 0, "Library/BasePciSegmentLibPci/PciSegmentLib", 766,
                "((Address) & (0xfffffffff0000000ULL | (3))) == 0");
  return PciExpressRead32(static_cast<UINTN>(Address & 0xFFFFFFFFu));
}
}
