/** @file
  The PEI services table's PCI configuration PPI, named (its members are not used here).

  A subset of the firmware framework's header of this name, for our own builds; the EDK
  II build uses the framework's own.
**/
#ifndef __PEI_PCI_CFG2_H__
#define __PEI_PCI_CFG2_H__

typedef struct _EFI_PEI_PCI_CFG2_PPI EFI_PEI_PCI_CFG2_PPI;

#endif
