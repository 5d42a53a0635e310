// The ACPI power-management timer at the board's timer port (BoardLayout::AcpiTimerPort):
// floor(time x 3579545 Hz) mod 2^24.
#pragma once

#include "Emulator/Board/Board.h"

namespace quarn::emu {

class AcpiPmTimer : public IoDevice {
 public:
  static constexpr uint32_t kFrequency = 3579545;

  /// Maps the timer's four ports where the board's layout places them.
  explicit AcpiPmTimer(Board &B);
  std::string Name() const override { return "ACPI PM timer"; }
  uint32_t IoRead(uint16_t Port, unsigned Width) override;
  void IoWrite(uint16_t, unsigned, uint32_t) override {}
  /// The counter value at a virtual time.
  static uint32_t CountAt(uint64_t Ns);
  /// Counting starts from Ticks at the current virtual time (a scenario or test may
  /// place the counter anywhere, e.g. just below the wrap).
  void SetCount(uint32_t Ticks);
  /// A timer that never counts (a broken board) reads a constant.
  void Stop(bool Stopped) { Stopped_ = Stopped; }

 private:
  Board &Board_;
  uint16_t Port_;
  int64_t OffsetTicks_ = 0;
  bool Stopped_ = false;
  uint32_t Frozen_ = 0;
};

}  // namespace quarn::emu
