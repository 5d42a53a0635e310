/** @file
  Everything a PEI module sees of the PI specification: base types and the PEI services.
**/
#ifndef __PI_PEI_H__
#define __PI_PEI_H__

#include <Uefi/UefiBaseType.h>
#include <Pi/PiPeiCis.h>

#endif
