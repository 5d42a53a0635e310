/** @file
  Status code types, values and the extended-data header of the status code service.
**/
#ifndef __PI_STATUS_CODE_H__
#define __PI_STATUS_CODE_H__

typedef UINT32 EFI_STATUS_CODE_TYPE;

#define EFI_STATUS_CODE_TYPE_MASK  0x000000FF
#define EFI_ERROR_CODE             0x00000002
#define EFI_ERROR_MINOR            0x40000000
#define EFI_ERROR_MAJOR            0x80000000

typedef UINT32 EFI_STATUS_CODE_VALUE;

///
/// The header of a status code's extended data; the data follows it.
///
typedef struct {
  UINT16    HeaderSize;
  UINT16    Size;
  EFI_GUID  Type;
} EFI_STATUS_CODE_DATA;
STATIC_ASSERT (sizeof (EFI_STATUS_CODE_DATA) == 20, "status code data header is 20 bytes");
STATIC_ASSERT (OFFSET_OF (EFI_STATUS_CODE_DATA, Type) == 4, "Type at 4");

#define EFI_COMPUTING_UNIT                     0x00000000
#define EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR  (EFI_COMPUTING_UNIT | 0x00020000)
#define EFI_CU_EC_NON_SPECIFIC                 0x00000000

#endif
