/** @file
  Word access at any address for the memory routines.
**/
#pragma once

#include <Base.h>

/// A 32-bit word that may lie at any byte address (IA32 allows unaligned access).
typedef UINT32 __attribute__((aligned(1), may_alias)) UNALIGNED_UINT32;
