/** @file
  Error-log records for VORN failures: a state record when the firmware does not reach
  a usable state, a reset record when the pre-DID reset fails. Each is built in a local
  buffer from the registers as they read at that moment and reported as a status code
  with extended data; the reporting status is dropped.
**/
extern "C" {
#include <PiPei.h>
#include <Guid/StatusCodeDataTypeId.h>
#include <Library/BaseMemoryLib.h>
#include <Library/DebugLib.h>
#include <Library/ReportStatusCodeLib.h>
}
#include <Library/VornEwlLib.h>
#include <Library/VornStatusLib.h>
#include <Library/VornTypeGetLib.h>
#include <Register/VornRegs.h>

namespace {


/// Severity codes a record may carry, indexed by the severity asked for.
constexpr UINT8 kSeverityCodes[] = {0, 1, 2};
constexpr UINT32 kStateSeverity = 2;
constexpr UINT32 kResetSeverity = 1;

constexpr EFI_STATUS_CODE_TYPE kEwlCodeType = EFI_ERROR_CODE | EFI_ERROR_MINOR;
constexpr EFI_STATUS_CODE_VALUE kEwlCodeValue = EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR | EFI_CU_EC_NON_SPECIFIC;
static_assert(kEwlCodeType == 0x40000002, "error code, minor");
static_assert(kEwlCodeValue == 0x00020000, "firmware processor, non specific");

/// Fills the common part of a record.
void FillHeader(VORN_EWL_HEADER *Header, UINT32 EntryType, UINT16 EntrySize, UINT32 Severity, UINT32 EntryCode) {
  Header->EntryType = EntryType;
  Header->EntrySize = EntrySize;
  Header->Severity = VornEwlMapSeverity(Severity);
  Header->EntryCode = EntryCode;
  Header->EntryContext = 0;
}

/// Reports Record (Size bytes) as this module's error-log status code.
void Report(const VOID *Record, UINTN Size) {
  ReportStatusCodeEx(kEwlCodeType, kEwlCodeValue, 0, &gEfiCallerIdGuid, &gEfiStatusCodeSpecificDataGuid, Record, Size);
}

}  // namespace

extern "C" {

/**
  Maps a severity to the code a record carries.
  @param Severity  0, 1 or 2.
  @return the same value; any other value asserts "((BOOLEAN)(0==1))" and gives 0.
**/
UINT8 VornEwlMapSeverity(IN UINT32 Severity) {
  if (Severity < sizeof(kSeverityCodes)) {
    return kSeverityCodes[Severity];
  }
  ASSERT (FALSE);
  return 0;
}

/**
  Reports the 38-byte state record: VORNFS1, VORNFS2 and the status words of functions
  1, 4 and 6, read in that order. Does nothing (reads none of them) unless QUARN
  firmware runs.
**/
VOID VornEwlReportStateError(VOID) {
  if (!VornTypeIsQuarn()) {
    return;
  }
  VORN_EWL_STATE_ENTRY Entry;
  FillHeader(&Entry.Header, VORN_EWL_TYPE_STATE, sizeof(Entry), kStateSeverity, VORN_EWL_CODE_STATE);
  Entry.VornFs1 = VornReadFs1();
  Entry.VornFs2 = VornReadFs2();
  Entry.Fn1Status = VornReadRegister(FN1_STATUS_ADDRESS);
  Entry.Fn4Status = VornReadRegister(FN4_STATUS_ADDRESS);
  Entry.Fn6Status = VornReadRegister(FN6_STATUS_ADDRESS);
  Report(&Entry, sizeof(Entry));
}

/**
  Reports the 42-byte reset record: VORNFS1 and VORNFS2 as read now, the reset detail
  and 12 zero bytes. Makes no firmware type test.
**/
VOID VornEwlReportResetError(VOID) {
  VORN_EWL_RESET_ENTRY Entry;
  FillHeader(&Entry.Header, VORN_EWL_TYPE_RESET, sizeof(Entry), kResetSeverity, VORN_EWL_CODE_RESET);
  Entry.VornFs1 = VornReadFs1();
  Entry.VornFs2 = VornReadFs2();
  Entry.ResetDetail = VORN_EWL_RESET_DETAIL;
  ZeroMem(Entry.Reserved, sizeof(Entry.Reserved));
  Report(&Entry, sizeof(Entry));
}
}
