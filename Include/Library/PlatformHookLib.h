/** @file
  Board set-up needed before the serial console can be programmed.
**/
#pragma once

#include <Base.h>

extern "C" {

/** Opens the chipset I/O decode and assigns the Super I/O UARTs unless one is active. */
VOID PlatformHookSerialPortInitialize(VOID);

}
