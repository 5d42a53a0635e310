/** @file
  Shorthands for PEI services, reached through the services table pointer.
**/
extern "C" {
#include <PiPei.h>
#include <Library/PeiServicesLib.h>
#include <Library/PeiServicesTablePointerLib.h>
}

extern "C" {

EFI_STATUS EFIAPI PeiServicesLocatePpi(IN CONST EFI_GUID *Guid, IN UINTN Instance,
                                       IN OUT EFI_PEI_PPI_DESCRIPTOR **PpiDescriptor OPTIONAL, IN OUT VOID **Ppi) {
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  return (*PeiServices)->LocatePpi(PeiServices, Guid, Instance, PpiDescriptor, Ppi);
}
}
