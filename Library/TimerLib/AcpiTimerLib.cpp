/** @file
  Delays as busy waits on the ACPI power-management timer: a free-running 24-bit
  up-counter. Only bit 23 of (Target - reading) is tested, so the wrap at 2^24 is
  handled; waits are cut into chunks of at most 2^22 ticks to stay below 2^23.
**/
#include <Library/BaseLib.h>
#include <Library/IoLib.h>
#include <Library/TimerLib.h>

namespace {

constexpr UINT32 kCounterMask   = 0x00FFFFFF;
constexpr UINT32 kCounterBit23  = 0x00800000;
constexpr UINT32 kChunkShift    = 22;
constexpr UINT32 kChunkTicks    = 1u << kChunkShift;
constexpr UINT32 kMicroSecondsPerSecond = 1000000;

}  // namespace

extern "C" {

VOID AcpiTimerDelay(IN UINT32 Ticks) {
  UINT32 Times = Ticks >> kChunkShift;
  UINT32 Delay = Ticks & (kChunkTicks - 1);
  do {
    const UINT32 Target = (IoRead32(ACPI_TIMER_PORT) & kCounterMask) + Delay;
    Delay = kChunkTicks;
    while (((Target - IoRead32(ACPI_TIMER_PORT)) & kCounterBit23) == 0) {
      CpuPause();
    }
  } while (Times-- > 0);
}

UINTN MicroSecondDelay(IN UINTN MicroSeconds) {
  const UINT64 Product = static_cast<UINT64>(MicroSeconds) * ACPI_TIMER_FREQUENCY;
  AcpiTimerDelay(static_cast<UINT32>(DivU64x32Remainder(Product, kMicroSecondsPerSecond, nullptr)));
  return MicroSeconds;
}

}
