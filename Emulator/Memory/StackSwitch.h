// Runs emulator code (and the module it calls) on a stack inside the emulated RAM, as the
// module runs on a board: on the temporary RAM's stack before the move to permanent
// memory, on permanent memory's after it. Whatever the code throws is passed on to the
// caller on the host's stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>

namespace quarn::emu {

/// Calls Body on the stack [Bottom, Bottom + Bytes) (Bytes a multiple of 16) and returns
/// when it returns; rethrows what Body threw, once back on the caller's stack.
void RunOnStack(uint8_t *Bottom, size_t Bytes, const std::function<void()> &Body);

}  // namespace quarn::emu
