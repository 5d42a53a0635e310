/** @file
  Word access at any address for the memory routines: each is one 32-bit move on IA32.
**/
#pragma once

extern "C" {
#include <Base.h>
}

/// Stores Value at any byte address.
inline void StoreWord(VOID *Address, UINT32 Value) { __builtin_memcpy(Address, &Value, sizeof Value); }

/// Loads the word at any byte address.
inline UINT32 LoadWord(CONST VOID *Address) {
  UINT32 Value;
  __builtin_memcpy(&Value, Address, sizeof Value);
  return Value;
}
