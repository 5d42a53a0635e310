/** @file
  Shorthands for PEI services, reached through the services table pointer.
**/
#include <Library/PeiServicesLib.h>
#include <Library/PeiServicesTablePointerLib.h>

extern "C" {

EFI_STATUS PeiServicesLocatePpi(IN CONST EFI_GUID *Guid, OUT VOID **Ppi) {
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  return (*PeiServices)->LocatePpi(PeiServices, Guid, 0, nullptr, Ppi);
}

}
