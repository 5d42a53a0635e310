/** @file
  Memory fill and copy, 32 bits at a time where the ranges allow.
**/
#pragma once

#include <Base.h>

extern "C" {

/** Zeroes Length bytes at Buffer; returns Buffer. Asserts on NULL or wrap-around. */
VOID *ZeroMem(OUT VOID *Buffer, IN UINTN Length);
/** Copies Length bytes, overlapping ranges included; returns DestinationBuffer. */
VOID *CopyMem(OUT VOID *DestinationBuffer, IN CONST VOID *SourceBuffer, IN UINTN Length);

}
