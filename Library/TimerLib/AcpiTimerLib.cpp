/** @file
  Delays as busy waits on the ACPI power-management timer: a free-running 24-bit
  up-counter. Only bit 23 of (Target - reading) is tested, so the wrap at 2^24 is
  handled; waits are cut into chunks of at most 2^22 ticks to stay below 2^23.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseLib.h>
#include <Library/IoLib.h>
#include <Library/TimerLib.h>
}

#include "AcpiTimerLibInternal.h"

namespace {

constexpr UINT32 kCounterMask = 0x00FFFFFF;
constexpr UINT32 kCounterBit23 = 0x00800000;
constexpr UINT32 kChunkShift = 22;
constexpr UINT32 kChunkTicks = 1u << kChunkShift;
constexpr UINT32 kMicroSecondsPerSecond = 1000000;

}  // namespace

extern "C" {

VOID AcpiTimerDelay(IN UINT32 Ticks) {
  UINT32 Times = Ticks >> kChunkShift;
  UINT32 Delay = Ticks & (kChunkTicks - 1);
  do {
    const UINT32 Target = (IoRead32(kAcpiTimerPort) & kCounterMask) + Delay;
    Delay = kChunkTicks;
    while (((Target - IoRead32(kAcpiTimerPort)) & kCounterBit23) == 0) {
      CpuPause();
    }
  } while (Times-- > 0);
}

UINTN EFIAPI MicroSecondDelay(IN UINTN MicroSeconds) {
  const UINT64 Product = static_cast<UINT64>(MicroSeconds) * kAcpiTimerFrequency;
  AcpiTimerDelay(static_cast<UINT32>(DivU64x32Remainder(Product, kMicroSecondsPerSecond, nullptr)));
  return MicroSeconds;
}
}
