/** @file
  Busy-wait delays on the ACPI power-management timer (port 0x508, 24 bits, 3579545 Hz).
**/
#pragma once

#include <Base.h>

constexpr UINT16 ACPI_TIMER_PORT      = 0x508;
constexpr UINT32 ACPI_TIMER_FREQUENCY = 3579545;

extern "C" {

/** Waits at least MicroSeconds; returns MicroSeconds. */
UINTN MicroSecondDelay(IN UINTN MicroSeconds);
/** Waits until the timer has advanced past Ticks, in chunks of at most 2^22 ticks. */
VOID AcpiTimerDelay(IN UINT32 Ticks);

}
