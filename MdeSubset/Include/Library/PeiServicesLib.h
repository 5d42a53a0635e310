/** @file
  Shorthands for the PEI services.
**/
#ifndef __PEI_SERVICES_LIB_H__
#define __PEI_SERVICES_LIB_H__

/** LocatePpi of the PEI services; returns the service's status unchanged. */
EFI_STATUS
EFIAPI
PeiServicesLocatePpi (
  IN CONST EFI_GUID              *Guid,
  IN UINTN                       Instance,
  IN OUT EFI_PEI_PPI_DESCRIPTOR  **PpiDescriptor  OPTIONAL,
  IN OUT VOID                    **Ppi
  );

#endif
