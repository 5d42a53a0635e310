/** @file
  Pool allocation from the PEI heap.
**/
#pragma once

#include <Base.h>

extern "C" {

/** AllocatePool(Size), cleared; NULL when the service fails. */
VOID *AllocateZeroPool(IN UINTN AllocationSize);

}
