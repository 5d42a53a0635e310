// The dead loop: a fixed stretch of post-code reads a debugger can break into, the two
// halt codes, then the spin that only a debugger ends (the emulator stops the run there).
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
}

#include <string>

#include "BoardFixture.h"
#include "Emulator/Board/RunStopped.h"

using quarn::test::ActiveBoard;

TEST(CpuDeadLoop, ReadsThePostCode200000TimesThenWritesBothHaltCodesAndSpins) {
  ActiveBoard Board;
  EXPECT_THROW(CpuDeadLoop(), quarn::emu::RunStopped);
  const auto &Trace = Board.B.Trace();
  size_t Reads = 0;
  size_t Index = 0;
  while (Index < Trace.size() && Trace[Index].Kind == "io-read8" && Trace[Index].Address == 0x84) {
    Reads++;
    Index++;
  }
  EXPECT_EQ(Reads, 200000u);
  ASSERT_GE(Trace.size(), Index + 3);
  EXPECT_EQ(Trace[Index].Kind, "io-write8");
  EXPECT_EQ(Trace[Index].Address, 0xCB0u);
  EXPECT_EQ(Trace[Index].Value, 0xD2u);
  EXPECT_EQ(Trace[Index + 1].Kind, "io-write32");
  EXPECT_EQ(Trace[Index + 1].Address, 0xE8u);
  EXPECT_EQ(Trace[Index + 1].Value, 0x4C6F6F70u);  // "Loop"
  EXPECT_EQ(Trace[Index + 2].Kind.rfind("pause", 0), 0u);
}
