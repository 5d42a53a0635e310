/** @file
  Reading the VORN status registers, and the Lumo-flow test built on them. Every read
  goes to the hardware; nothing is cached.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

extern "C" {

/** VORNFS1 (bus 0, device 24, function 0, offset 0x40). */
UINT32 VornReadFs1(VOID);
/** VORNFS2 (function 0, offset 0x48). */
UINT32 VornReadFs2(VOID);
/** The 32-bit register at a configuration address of the VORN (segment 0). */
UINT32 VornReadRegister(IN UINT32 ConfigAddress);
/** DWRSTS (memory-mapped 0xFE00192C). */
UINT32 VornReadDwrSts(VOID);
/**
  TRUE when the VORN's first function does not answer (prints "ERROR: DRUX interface is
  disabled\n") or when FlowMode is 7.
**/
BOOLEAN QuarnIsLumoFlow(VOID);
}
