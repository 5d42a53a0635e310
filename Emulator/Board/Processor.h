// One emulated processor: what the module can see of it through the seam.
#pragma once

#include <array>
#include <cstdint>

namespace quarn::emu {

struct Processor {
  uint32_t CpuidSignature = 0x00050654;  // CPUID leaf 1 EAX
  uint16_t IdtLimit = 0;
  uint32_t IdtBase = 0;
  std::array<uint64_t, 8> Mm{};          // MM0..MM7
  unsigned Breakpoints = 0;              // INT3 executed
};

}  // namespace quarn::emu
