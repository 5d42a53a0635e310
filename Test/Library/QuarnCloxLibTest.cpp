// Feature-set query, clock-control support, the recovery test and the clock settings
// request, against the emulated QUARN firmware: the bytes that go out, the answers the
// module accepts, and the answers and firmware types it refuses.
#include <gtest/gtest.h>

#include <Library/QuarnCloxLib.h>

#include "Library/VornFixture.h"

using namespace quarn;
using test::UnusableDrux;
using test::VornBoard;
using test::Words;

namespace {

/// A board whose type HOB already says QUARN, so that only the messages under test go out.
struct QuarnBoard : VornBoard {
  explicit QuarnBoard(emu::Scenario S = {}) : VornBoard(std::move(S)) { PlantTypeHob(VORN_TYPE_QUARN); }
};

const emu::MessageExchange *Find(VornBoard &V, const std::string &Kind) {
  for (const auto &X : V.Exchanges()) {
    if (X.Kind == Kind) return &X;
  }
  return nullptr;
}

/// The clock request as the firmware must receive it.
std::vector<uint8_t> ClockRequest(uint8_t SscPercentage) {
  std::vector<uint8_t> Bytes = Words({0x00050000, 27, 0, 28, 0, 0x00000002, 0, 100000000, 0, 0, 0, 0x00000010});
  Bytes[41] = SscPercentage;
  return Bytes;
}

}  // namespace

// --- feature set --------------------------------------------------------------------------

TEST(QuarnFeatureSet, CorrectAnswerFillsBothWordsFromTheUnalignedOffsets) {
  emu::Scenario S;
  S.FeatureSet = 0x12345604;
  S.FeatureSet2 = 0x89ABCDEF;
  VornBoard V{S};
  QUARN_FEATURE_SET Set = {0, 0};
  EXPECT_TRUE(QuarnGetFeatureSet(&Set));
  EXPECT_EQ(Set.FeatureSet, 0x12345604u);
  EXPECT_EQ(Set.FeatureSet2, 0x89ABCDEFu);
  ASSERT_EQ(V.Exchanges().size(), 1u);
  const emu::MessageExchange &X = V.Exchanges()[0];
  EXPECT_EQ(X.Kind, "feature-set");
  EXPECT_EQ(X.Client, 0x20);
  EXPECT_EQ(X.Request, std::vector<uint8_t>{0x01});
  EXPECT_EQ(X.Capacity, 11u);
  EXPECT_EQ(V.Printed(), "[QUARN] QuarnGetFeatureSet \n");
}

TEST(QuarnFeatureSet, ClockControlSupportedOnlyWithBit2) {
  {
    VornBoard V;  // feature set 0x00000004
    EXPECT_TRUE(QuarnIsCloxSupported());
    EXPECT_EQ(V.Printed(),
              "[QUARN] QuarnIsCloxSupported \n"
              "[QUARN] QuarnGetFeatureSet \n"
              "[QUARN] QuarnIsCloxSupported, CloxSupported: 1\n");
  }
  {
    emu::Scenario S;
    S.FeatureSet = 0x00000003;
    S.FeatureSet2 = 0x00000004;
    VornBoard V{S};
    EXPECT_FALSE(QuarnIsCloxSupported());
    EXPECT_NE(V.Printed().find("[QUARN] QuarnIsCloxSupported, CloxSupported: 0\n"), std::string::npos);
  }
}

TEST(QuarnFeatureSet, SevenByteAnswerIsInvalid) {
  emu::Scenario S;
  S.FeatureSetOverride.Response = std::vector<uint8_t>{0x81, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00};
  VornBoard V{S};
  QUARN_FEATURE_SET Set = {0xAAAAAAAA, 0xBBBBBBBB};
  EXPECT_FALSE(QuarnGetFeatureSet(&Set));
  EXPECT_EQ(Set.FeatureSet, 0xAAAAAAAAu);
  EXPECT_EQ(Set.FeatureSet2, 0xBBBBBBBBu);
  EXPECT_NE(V.Printed().find("[QUARN] QuarnGetFeatureSet: Invalid response (cmd: 0x4000081, len 7)\n"),
            std::string::npos);
  V.Mark();
  EXPECT_FALSE(QuarnIsCloxSupported());
  EXPECT_NE(V.PrintedSinceMark().find("CloxSupported: 0\n"), std::string::npos);
}

TEST(QuarnFeatureSet, AnswerWithoutTheResponseBitIsInvalid) {
  emu::Scenario S;
  S.FeatureSetOverride.Response = std::vector<uint8_t>{0x01, 0, 0, 0x04, 0, 0, 0, 0, 0, 0, 0};
  VornBoard V{S};
  EXPECT_FALSE(QuarnIsCloxSupported());
  EXPECT_NE(V.Printed().find("[QUARN] QuarnGetFeatureSet: Invalid response (cmd: 0x4000001, len 11)\n"),
            std::string::npos);
}

TEST(QuarnFeatureSet, LengthBeyondTheBufferIsInvalidAndALongAnswerIsCut) {
  {
    emu::Scenario S;
    S.FeatureSetOverride.ResponseLength = 0xFFFFFFFF;
    VornBoard V{S};
    QUARN_FEATURE_SET Set = {};
    EXPECT_FALSE(QuarnGetFeatureSet(&Set));
    EXPECT_NE(V.Printed().find("len -1)\n"), std::string::npos);
  }
  {
    // 32 bytes offered into an 11-byte buffer: the channel cuts them to the capacity.
    emu::Scenario S;
    std::vector<uint8_t> Long(32, 0x77);
    Long[0] = 0x81;
    S.FeatureSetOverride.Response = Long;
    VornBoard V{S};
    QUARN_FEATURE_SET Set = {};
    EXPECT_TRUE(QuarnGetFeatureSet(&Set));
    EXPECT_EQ(Set.FeatureSet, 0x77777777u);
    EXPECT_EQ(V.Exchanges()[0].Response.size(), 11u);
  }
}

TEST(QuarnFeatureSet, FailedSendMissingPpiAndNullPointer) {
  {
    emu::Scenario S;
    S.FeatureSetOverride.Result = EFI_TIMEOUT;
    VornBoard V{S};
    QUARN_FEATURE_SET Set = {};
    EXPECT_FALSE(QuarnGetFeatureSet(&Set));
    EXPECT_NE(V.Printed().find("[QUARN] QuarnGetFeatureSet: Communication problem (status: Time out)\n"),
              std::string::npos);
  }
  for (UnusableDrux How : {UnusableDrux::NotInstalled, UnusableDrux::NullPpi, UnusableDrux::NullSendWithAck}) {
    SCOPED_TRACE(Describe(How));
    VornBoard V{WithUnusableDrux(How)};
    QUARN_FEATURE_SET Set = {};
    EXPECT_FALSE(QuarnGetFeatureSet(&Set));
    EXPECT_EQ(V.Printed(), "[QUARN] QuarnGetFeatureSet \n[QUARN] QuarnGetFeatureSet: Cannot locate DRUX PPI\n");
    EXPECT_TRUE(V.Exchanges().empty());
  }
  {
    VornBoard V;
    EXPECT_FALSE(QuarnGetFeatureSet(nullptr));
    EXPECT_EQ(V.Printed(), "");
    EXPECT_TRUE(V.Exchanges().empty());
  }
}

// --- recovery ---------------------------------------------------------------------------

TEST(QuarnRecovery, OnlyQuarnFirmwareInState2IsInRecovery) {
  {
    emu::Scenario S;
    S.Fs1 = 0x00000002;
    VornBoard V{S};
    EXPECT_TRUE(QuarnIsInRecovery());
  }
  {
    emu::Scenario S;
    S.Fs1 = 0x00F00002;  // ResetCounter 15 does not change the state
    VornBoard V{S};
    EXPECT_TRUE(QuarnIsInRecovery());
  }
  {
    VornBoard V;  // state 5
    EXPECT_FALSE(QuarnIsInRecovery());
  }
  for (uint32_t Fs1 : {0x00000002u, 0x00000005u}) {
    emu::Scenario S;
    S.Fs1 = Fs1;
    S.FwType = 3;
    VornBoard V{S};
    EXPECT_FALSE(QuarnIsInRecovery()) << Fs1;
  }
}

// --- clock settings -----------------------------------------------------------------------

TEST(QuarnClockSettings, RequestBytesWithSscOnAndOff) {
  for (BOOLEAN Enable : {TRUE, FALSE}) {
    QuarnBoard V;
    EXPECT_EQ(PeiDruxSetSSCAlternate(Enable), EFI_SUCCESS);
    const emu::MessageExchange *X = Find(V, "clock");
    ASSERT_NE(X, nullptr);
    EXPECT_EQ(X->Client, 8);
    EXPECT_EQ(X->RequestLength, 48u);
    EXPECT_EQ(X->Capacity, 48u);
    EXPECT_EQ(X->Request, ClockRequest(Enable ? 50 : 0)) << int(Enable);
    EXPECT_EQ(V.Exchanges().size(), 1u);  // the type came from the HOB
    const int On = Enable ? 1 : 0;
    EXPECT_EQ(V.Printed(), "[VORN] PeiDruxSetSSCAlternate(" + std::to_string(On) + ")\n" +
                               "[VORN] PeiDruxSetSSCAlternate sets SSC percentage to " + (Enable ? "50" : "0") + "\n" +
                               "[CLOX] QuarnSetGetCurrenClockingMode\n"
                               "DRUX: GetVornTypeFromHob returns 1\n"
                               "DRUX: GetVornTypeFromHob returns 1\n"
                               "[CLOX] QuarnSetGetCurrenClockingMode exit status = Success \n"
                               "[VORN] PeiDruxSetSSCAlternate exit status = Success \n");
  }
}

TEST(QuarnClockSettings, AnyNonZeroEnableCountsAsOn) {
  QuarnBoard V;
  EXPECT_EQ(PeiDruxSetSSCAlternate(2), EFI_SUCCESS);
  EXPECT_EQ(Find(V, "clock")->Request, ClockRequest(50));
  EXPECT_EQ(V.Printed().rfind("[VORN] PeiDruxSetSSCAlternate(1)\n", 0), 0u);
}

TEST(QuarnClockSettings, HeaderIsWrittenOverWhateverTheCallerLeftThere) {
  QuarnBoard V;
  CLOX_CLOCK_SETTINGS Message;
  std::memset(&Message, 0xEE, sizeof Message);
  EXPECT_EQ(QuarnSetGetCurrenClockingMode(&Message), EFI_SUCCESS);
  std::vector<uint8_t> Expected = Words({0x00050000, 27, 0, 28, 0});
  Expected.insert(Expected.end(), {0x02, 0x00});
  Expected.resize(48, 0xEE);  // the body is the caller's
  EXPECT_EQ(Find(V, "clock")->Request, Expected);
}

TEST(QuarnClockSettings, RefusedForClientDfxDisabledAndRecovery) {
  std::vector<emu::Scenario> Cases(5);
  Cases[0].FwType = 3;           // CLIENT
  Cases[1].FwSubType = 3;        // DFX
  Cases[2].Fs1 = 0x00000004;     // DISABLED by state
  Cases[3].DwrSts = 0x00008000;  // DISABLED by the DWR flow
  Cases[4].Fs1 = 0x00000002;     // QUARN in recovery
  for (size_t I = 0; I < Cases.size(); I++) {
    VornBoard V{Cases[I]};
    EXPECT_EQ(PeiDruxSetSSCAlternate(TRUE), EFI_UNSUPPORTED) << I;
    EXPECT_EQ(V.ExchangeCount("clock"), 0u) << I;
    const std::string Text = V.Printed();
    EXPECT_NE(Text.find("[CLOX] QuarnSetGetCurrenClockingMode exit status = Unsupported \n"
                        "[VORN] PeiDruxSetSSCAlternate exit status = Unsupported \n"),
              std::string::npos)
        << I;
  }
}

TEST(QuarnClockSettings, WrongAnswersAreDeviceErrors) {
  {
    emu::Scenario S;
    S.CloxResponse = 5;
    QuarnBoard V{S};
    EXPECT_EQ(PeiDruxSetSSCAlternate(TRUE), EFI_DEVICE_ERROR);
    EXPECT_NE(V.Printed().find("(CLOX) QuarnSetGetCurrenClockingMode: Wrong response! Header.CloxResponse = 0x5\n"
                               "[CLOX] QuarnSetGetCurrenClockingMode exit status = Device Error \n"),
              std::string::npos);
  }
  {
    emu::Scenario S;
    std::vector<uint8_t> Answer = ClockRequest(50);
    Answer[4] = 28;  // CloxCommand 28
    S.ClockOverride.Response = Answer;
    QuarnBoard V{S};
    EXPECT_EQ(PeiDruxSetSSCAlternate(TRUE), EFI_DEVICE_ERROR);
    EXPECT_NE(V.Printed().find("Wrong response! Header.CloxResponse = 0x0\n"), std::string::npos);
  }
}

TEST(QuarnClockSettings, ShortSuccessfulAnswerCounts) {
  emu::Scenario S;
  S.ClockOverride.Response = Words({0x00050000, 27, 0});
  QuarnBoard V{S};
  EXPECT_EQ(PeiDruxSetSSCAlternate(FALSE), EFI_SUCCESS);
  EXPECT_EQ(Find(V, "clock")->ResponseLength, 12u);
}

TEST(QuarnClockSettings, FailedSendIsPassedOnWithoutLookingAtTheBuffer) {
  emu::Scenario S;
  S.ClockOverride.Result = EFI_TIMEOUT;
  QuarnBoard V{S};
  EXPECT_EQ(PeiDruxSetSSCAlternate(TRUE), EFI_TIMEOUT);
  EXPECT_EQ(V.Printed().find("Wrong response"), std::string::npos);
  EXPECT_NE(V.Printed().find("[VORN] PeiDruxSetSSCAlternate exit status = Time out \n"), std::string::npos);
}

TEST(QuarnClockSettings, NullMessageAndMissingPpi) {
  {
    QuarnBoard V;
    EXPECT_EQ(QuarnSetGetCurrenClockingMode(nullptr), EFI_INVALID_PARAMETER);
    EXPECT_TRUE(V.Exchanges().empty());
  }
  for (UnusableDrux How : {UnusableDrux::NotInstalled, UnusableDrux::NullPpi, UnusableDrux::NullSendWithAck}) {
    SCOPED_TRACE(Describe(How));
    QuarnBoard V{WithUnusableDrux(How)};  // the stored type lets the request get as far as the lookup
    EXPECT_EQ(PeiDruxSetSSCAlternate(TRUE), EFI_DEVICE_ERROR);
    EXPECT_NE(V.Printed().find("[CLOX] QuarnSetGetCurrenClockingMode exit status = Device Error \n"),
              std::string::npos);
    EXPECT_TRUE(V.Exchanges().empty());
  }
}
