/** @file
  Busy-wait delays.
**/
#ifndef __TIMER_LIB__
#define __TIMER_LIB__

/** Waits at least MicroSeconds; returns MicroSeconds. */
UINTN
EFIAPI
MicroSecondDelay (
  IN      UINTN  MicroSeconds
  );

#endif
