/** @file
  The VORN status registers, read afresh at every test, and the Lumo-flow test.
**/
extern "C" {
#include <PiPei.h>
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/PcdLib.h>
#include <Library/PciSegmentLib.h>
}
#include <Library/VornStatusLib.h>
#include <Register/VornRegs.h>

namespace {

/// The DWR status register, memory-mapped where the board puts it.
constexpr UINTN kDwrStsAddress = FixedPcdGet32(PcdQuarnDwrStsAddress);

}  // namespace

extern "C" {

UINT32 VornReadRegister(IN UINT32 ConfigAddress) { return PciSegmentRead32(ConfigAddress); }

UINT32 VornReadFs1(VOID) { return VornReadRegister(VORNFS1_ADDRESS); }

UINT32 VornReadFs2(VOID) { return VornReadRegister(VORNFS2_ADDRESS); }

UINT32 VornReadDwrSts(VOID) { return MmioRead32(kDwrStsAddress); }

BOOLEAN QuarnIsLumoFlow(VOID) {
  const UINT32 Fs1 = VornReadFs1();
  if (Fs1 == VORNFS_NOT_PRESENT) {
    DEBUG ((DEBUG_ERROR, "ERROR: DRUX interface is disabled\n"));
    return TRUE;
  }
  return VornFlowMode(Fs1) == VORN_FLOW_MODE_LUMO ? TRUE : FALSE;
}
}
