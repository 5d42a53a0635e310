/** @file
  Error-log records for VORN failures, reported as status codes with extended data.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

#pragma pack(push, 1)
typedef struct {
  UINT32 EntryType;
  UINT16 EntrySize;
  UINT32 Severity;
  UINT32 EntryCode;
  UINT32 EntryContext;
} VORN_EWL_HEADER;

typedef struct {
  VORN_EWL_HEADER Header;
  UINT32 VornFs1;
  UINT32 VornFs2;
  UINT32 Fn1Status;
  UINT32 Fn4Status;
  UINT32 Fn6Status;
} VORN_EWL_STATE_ENTRY;

typedef struct {
  VORN_EWL_HEADER Header;
  UINT32 VornFs1;
  UINT32 VornFs2;
  UINT32 ResetDetail;
  UINT8 Reserved[12];
} VORN_EWL_RESET_ENTRY;
#pragma pack(pop)

static_assert(sizeof(VORN_EWL_HEADER) == 18, "record header and context are 18 bytes");
static_assert(OFFSET_OF(VORN_EWL_HEADER, Severity) == 6, "Severity at 6");
static_assert(OFFSET_OF(VORN_EWL_HEADER, EntryCode) == 10, "EntryCode at 10");
static_assert(sizeof(VORN_EWL_STATE_ENTRY) == 38, "state record is 38 bytes");
static_assert(sizeof(VORN_EWL_RESET_ENTRY) == 42, "reset record is 42 bytes");
static_assert(OFFSET_OF(VORN_EWL_RESET_ENTRY, ResetDetail) == 26, "ResetDetail at 26");

constexpr UINT32 VORN_EWL_TYPE_STATE = 16;
constexpr UINT32 VORN_EWL_TYPE_RESET = 17;
constexpr UINT32 VORN_EWL_CODE_STATE = 0x00020101;
constexpr UINT32 VORN_EWL_CODE_RESET = 0x02010101;
constexpr UINT32 VORN_EWL_RESET_DETAIL = 0x12120000;

extern "C" {

/** 0, 1, 2 map to themselves; anything else asserts "((BOOLEAN)(0==1))" and gives 0. */
UINT8 VornEwlMapSeverity(IN UINT32 Severity);
/** Reports the state record, only while QUARN firmware runs. */
VOID VornEwlReportStateError(VOID);
/** Reports the reset record. */
VOID VornEwlReportResetError(VOID);
}
