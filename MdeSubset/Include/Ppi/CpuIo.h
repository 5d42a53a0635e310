/** @file
  The PEI services table's CPU I/O PPI, named (its members are not used here).

  A subset of the firmware framework's header of this name, for our own builds; the EDK
  II build uses the framework's own.
**/
#ifndef __PEI_CPUIO_PPI_H__
#define __PEI_CPUIO_PPI_H__

typedef struct _EFI_PEI_CPU_IO_PPI EFI_PEI_CPU_IO_PPI;

#endif
