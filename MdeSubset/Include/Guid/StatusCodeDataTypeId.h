/** @file
  The name of status-code extended data that only the reporting code interprets.
**/
#ifndef __STATUS_CODE_DATA_TYPE_ID_H__
#define __STATUS_CODE_DATA_TYPE_ID_H__

extern EFI_GUID  gEfiStatusCodeSpecificDataGuid;

#endif
