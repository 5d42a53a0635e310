/** @file
  The boot mode the PEI core reports.
**/
#ifndef __PI_BOOT_MODE_H__
#define __PI_BOOT_MODE_H__

typedef UINT32 EFI_BOOT_MODE;

#define BOOT_WITH_FULL_CONFIGURATION  0x00
#define BOOT_WITH_DEFAULT_SETTINGS    0x04
#define BOOT_ON_S3_RESUME             0x11

#endif
