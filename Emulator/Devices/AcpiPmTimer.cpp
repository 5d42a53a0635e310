#include "AcpiPmTimer.h"

namespace quarn::emu {

AcpiPmTimer::AcpiPmTimer(Board &B) : Board_(B) { B.MapIo(kPort, 4, *this); }

uint32_t AcpiPmTimer::CountAt(uint64_t Ns) {
  constexpr uint64_t kNsPerSecond = 1000000000u;
  const uint64_t Ticks = (Ns / kNsPerSecond) * kFrequency + (Ns % kNsPerSecond) * kFrequency / kNsPerSecond;
  return static_cast<uint32_t>(Ticks) & 0xFFFFFF;
}

uint32_t AcpiPmTimer::IoRead(uint16_t Port, unsigned Width) {
  if (Stopped_) return Frozen_;
  const uint32_t Count = static_cast<uint32_t>(CountAt(Board_.NowNs()) + OffsetTicks_) & 0xFFFFFF;
  return ExtractBytes(Count, Port - kPort, Width);
}

void AcpiPmTimer::SetCount(uint32_t Ticks) {
  OffsetTicks_ = int64_t(Ticks & 0xFFFFFF) - int64_t(CountAt(Board_.NowNs()));
  Frozen_ = Ticks & 0xFFFFFF;
}

}  // namespace quarn::emu
