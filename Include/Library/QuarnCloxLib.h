/** @file
  Feature-set query, clock-control support and the clock settings request.
**/
#pragma once

#include <Base.h>

typedef struct {
  UINT32 FeatureSet;
  UINT32 FeatureSet2;
} QUARN_FEATURE_SET;

constexpr UINT32 QUARN_FEATURE_CLOX_SUPPORTED = 0x4;

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
  UINT16      Selector;
  UINT8       Reserved0[6];
  UINT32      Frequency;
  UINT8       Reserved1[9];
  UINT8       SscPercentage;
  UINT8       Reserved2[2];
  UINT16      ClockFlags;
  UINT8       Reserved3[2];
} CLOX_CLOCK_SETTINGS;
#pragma pack(pop)

static_assert(sizeof(CLOX_HEADER) == 20, "clock message header is 20 bytes");
static_assert(sizeof(CLOX_CLOCK_SETTINGS) == 48, "clock settings message is 48 bytes");
static_assert(offsetof(CLOX_CLOCK_SETTINGS, Selector) == 20, "Selector at 20");
static_assert(offsetof(CLOX_CLOCK_SETTINGS, Frequency) == 28, "Frequency at 28");
static_assert(offsetof(CLOX_CLOCK_SETTINGS, SscPercentage) == 41, "SscPercentage at 41");
static_assert(offsetof(CLOX_CLOCK_SETTINGS, ClockFlags) == 44, "ClockFlags at 44");

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
