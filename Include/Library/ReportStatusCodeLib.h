/** @file
  Status codes with extended data.
**/
#pragma once

#include <Pi/PiStatusCode.h>

/// The wrapper buffer: 20-byte header and at most this many data bytes.
constexpr UINTN kMaxExtendedDataSize = 512 - sizeof(EFI_STATUS_CODE_DATA);

extern "C" {

/**
  Wraps ExtendedData in an EFI_STATUS_CODE_DATA named ExtendedDataGuid and reports it.
  @retval EFI_OUT_OF_RESOURCES  ExtendedDataSize exceeds 492; nothing reported.
  @return the service's status; EFI_NOT_AVAILABLE_YET becomes EFI_SUCCESS.
**/
EFI_STATUS ReportStatusCodeEx(IN EFI_STATUS_CODE_TYPE Type, IN EFI_STATUS_CODE_VALUE Value,
                                     IN UINT32 Instance, IN CONST EFI_GUID *CallerId OPTIONAL,
                                     IN CONST EFI_GUID *ExtendedDataGuid OPTIONAL,
                                     IN CONST VOID *ExtendedData OPTIONAL, IN UINTN ExtendedDataSize);

}
