// Virtual time of an emulated board, in nanoseconds since power-on. Nothing sleeps.
#pragma once

#include <cstdint>

namespace quarn::emu {

class VirtualClock {
 public:
  uint64_t NowNs() const { return NowNs_; }
  void Advance(uint64_t Ns) { NowNs_ += Ns; }
  /// Moves time forward to Ns; never backward.
  void AdvanceTo(uint64_t Ns) {
    if (Ns > NowNs_) NowNs_ = Ns;
  }

 private:
  uint64_t NowNs_ = 0;
};

constexpr uint64_t kNsPerUs = 1000;
constexpr uint64_t kNsPerMs = 1000000;

}  // namespace quarn::emu
