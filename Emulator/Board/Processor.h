// One emulated processor: what the module can see of it through the seam.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

namespace quarn::emu {

/// One access to an MMX register: when, and the 64 bits read or written.
struct MmAccess {
  uint64_t TimeNs = 0;
  uint64_t Value = 0;
};

struct Processor {
  uint32_t CpuidSignature = 0x00050654;  // CPUID leaf 1 EAX
  uint16_t IdtLimit = 0;
  uint32_t IdtBase = 0;
  std::array<uint64_t, 8> Mm{};  // MM0..MM7
  unsigned Breakpoints = 0;      // INT3 executed
  /// The first read and the first write of MM0 (the error-level cache): what the
  /// module found there and what it left, for the report.
  std::optional<MmAccess> FirstMm0Read, FirstMm0Write;
};

}  // namespace quarn::emu
