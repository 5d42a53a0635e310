/** @file
  Firmware volume and file attribute words, as the PEI services name them.
**/
#ifndef __PI_FIRMWAREVOLUME_H__
#define __PI_FIRMWAREVOLUME_H__

typedef UINT32 EFI_FV_FILE_ATTRIBUTES;
typedef UINT32 EFI_FVB_ATTRIBUTES_2;

#endif
