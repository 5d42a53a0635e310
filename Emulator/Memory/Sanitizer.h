// What the emulator tells AddressSanitizer about memory it manages itself: ranges of the
// emulated RAM that are closed (poisoned) or open, and stack switches. Without the
// sanitizer every function here does nothing.
#pragma once

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__)
#define QUARN_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUARN_ASAN 1
#endif
#endif

#ifdef QUARN_ASAN
#include <sanitizer/asan_interface.h>
#include <sanitizer/common_interface_defs.h>
#endif

namespace quarn::emu {

/// TRUE in the sanitizer build, where every emulated boot runs many times slower.
#ifdef QUARN_ASAN
inline constexpr bool kSanitizedBuild = true;
#else
inline constexpr bool kSanitizedBuild = false;
#endif

/// Any access to [Address, Address + Bytes) is reported from now on.
inline void PoisonMemory(void *Address, size_t Bytes) {
#ifdef QUARN_ASAN
  __asan_poison_memory_region(Address, Bytes);
#else
  (void)Address, (void)Bytes;
#endif
}

/// [Address, Address + Bytes) may be accessed again.
inline void UnpoisonMemory(void *Address, size_t Bytes) {
#ifdef QUARN_ASAN
  __asan_unpoison_memory_region(Address, Bytes);
#else
  (void)Address, (void)Bytes;
#endif
}

/// About to run on the stack [Bottom, Bottom + Bytes); *Save keeps what the sanitizer needs
/// to come back (nullptr: this stack is left for good).
inline void StartStackSwitch(void **Save, const void *Bottom, size_t Bytes) {
#ifdef QUARN_ASAN
  __sanitizer_start_switch_fiber(Save, Bottom, Bytes);
#else
  (void)Save, (void)Bottom, (void)Bytes;
#endif
}

/// Now running on the stack announced last; *OldBottom / *OldBytes receive the stack left.
inline void FinishStackSwitch(void *Save, const void **OldBottom, size_t *OldBytes) {
#ifdef QUARN_ASAN
  __sanitizer_finish_switch_fiber(Save, OldBottom, OldBytes);
#else
  (void)Save, (void)OldBottom, (void)OldBytes;
#endif
}

}  // namespace quarn::emu
