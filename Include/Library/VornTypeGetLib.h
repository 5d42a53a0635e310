/** @file
  Which kind of firmware runs in the VORN, cached in the VORN type HOB.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}
#include <Guid/VornTypeHob.h>

/// The type query to the management client: a request of one header word (GroupId
/// 0xF0, Command 0x11) in an 8-byte buffer; the answer is the header with IsResponse
/// set and the type word.
constexpr UINT32 VORN_TYPE_QUERY_GROUP_ID = 0xF0;
constexpr UINT32 VORN_TYPE_QUERY_COMMAND = 0x11;

#pragma pack(push, 1)
typedef struct {
  UINT32 Header;
  UINT32 TypeWord;  // bits 2:0 FwType, bits 10:3 FwSubType
} VORN_TYPE_MESSAGE;
#pragma pack(pop)
static_assert(sizeof(VORN_TYPE_MESSAGE) == 8, "type message is 8 bytes");
static_assert(OFFSET_OF(VORN_TYPE_MESSAGE, TypeWord) == 4, "type word at 4");

/// Bytes of the type query's request: the header word only.
constexpr UINT32 VORN_TYPE_QUERY_REQUEST_LENGTH = sizeof(UINT32);

/// FwType of a type word (bits 2:0).
constexpr UINT8 VornTypeWordFwType(UINT32 TypeWord) { return static_cast<UINT8>(TypeWord & 0x7); }
/// FwSubType of a type word (bits 10:3).
constexpr UINT8 VornTypeWordFwSubType(UINT32 TypeWord) { return static_cast<UINT8>((TypeWord >> 3) & 0xFF); }

extern "C" {

/** The firmware type: VORN_TYPE_QUARN, _CLIENT, _DFX, _UNDEF or _DISABLED. */
UINT32 GetVornType(VOID);
/** TRUE exactly when GetVornType returns VORN_TYPE_QUARN. */
BOOLEAN VornTypeIsQuarn(VOID);
/** The type from the type HOB, creating the HOB when the type can be settled. */
UINT32 GetVornTypeFromHob(VOID);
/** Asks the firmware for its type over DRUX_PPI; FwType and FwSubType may be NULL. */
UINT32 PeiDruxGetVornType(OUT UINT8 *FwType OPTIONAL, OUT UINT8 *FwSubType OPTIONAL);
/** Prints the type line "[DRUX] [VORN] (VornType is NAME)". */
VOID PrintVornType(VOID);
}
