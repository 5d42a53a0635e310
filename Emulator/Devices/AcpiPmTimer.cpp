#include "AcpiPmTimer.h"

namespace quarn::emu {

AcpiPmTimer::AcpiPmTimer(Board &B) : Board_(B), Port_(B.Layout().AcpiTimerPort) {
  B.MapIo(Port_, BoardLayout::kTimerPorts, *this);
}

namespace {

/// Numerator / Divisor where the quotient fits 32 bits (Numerator >> 32 < Divisor):
/// one divide instruction instead of a 64-bit division routine on this hot path.
uint32_t Divide(uint64_t Numerator, uint32_t Divisor, uint32_t *Remainder) {
  uint32_t Quotient, Rest;
  __asm__("divl %4"
          : "=a"(Quotient), "=d"(Rest)
          : "a"(uint32_t(Numerator)), "d"(uint32_t(Numerator >> 32)), "rm"(Divisor));
  *Remainder = Rest;
  return Quotient;
}

}  // namespace

uint32_t AcpiPmTimer::CountAt(uint64_t Ns) {
  constexpr uint32_t kNsPerSecond = 1000000000u;
  uint32_t Rest = 0;
  const uint32_t Seconds = Divide(Ns, kNsPerSecond, &Rest);  // any time below 136 years
  uint32_t Unused = 0;
  const uint32_t Fraction = Divide(uint64_t(Rest) * kFrequency, kNsPerSecond, &Unused);
  return (Seconds * kFrequency + Fraction) & 0xFFFFFF;
}

uint32_t AcpiPmTimer::IoRead(uint16_t Port, unsigned Width) {
  if (Stopped_) return Frozen_;
  const uint32_t Count = static_cast<uint32_t>(CountAt(Board_.NowNs()) + OffsetTicks_) & 0xFFFFFF;
  return ExtractBytes(Count, Port - Port_, Width);
}

void AcpiPmTimer::SetCount(uint32_t Ticks) {
  OffsetTicks_ = int64_t(Ticks & 0xFFFFFF) - int64_t(CountAt(Board_.NowNs()));
  Frozen_ = Ticks & 0xFFFFFF;
}

}  // namespace quarn::emu
