// The VORN status registers as the module reads them, and the Lumo-flow test.
#include <gtest/gtest.h>

#include <Library/VornStatusLib.h>
#include <Register/VornRegs.h>

#include "Emulator/Emulator.h"
#include "Emulator/Vorn/VornDevice.h"

using namespace quarn::emu;

namespace {

struct Lumo {
  uint32_t Fs1;
  bool Present;
  BOOLEAN Expected;
};

}  // namespace

TEST(QuarnIsLumoFlow, DecidesFromVornFs1Alone) {
  const Lumo Cases[] = {
      {0x00070005, true, TRUE},                              // normal state, flow mode 7
      {0x00060005, true, FALSE},                             // flow mode 6
      {0x00F70005, true, TRUE},                              // reset counter bits do not matter
      {0x00000005, true, FALSE}, {0x00000000, false, TRUE},  // interface absent: all ones
  };
  for (const Lumo &Case : Cases) {
    Scenario S;
    S.Fs1 = Case.Fs1;
    S.VornPresent = Case.Present;
    Emulator E{S};
    E.Activate();
    EXPECT_EQ(QuarnIsLumoFlow(), Case.Expected) << std::hex << Case.Fs1;
  }
}

TEST(VornRegisters, EveryReadSeesTheRegisterAsItIsNow) {
  Scenario S;
  S.Fs1 = 0x00000002;
  S.Fs2 = 0x00000400;
  S.At.push_back({5, 0x00100005, std::nullopt, std::nullopt, std::nullopt, std::nullopt, std::nullopt});
  Emulator E{S};
  E.Activate();
  EXPECT_EQ(VornReadFs1(), 0x00000002u);
  EXPECT_EQ(VornReadFs2(), 0x00000400u);
  E.GetBoard().Clock().Advance(5 * kNsPerMs);
  EXPECT_EQ(VornReadFs1(), 0x00100005u);
}

TEST(VornRegisters, OtherFunctionsAndDwrSts) {
  Scenario S;
  S.Fn1 = 0x11;
  S.Fn4 = 0x44;
  S.Fn6 = 0x66;
  S.DwrSts = 0x8000;
  Emulator E{S};
  E.Activate();
  EXPECT_EQ(VornReadRegister(FN1_STATUS_ADDRESS), 0x11u);
  EXPECT_EQ(VornReadRegister(FN4_STATUS_ADDRESS), 0x44u);
  EXPECT_EQ(VornReadRegister(FN6_STATUS_ADDRESS), 0x66u);
  EXPECT_EQ(VornReadDwrSts(), 0x8000u);
}

TEST(VornRegisters, FieldsComeFromTheirOwnBits) {
  EXPECT_EQ(VornCurrentState(0x00F00002), 2u);  // state 2 with reset counter 15
  EXPECT_EQ(VornResetCounter(0x00F00002), 15u);
  EXPECT_EQ(VornRecoveryCause(0x00000C00), 4u);  // bit 11 does not change the cause
  EXPECT_EQ(VornFlowMode(0x00070005), 7u);
}

TEST(VornRegisters, EveryBitBelongsToOneFieldOrToNone) {
  // VORNFS1: CurrentState 3:0, FlowMode 19:16, ResetCounter 23:20; VORNFS2: RecoveryCause 10:8.
  for (unsigned Bit = 0; Bit < 32; Bit++) {
    SCOPED_TRACE("bit " + std::to_string(Bit));
    const uint32_t Value = 1u << Bit;
    EXPECT_EQ(VornCurrentState(Value), Bit <= 3 ? Value : 0u);
    EXPECT_EQ(VornFlowMode(Value), Bit >= 16 && Bit <= 19 ? Value >> 16 : 0u);
    EXPECT_EQ(VornResetCounter(Value), Bit >= 20 && Bit <= 23 ? Value >> 20 : 0u);
    EXPECT_EQ(VornRecoveryCause(Value), Bit >= 8 && Bit <= 10 ? Value >> 8 : 0u);
  }
  // Every field at its widest.
  EXPECT_EQ(VornCurrentState(0xFFFFFFFF), 15u);
  EXPECT_EQ(VornFlowMode(0xFFFFFFFF), 15u);
  EXPECT_EQ(VornResetCounter(0xFFFFFFFF), 15u);
  EXPECT_EQ(VornRecoveryCause(0xFFFFFFFF), 7u);
}

TEST(QuarnIsLumoFlow, OnlyFlowMode7IsTheLumoFlow) {
  for (uint32_t Mode = 0; Mode < 16; Mode++) {
    SCOPED_TRACE("flow mode " + std::to_string(Mode));
    Scenario S;
    S.Fs1 = 0x00000005 | (Mode << 16);
    Emulator E{S};
    E.Activate();
    EXPECT_EQ(QuarnIsLumoFlow(), Mode == 7 ? TRUE : FALSE);
  }
}
