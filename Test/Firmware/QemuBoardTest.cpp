// The q35 boards as the emulator sees them: every built-in qemu-q35 scenario describes a
// board the boot ROM on QEMU's q35 can be (one processor, no VORN, no 00:1F.1, nothing
// after the entry point), and an absent sideband function keeps the module's serial
// set-up away from the sideband registers, as on q35.
#include <gtest/gtest.h>

#include <string>

#include "Emulator/Devices/Chipset.h"
#include "Emulator/Emulator.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

using namespace quarn::emu;

namespace {

constexpr uint32_t kSidebandLpcRegister = 0xEF2770;

/// Runs Settings and returns the sideband register the serial set-up writes.
uint32_t SidebandAfterRun(Scenario Settings, std::string *Console = nullptr) {
  Emulator E{std::move(Settings)};
  const RunReport Report = E.Run();
  if (Console != nullptr) *Console = Report.Console;
  return E.GetBoard().Find<Chipset>()->Sideband(kSidebandLpcRegister);
}

}  // namespace

TEST(QemuBoard, EveryQemuScenarioIsABoardTheRomCanBe) {
  unsigned Found = 0;
  for (const cli::BuiltinScenario &Builtin : cli::BuiltinScenarios()) {
    if (Builtin.Name.rfind("qemu-q35", 0) != 0) continue;
    Found++;
    SCOPED_TRACE(Builtin.Name);
    const cli::LoadedScenario Loaded = cli::LoadScenarioText(Builtin.Text, "Scenarios/" + Builtin.Name + ".toml");
    const Scenario &S = Loaded.Settings;
    EXPECT_EQ(S.Processors, 1u);
    EXPECT_FALSE(S.VornPresent);
    EXPECT_EQ(S.DwrSts, 0u);
    EXPECT_FALSE(S.SidebandFunction);
    EXPECT_FALSE(S.MemoryDiscovered);
    EXPECT_EQ(S.MpServices, MpServicesWhen::Never);
    EXPECT_FALSE(S.DebugPrintPpi);
    EXPECT_FALSE(S.PreDidReset || S.SscAlternate || S.BiosUpdateWatchdog);
    EXPECT_EQ(S.Uart1.Divisor, 12);
    EXPECT_EQ(S.Uart2.Divisor, 12);
    EXPECT_FALSE(Loaded.Fault.has_value());
    EXPECT_FALSE(Loaded.VornTypeHob.has_value());
  }
  EXPECT_GE(Found, 1u);
}

TEST(QemuBoard, AbsentSidebandFunctionIsLeftAloneAndTheConsoleIsTheSame) {
  Scenario Present;
  Present.VornPresent = false;
  Scenario Absent = Present;
  Absent.SidebandFunction = false;

  std::string WithFunction, WithoutFunction;
  EXPECT_EQ(SidebandAfterRun(Present, &WithFunction), 0x00001010u);
  EXPECT_EQ(SidebandAfterRun(Absent, &WithoutFunction), 0u);
  EXPECT_FALSE(WithoutFunction.empty());
  EXPECT_EQ(WithFunction, WithoutFunction);
}
