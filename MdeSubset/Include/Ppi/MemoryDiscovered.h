/** @file
  Installed by the PEI core once permanent memory is in place; a notification trigger only.
**/
#ifndef __PEI_MEMORY_DISCOVERED_PPI_H__
#define __PEI_MEMORY_DISCOVERED_PPI_H__

extern EFI_GUID  gEfiPeiMemoryDiscoveredPpiGuid;

#endif
