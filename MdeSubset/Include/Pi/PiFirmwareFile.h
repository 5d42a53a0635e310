/** @file
  Firmware file and section types, as the PEI services name them.
**/
#ifndef __PI_FIRMWARE_FILE_H__
#define __PI_FIRMWARE_FILE_H__

typedef UINT8 EFI_FV_FILETYPE;
typedef UINT8 EFI_SECTION_TYPE;

#define EFI_FV_FILETYPE_PEIM  0x06
#define EFI_SECTION_PE32      0x10

#endif
