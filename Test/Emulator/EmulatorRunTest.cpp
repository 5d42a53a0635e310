#include <gtest/gtest.h>

#include "Emulator/Emulator.h"

using namespace quarn::emu;

TEST(EmulatorRun, DefaultBoardRunsTheEntryPoint) {
  Emulator E{Scenario{}};
  RunReport R = E.Run();
  EXPECT_EQ(R.Outcome, "returned");
  ASSERT_TRUE(R.Status.has_value());
}
