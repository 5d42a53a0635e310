/** @file
  Feature-set query, clock-control support and the clock settings request.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

typedef struct {
  UINT32 FeatureSet;
  UINT32 FeatureSet2;
} QUARN_FEATURE_SET;

constexpr UINT32 QUARN_FEATURE_CLOX_SUPPORTED = 0x4;

/// Commands of the QUARN client carry their answer with bit 7 set.
constexpr UINT8 QUARN_ANSWER_BIT = 0x80;
constexpr UINT8 QUARN_FEATURE_SET_COMMAND = 0x01;
/// Bytes of the feature-set request: the command byte only.
constexpr UINT32 QUARN_FEATURE_SET_REQUEST_LENGTH = 1;

#pragma pack(push, 1)
/// The feature-set request and, in the same buffer, its 11-byte answer.
typedef struct {
  UINT8 Command;
  UINT8 Reserved[2];
  UINT8 FeatureSet[4];  // little-endian, not 4-byte aligned
  UINT8 FeatureSet2[4];
} QUARN_FEATURE_SET_MESSAGE;
#pragma pack(pop)
static_assert(sizeof(QUARN_FEATURE_SET_MESSAGE) == 11, "feature-set message is 11 bytes");
static_assert(OFFSET_OF(QUARN_FEATURE_SET_MESSAGE, FeatureSet) == 3, "FeatureSet at 3");
static_assert(OFFSET_OF(QUARN_FEATURE_SET_MESSAGE, FeatureSet2) == 7, "FeatureSet2 at 7");

/// The clock settings request: HeaderWord0, CloxCommand and the OK response.
constexpr UINT32 CLOX_HEADER_WORD0 = 0x00050000;
constexpr UINT32 CLOX_COMMAND_SET_GET_CLOCKING_MODE = 27;
constexpr UINT32 CLOX_RESPONSE_OK = 0;

#pragma pack(push, 1)
typedef struct {
  UINT32 HeaderWord0;
  UINT32 CloxCommand;
  UINT32 CloxResponse;
  UINT32 BufferLength;
  UINT32 Reserved;
} CLOX_HEADER;

typedef struct {
  CLOX_HEADER Header;
  UINT16 Selector;
  UINT8 Reserved0[6];
  UINT32 Frequency;
  UINT8 Reserved1[9];
  UINT8 SscPercentage;
  UINT8 Reserved2[2];
  UINT16 ClockFlags;
  UINT8 Reserved3[2];
} CLOX_CLOCK_SETTINGS;
#pragma pack(pop)

static_assert(sizeof(CLOX_HEADER) == 20, "clock message header is 20 bytes");
static_assert(sizeof(CLOX_CLOCK_SETTINGS) == 48, "clock settings message is 48 bytes");
static_assert(OFFSET_OF(CLOX_CLOCK_SETTINGS, Selector) == 20, "Selector at 20");
static_assert(OFFSET_OF(CLOX_CLOCK_SETTINGS, Frequency) == 28, "Frequency at 28");
static_assert(OFFSET_OF(CLOX_CLOCK_SETTINGS, SscPercentage) == 41, "SscPercentage at 41");
static_assert(OFFSET_OF(CLOX_CLOCK_SETTINGS, ClockFlags) == 44, "ClockFlags at 44");

extern "C" {

/** Asks the firmware for its feature set; TRUE and both words filled on a correct answer. */
BOOLEAN QuarnGetFeatureSet(OUT QUARN_FEATURE_SET *FeatureSet);
/** TRUE when the firmware answers its feature set with bit 2 of FeatureSet set. */
BOOLEAN QuarnIsCloxSupported(VOID);
/** TRUE when QUARN firmware runs and VORNFS1 is all ones or CurrentState is 2. */
BOOLEAN QuarnIsInRecovery(VOID);
/** Sends the clock settings with spread-spectrum clocking on (Enable) or off. */
EFI_STATUS PeiDruxSetSSCAlternate(IN BOOLEAN Enable);
/** Writes the header of Message, sends it and checks the answer in the same buffer. */
EFI_STATUS QuarnSetGetCurrenClockingMode(IN OUT CLOX_CLOCK_SETTINGS *Message);
}
