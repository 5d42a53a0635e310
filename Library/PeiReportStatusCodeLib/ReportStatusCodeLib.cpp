/** @file
  Status codes with extended data: the data is wrapped in an EFI_STATUS_CODE_DATA
  header in a 512-byte local buffer and handed to the PEI ReportStatusCode service.
**/
extern "C" {
#include <PiPei.h>
#include <Guid/StatusCodeDataTypeId.h>
#include <Library/BaseLib.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/PeiServicesTablePointerLib.h>
#include <Library/ReportStatusCodeLib.h>
}

namespace {

/// The wrapper buffer: 20-byte header and at most this many data bytes.
constexpr UINTN kMaxExtendedDataSize = 512 - sizeof(EFI_STATUS_CODE_DATA);

/// The wrapper as the service receives it: header, then the data.
typedef struct {
  EFI_STATUS_CODE_DATA Header;
  UINT8 Data[kMaxExtendedDataSize];
} STATUS_CODE_WRAPPER;
static_assert(sizeof(STATUS_CODE_WRAPPER) == 512, "the wrapper buffer is 512 bytes");
static_assert(OFFSET_OF(STATUS_CODE_WRAPPER, Data) == 20, "the data follows the 20-byte header");
static_assert(kMaxExtendedDataSize == 492, "at most 492 data bytes");

/**
  Builds the wrapper around DataSize bytes of Data and hands it to the PEI service.
  Kept out of line so that the 512-byte wrapper is on the stack only while it is in use,
  not under the message printed for data that is too large.
**/
__attribute__((noinline)) EFI_STATUS ReportWrapped(EFI_STATUS_CODE_TYPE Type, EFI_STATUS_CODE_VALUE Value,
                                                   UINT32 Instance, const EFI_GUID *CallerId, const EFI_GUID *DataGuid,
                                                   const VOID *Data, UINTN DataSize) {
  STATUS_CODE_WRAPPER Wrapper;
  Wrapper.Header.HeaderSize = sizeof(EFI_STATUS_CODE_DATA);
  Wrapper.Header.Size = static_cast<UINT16>(DataSize);
  CopyGuid(&Wrapper.Header.Type, DataGuid);
  if (DataSize != 0) {
    CopyMem(Wrapper.Data, Data, DataSize);
  }

  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  return (*PeiServices)->ReportStatusCode(PeiServices, Type, Value, Instance, CallerId, &Wrapper.Header);
}

}  // namespace

extern "C" {

/**
  Reports a status code whose extended data is ExtendedData, named ExtendedDataGuid.

  Asserts when exactly one of ExtendedData and ExtendedDataSize is missing. Without data
  the wrapper carries a size of 0 whatever ExtendedDataSize says, so the handler never
  receives bytes that were not written.

  @param Type, Value, Instance  The status code.
  @param CallerId               Reporting module; NULL means this module.
  @param ExtendedDataGuid       Name of the data; NULL means gEfiStatusCodeSpecificDataGuid.
  @param ExtendedData           The data, or NULL.
  @param ExtendedDataSize       Bytes of data.
  @retval EFI_OUT_OF_RESOURCES  ExtendedDataSize exceeds 492; prints "Status code extended
                                data is too large to be reported!\n" and reports nothing.
  @return the service's status, with EFI_NOT_AVAILABLE_YET (no handler yet) as EFI_SUCCESS.
**/
EFI_STATUS EFIAPI ReportStatusCodeEx(IN EFI_STATUS_CODE_TYPE Type, IN EFI_STATUS_CODE_VALUE Value, IN UINT32 Instance,
                                     IN CONST EFI_GUID *CallerId OPTIONAL, IN CONST EFI_GUID *ExtendedDataGuid OPTIONAL,
                                     IN CONST VOID *ExtendedData OPTIONAL, IN UINTN ExtendedDataSize) {
  ASSERT (!((ExtendedData == NULL) && (ExtendedDataSize != 0)));
  ASSERT (!((ExtendedData != NULL) && (ExtendedDataSize == 0)));

  if (ExtendedDataSize > kMaxExtendedDataSize) {
    DEBUG ((DEBUG_ERROR, "Status code extended data is too large to be reported!\n"));
    return EFI_OUT_OF_RESOURCES;
  }

  const UINTN DataSize = (ExtendedData == nullptr) ? 0 : ExtendedDataSize;
  const EFI_STATUS Status = ReportWrapped(
      Type, Value, Instance, CallerId != nullptr ? CallerId : &gEfiCallerIdGuid,
      ExtendedDataGuid != nullptr ? ExtendedDataGuid : &gEfiStatusCodeSpecificDataGuid, ExtendedData, DataSize);
  return Status == EFI_NOT_AVAILABLE_YET ? EFI_SUCCESS : Status;
}
}
