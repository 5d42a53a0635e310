/** @file
  Board set-up needed before the serial console can be programmed.
**/
#ifndef __PLATFORM_HOOK_LIB__
#define __PLATFORM_HOOK_LIB__

/** Opens whatever the board needs opened for the serial console. */
RETURN_STATUS
EFIAPI
PlatformHookSerialPortInitialize (
  VOID
  );

#endif
