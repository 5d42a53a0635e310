/** @file
  The tick-level delay of the ACPI timer library, for its tests.
**/
#pragma once

extern "C" {
#include <Base.h>
#include <Library/PcdLib.h>
}

/// The ACPI power-management timer's port and frequency.
constexpr UINTN kAcpiTimerPort = FixedPcdGet16(PcdQuarnAcpiTimerPort);
constexpr UINT32 kAcpiTimerFrequency = 3579545;

extern "C" {

/** Waits until the timer has advanced past Ticks, in chunks of at most 2^22 ticks. */
VOID AcpiTimerDelay(IN UINT32 Ticks);
}
