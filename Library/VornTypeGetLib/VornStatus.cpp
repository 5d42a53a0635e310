/** @file
  The VORN status registers, read afresh at every test, and the Lumo-flow test.
**/
#include <Library/DebugLib.h>
#include <Library/IoLib.h>
#include <Library/PciSegmentLib.h>
#include <Library/VornStatusLib.h>
#include <Register/VornRegs.h>

extern "C" {

UINT32 EFIAPI VornReadRegister(IN UINT32 ConfigAddress) {
  return PciSegmentRead32(ConfigAddress);
}

UINT32 EFIAPI VornReadFs1(VOID) { return VornReadRegister(VORNFS1_ADDRESS); }

UINT32 EFIAPI VornReadFs2(VOID) { return VornReadRegister(VORNFS2_ADDRESS); }

UINT32 EFIAPI VornReadDwrSts(VOID) { return MmioRead32(DWRSTS_ADDRESS); }

BOOLEAN EFIAPI QuarnIsLumoFlow(VOID) {
  const UINT32 Fs1 = VornReadFs1();
  if (Fs1 == VORNFS_NOT_PRESENT) {
    DebugPrint(DEBUG_ERROR, "ERROR: DRUX interface is disabled\n");
    return TRUE;
  }
  return VornFlowMode(Fs1) == VORN_FLOW_MODE_LUMO ? TRUE : FALSE;
}

}
