// Delays on the ACPI timer: the wrap at 2^24, the chunking of long delays, and the
// conversion of microseconds to ticks, checked against scripted and emulated timers.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/TimerLib.h>
}
#include "Library/TimerLib/AcpiTimerLibInternal.h"

#include "BoardFixture.h"
#include "Emulator/Devices/AcpiPmTimer.h"
#include "Emulator/Emulator.h"

using namespace quarn;
using test::ActiveBoard;
using test::ScriptedPort;

TEST(AcpiTimerDelay, WaitsAcrossTheCounterWrap) {
  ActiveBoard Board;
  // Target = 0xFFFFF0 + 3579 = 0x1000DEB; readings past the wrap end the wait only at 0xDEC.
  auto &Timer = Board.B.Add<ScriptedPort>(
      std::deque<uint32_t>{0xFFFFF0, 0xFFFFF8, 0x000002, 0x000DEA, 0x000DEB, 0x000DEC, 0x000DED});
  Board.B.MapIo(kAcpiTimerPort, 4, Timer);
  AcpiTimerDelay(3579);
  EXPECT_EQ(Timer.Reads, 6u) << "the reading 0x000DEB must not end the wait, 0x000DEC must";
  EXPECT_EQ(Timer.Left(), 1u);
}

TEST(AcpiTimerDelay, EndsAtOnceWhenTheFirstReadingIsPastTheTarget) {
  ActiveBoard Board;
  auto &Timer = Board.B.Add<ScriptedPort>(std::deque<uint32_t>{0x100, 0x200});
  Board.B.MapIo(kAcpiTimerPort, 4, Timer);
  AcpiTimerDelay(0x10);
  EXPECT_EQ(Timer.Reads, 2u);
}

TEST(AcpiTimerDelay, CutsLongDelaysIntoChunksOfTwoToTheTwentySecond) {
  ActiveBoard Board;
  // 0x400001 ticks: a first chunk of 1 tick, then one of 0x400000 from a fresh reading.
  auto &Timer = Board.B.Add<ScriptedPort>(
      std::deque<uint32_t>{0x000000, 0x000002,                      // chunk 1: target 1, passed at 2
                           0x000010, 0x400005, 0x400010, 0x400011,  // chunk 2: target 0x400010, passed at 0x400011
                           0xDEAD});
  Board.B.MapIo(kAcpiTimerPort, 4, Timer);
  AcpiTimerDelay(0x400001);
  EXPECT_EQ(Timer.Reads, 6u);
}

TEST(AcpiTimerDelay, OnlyBit23OfTheDistanceEndsAWait) {
  ActiveBoard Board;
  // 0x400000 ticks: a chunk of 0, then one of 0x400000. Its first poll is 0x400000 before
  // the target (bit 22 set, bit 23 clear): the wait goes on; one tick past it, it ends.
  auto &Timer = Board.B.Add<ScriptedPort>(
      std::deque<uint32_t>{0x000010, 0x000010, 0x000011,            // chunk 1: target 0x10, passed at 0x11
                           0x000020, 0x000020, 0x200020, 0x400020,  // chunk 2: target 0x400020, not yet passed
                           0x400021,                                // passed
                           0xDEAD});
  Board.B.MapIo(kAcpiTimerPort, 4, Timer);
  AcpiTimerDelay(0x400000);
  EXPECT_EQ(Timer.Reads, 8u);
}

TEST(AcpiTimerDelay, ExecutesPauseBetweenReadings) {
  ActiveBoard Board;
  auto &Timer = Board.B.Add<ScriptedPort>(std::deque<uint32_t>{0, 1, 2, 100});
  Board.B.MapIo(kAcpiTimerPort, 4, Timer);
  AcpiTimerDelay(50);
  unsigned Pauses = 0;
  for (const auto &Entry : Board.B.Trace()) Pauses += Entry.Kind.rfind("pause", 0) == 0;
  EXPECT_EQ(Pauses, 2u);
}

TEST(MicroSecondDelay, ConvertsAtTheTimersExactFrequencyRoundingDown) {
  // 3579545 Hz: 2200 us are 7874.999 ticks, one second 3579545; the wait ends at the first
  // reading past the target, so the third reading ends it.
  for (const auto &[MicroSeconds, Ticks] : {std::pair<UINTN, uint32_t>{2200, 7874}, {1000000, 3579545}}) {
    SCOPED_TRACE(MicroSeconds);
    ActiveBoard Board;
    auto &Timer = Board.B.Add<ScriptedPort>(std::deque<uint32_t>{0, Ticks, Ticks + 1, Ticks + 2});
    Board.B.MapIo(kAcpiTimerPort, 4, Timer);
    EXPECT_EQ(MicroSecondDelay(MicroSeconds), MicroSeconds);
    EXPECT_EQ(Timer.Reads, 3u);
  }
}

TEST(MicroSecondDelay, OneMillisecondIsAtLeastOneMillisecondOfTimerTime) {
  emu::Emulator E{emu::Scenario{}};
  E.Activate();
  const uint32_t Before = emu::AcpiPmTimer::CountAt(E.GetBoard().NowNs());
  EXPECT_EQ(MicroSecondDelay(1000), 1000u);
  const uint32_t After = emu::AcpiPmTimer::CountAt(E.GetBoard().NowNs());
  EXPECT_GT(After - Before, 3579u);
  // The emulator fast-forwards the poll; the overshoot stays small.
  EXPECT_LT(E.GetBoard().NowNs(), 1000000u + 40000u);
}

TEST(MicroSecondDelay, WaitsCorrectlyWithTheEmulatedCounterJustBelowTheWrap) {
  emu::Emulator E{emu::Scenario{}};
  E.Activate();
  E.Timer().SetCount(0xFFFFF0);
  const uint64_t Start = E.GetBoard().NowNs();
  MicroSecondDelay(1000);
  const uint64_t Spent = E.GetBoard().NowNs() - Start;
  EXPECT_GE(Spent, 999000u);
  EXPECT_LT(Spent, 1100000u);
}
