/** @file
  The policy PPI and the DRUX_PPI stand-in of the boot stub. Both live in ROM as
  constants; the call counter of the stand-in is kept in the stub's RAM.
**/
#include "RomPlatformPpis.h"

extern "C" {
#include <PiPei.h>
}
#include <Ppi/Drux.h>
#include <Ppi/VornPolicy.h>

#include "RomPolicyTable.h"
#include "RomRam.h"

namespace {

using quarn_board::kPolicyTable;

/** SendWithAck of the stand-in: no VORN answers on this board. */
EFI_STATUS EFIAPI RomDruxSendWithAck(IN UINT32, IN OUT VOID *, IN UINT32, IN OUT UINT32 *, IN UINT8, IN UINT8) {
  gRomRam.DruxCallCount++;
  return EFI_DEVICE_ERROR;
}

/** GetVornStatus of the stand-in: status word 0. */
EFI_STATUS EFIAPI RomDruxGetVornStatus(OUT UINT32 *Status) {
  gRomRam.DruxCallCount++;
  if (Status == nullptr) return EFI_INVALID_PARAMETER;
  *Status = 0;
  return EFI_SUCCESS;
}

constexpr DRUX_PPI kDruxPpi = quarn_board::DruxStandIn(RomDruxSendWithAck, RomDruxGetVornStatus);

constexpr EFI_PEI_PPI_DESCRIPTOR kPlatformPpis[] = {
    {EFI_PEI_PPI_DESCRIPTOR_PPI, const_cast<EFI_GUID *>(&gVornPolicyPpiGuid), const_cast<UINT8 *>(kPolicyTable.Bytes)},
    {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, const_cast<EFI_GUID *>(&gDruxPpiGuid),
     const_cast<DRUX_PPI *>(&kDruxPpi)},
};

}  // namespace

extern "C" {

EFI_STATUS RomInstallPlatformPpis(IN CONST EFI_PEI_SERVICES **PeiServices) {
  gRomRam.DruxCallCount = 0;
  return (*PeiServices)->InstallPpi(PeiServices, kPlatformPpis);
}

UINTN RomDruxCallCount(VOID) { return gRomRam.DruxCallCount; }
}
