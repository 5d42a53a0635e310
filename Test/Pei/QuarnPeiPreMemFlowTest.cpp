// Whole emulated boots of the module: each outcome of the pre-memory flow with the
// records it leaves, the info HOB and the status it returns, and the edge cases of the
// boot mode, the policy, the firmware state and the clock step.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/SerialPortLib.h>
}
#include <Pei/QuarnPeiPreMem/QuarnPeiPreMem.h>
#include <Ppi/VornPolicy.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "SourceLines.h"
#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"
#include "Emulator/PeiCore/PolicyPpi.h"
#include "Emulator/Vorn/QuarnFirmware.h"
#include "Test/Library/VornFixture.h"
#include "Test/Pei/FlowTestSupport.h"

using namespace quarn::emu;
using namespace quarn::test;

namespace {

using Records = std::vector<std::string>;
using Bytes = std::vector<uint8_t>;

constexpr char kNonFunctionalLine[] =
    "[QUARN][PreMem] ERROR: Non QUARN firmware running in VORN\n             (VORNFS1: ";

/// The road of one boot: QUARN firmware in recovery with cause 4, the pre-DID reset and
/// the watchdog enabled, spread-spectrum clocking on.
Scenario Road() {
  Scenario S;
  S.Name = "road";
  S.Fs1 = 0x00000002;
  S.Fs2 = 0x00000400;
  S.PreDidReset = true;
  S.BiosUpdateWatchdog = true;
  S.SscAlternate = true;
  return S;
}

RunReport Boot(Scenario S) {
  S.Trace = true;
  Emulator E{std::move(S)};
  return E.Run();
}

/// The kinds of the messages exchanged with the firmware, in order.
std::vector<std::string> Kinds(const RunReport &R) {
  std::vector<std::string> K;
  for (const MessageExchange &X : R.Messages) K.push_back(X.Kind);
  return K;
}

const MessageExchange *Find(const RunReport &R, const std::string &Kind) {
  for (const MessageExchange &X : R.Messages) {
    if (X.Kind == Kind) return &X;
  }
  return nullptr;
}

/// The spread-spectrum percentage of the clock request (byte 41), or -1 when none was sent.
int SscPercentage(const RunReport &R) {
  const MessageExchange *Clock = Find(R, "clock");
  return Clock != nullptr && Clock->Request.size() > 41 ? Clock->Request[41] : -1;
}

::testing::AssertionResult NonFunctional(const RunReport &R) {
  if (R.Outcome != "returned" || !R.Status) return ::testing::AssertionFailure() << "did not return: " << R.Where;
  if (*R.Status != EFI_UNSUPPORTED) return ::testing::AssertionFailure() << "status " << StatusName(*R.Status);
  if (!R.InfoHob) return ::testing::AssertionFailure() << "no info HOB";
  if (R.InfoHob->Data != Bytes{0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}) {
    return ::testing::AssertionFailure() << "info HOB does not hold flow 2 alone";
  }
  return Prints(R, kNonFunctionalLine);
}

::testing::AssertionResult Succeeded(const RunReport &R) {
  if (R.Outcome != "returned" || !R.Status) return ::testing::AssertionFailure() << "did not return: " << R.Where;
  if (*R.Status != EFI_SUCCESS) return ::testing::AssertionFailure() << "status " << StatusName(*R.Status);
  if (R.InfoHob) return ::testing::AssertionFailure() << "an info HOB was written";
  return ::testing::AssertionSuccess();
}

Bytes RecordOf(const StatusCodeRecord &Code) { return Bytes(Code.Data.begin() + 20, Code.Data.end()); }

}  // namespace

// --- the road and the records of each outcome -------------------------------------------

TEST(QuarnPeiPreMemFlow, RoadOfOneBootResetsTheFirmwareAndSendsEverything) {
  const RunReport R = Boot(Road());
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(R.Records.empty());
  EXPECT_TRUE(R.Asserts.empty());
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "pre-did-reset", "watchdog", "feature-set", "clock"}));
  EXPECT_EQ(SscPercentage(R), 50);
  EXPECT_TRUE(PrintsInOrder(
      R, {"[QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\n", "[QUARN][PreMem] Pre-DID reset execution\n",
          "[QUARN][PreMem] Wait for VORN Normal or Recovery state\n",
          "[QUARN][PreMem] Wait for VORN state reaches VORN State = 2\n",
          "[QUARN][PreMem] WARNING: VORN is in recovery mode (cause: 4)\n",
          "[QUARN][PreMem] WARNING: Execute VORN pre-DID reset\n",
          "[QUARN][PreMem] Pre-DID reset has been executed successfully\n",
          "[QUARN][PreMem] Pre-DID reset finished successfully, VORN in Normal state\n",
          "[QUARN][PreMem] Sending QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ\n",
          "[QUARN][PreMem] BIOS_UPDATE_WATCHDOG_CONTROL reports success\n",
          "[QUARN][PreMem][CLOX] Sending CloxSetClockSettings request\n",
          "[QUARN][PreMem][CLOX] CloxSetClockSettings: status: Success\n"}));
  EXPECT_TRUE(DoesNotPrint(R, "ERROR"));
}

TEST(QuarnPeiPreMemFlow, FirmwareNotQuarnWritesNoRecordButTheInfoHob) {
  Scenario S = Road();
  S.FwType = 3;  // client firmware
  Emulator E{S};
  const RunReport R = E.Run();
  EXPECT_TRUE(NonFunctional(R));
  EXPECT_TRUE(R.Records.empty());
  EXPECT_TRUE(PrintsInOrder(R, {"[QUARN][PreMem] Other VORN FW detected.\n",
                                "[QUARN][PreMem] ERROR: Non QUARN firmware running in VORN\n"
                                "             (VORNFS1: 0x00000002, VORNFS2: 0x00000400)\n",
                                "[QUARN][PreMem] HOB: flow 2, feature set 0x00000000, features 2 0x00000000, "
                                "pwr opt boot 0, cores2disable 0\n",
                                "[QUARN][PreMem] ERROR: VORN is non functional (flow 2)\n"}));
  // Boot mode, policy and the clock step are never touched.
  EXPECT_EQ(E.GetBoard().Faults().PerName().count("GetBootMode"), 0u);
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type"}));
  EXPECT_TRUE(DoesNotPrint(R, "Pre-DID reset"));
  EXPECT_TRUE(DoesNotPrint(R, "[CLOX]"));
}

TEST(QuarnPeiPreMemFlow, FirstStateWaitTimingOutWritesTwoStateRecords) {
  Scenario S = Road();
  S.Fs1 = 0x00000003;  // never recovery or normal
  S.Fn1 = 0x11111111;
  const RunReport R = Boot(S);
  EXPECT_TRUE(NonFunctional(R));
  EXPECT_EQ(R.Records, (Records{"state", "state"}));
  EXPECT_GE(R.ElapsedNs, 2000 * kNsPerMs);
  EXPECT_LT(R.ElapsedNs, 2100 * kNsPerMs);
  Bytes Expected{0x10, 0, 0, 0,    38,   0, 2, 0,    0,    0,    0x01, 0x01, 0x02, 0x00, 0, 0, 0, 0, 0x03,
                 0,    0, 0, 0x00, 0x04, 0, 0, 0x11, 0x11, 0x11, 0x11, 0,    0,    0,    0, 0, 0, 0, 0};
  EXPECT_EQ(RecordOf(R.StatusCodes.at(1)), Expected);
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] ERROR: Timeout when waiting for VORN meaningful state\n"));
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type"}));
}

/// Index in the trace of the first service call named Call with Value, or -1.
ptrdiff_t CallAt(const RunReport &R, const std::string &Call, uint64_t Value) {
  for (size_t I = 0; I < R.Trace.size(); I++) {
    if (R.Trace[I].Kind == "call" && R.Trace[I].Device == Call && R.Trace[I].Value == Value) return ptrdiff_t(I);
  }
  return -1;
}

TEST(QuarnPeiPreMemFlow, NonFunctionalPathReportsTheStateRecordBeforeItWritesTheInfoHob) {
  Scenario S = Road();
  S.Fs1 = 0x00000003;  // never recovery or normal: the first wait times out
  const RunReport R = Boot(S);
  EXPECT_TRUE(NonFunctional(R));
  ASSERT_EQ(R.Records, (Records{"state", "state"}));
  // The state record of the non-functional path (the last ReportStatusCode) comes before
  // the info HOB (a 40-byte CreateHob).
  ptrdiff_t LastRecord = -1;
  for (size_t I = 0; I < R.Trace.size(); I++) {
    if (R.Trace[I].Kind == "call" && R.Trace[I].Device == "ReportStatusCode") LastRecord = ptrdiff_t(I);
  }
  const ptrdiff_t InfoHob = CallAt(R, "CreateHob", 40);
  ASSERT_GE(LastRecord, 0);
  ASSERT_GE(InfoHob, 0);
  EXPECT_LT(LastRecord, InfoHob);
  EXPECT_TRUE(PrintsInOrder(R, {kNonFunctionalLine,
                                "[QUARN][PreMem] HOB: flow 2, feature set 0x00000000, "
                                "features 2 0x00000000, pwr opt boot 0, cores2disable 0\n",
                                "[QUARN][PreMem] ERROR: VORN is non functional (flow 2)\n"}));
}

TEST(QuarnPeiPreMemFlow, ResetCounterNeverChangingWritesThreeResetRecordsAndAState) {
  Scenario S = Road();
  S.CounterAfterMs.reset();
  S.StateAfterMs.reset();
  const RunReport R = Boot(S);
  EXPECT_TRUE(NonFunctional(R));
  EXPECT_EQ(R.Records, (Records{"reset", "reset", "reset", "state"}));
  Bytes Expected{0x11, 0, 0, 0,    42, 0, 1, 0,    0,    0, 0x01, 0x01, 0x01, 0x02, 0,
                 0,    0, 0, 0x02, 0,  0, 0, 0x00, 0x04, 0, 0,    0x00, 0x00, 0x12, 0x12};
  Expected.insert(Expected.end(), 12, 0);
  EXPECT_EQ(RecordOf(R.StatusCodes.at(2)), Expected);
  EXPECT_TRUE(PrintsInOrder(
      R,
      {"[QUARN][PreMem] ERROR: Timeout when waiting for VORN Reset Counter Change\n",
       "[QUARN][PreMem] ERROR: Pre-DID reset, VORN Reset Counter not changed (Time out)\n",
       "[QUARN][PreMem] ERROR: Pre-DID reset timeout failure causes VORN non-functional flow\n", kNonFunctionalLine}));
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "pre-did-reset"}));
}

TEST(QuarnPeiPreMemFlow, StateWaitAfterTheResetTimingOutWritesStateResetState) {
  Scenario S = Road();
  S.CounterAfterMs = 20;  // the firmware restarts into state 0 and stays there
  S.StateAfterMs.reset();
  const RunReport R = Boot(S);
  EXPECT_TRUE(NonFunctional(R));
  EXPECT_EQ(R.Records, (Records{"state", "reset", "state"}));
  EXPECT_GE(R.ElapsedNs, 5000 * kNsPerMs);
  EXPECT_LT(R.ElapsedNs, 5200 * kNsPerMs);
}

TEST(QuarnPeiPreMemFlow, MessagePpiMissingForTheResetWritesOneResetRecordAndGoesOn) {
  Scenario S = Road();
  S.DruxInstalled = false;
  S.BiosUpdateWatchdog = false;
  Emulator E{S};
  E.Activate();
  SeedQuarnTypeHob(E);  // the type was settled by an earlier call
  const RunReport R = E.Run();
  EXPECT_TRUE(Succeeded(R));
  EXPECT_EQ(R.Records, (Records{"reset"}));
  EXPECT_TRUE(PrintsInOrder(R, {"[QUARN][PreMem] ERROR: Cannot locate DRUX PPI (Not Found)\n",
                                "[QUARN][PreMem] ERROR: Pre-DID reset failure. Continue according to VORN state\n",
                                "[QUARN][PreMem][CLOX] CloxSetClockSettings request wasn't sent\n"}));
  EXPECT_TRUE(R.Messages.empty());
}

TEST(QuarnPeiPreMemFlow, ResetWithoutAnAnswerWritesNothingAndGoesOn) {
  Scenario S = Road();
  S.PreDidResetOverride.Result = EFI_TIMEOUT;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(R.Records.empty());
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset, no ACK. Continue without reset (Time out)\n"));
  EXPECT_TRUE(DoesNotPrint(R, "Pre-DID reset finished successfully"));
  // No reset happened: the firmware is still in recovery and the clock request is refused.
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "pre-did-reset", "watchdog", "feature-set"}));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] ERROR: Unable to set clock settings (Unsupported)\n"));
}

TEST(QuarnPeiPreMemFlow, ResetRefusedWithSuccessWritesNothingAndGoesOn) {
  Scenario S = Road();
  S.PreDidResetAccept = false;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(R.Records.empty());
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset is not accepted by VORN. Continue without reset (Success)\n"));
  EXPECT_TRUE(DoesNotPrint(R, "Pre-DID reset failure"));
}

TEST(QuarnPeiPreMemFlow, ResetRefusedWithAWarningWritesOneResetRecordAndGoesOn) {
  Scenario S = Road();
  S.PreDidResetAccept = false;
  S.PreDidResetOverride.Result = EFI_WARN_STALE_DATA;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_EQ(R.Records, (Records{"reset"}));
  EXPECT_TRUE(PrintsInOrder(R, {"Continue without reset (Warning Stale Data)\n",
                                "[QUARN][PreMem] ERROR: Pre-DID reset failure. Continue according to VORN state\n"}));
}

TEST(QuarnPeiPreMemFlow, RecordsAreKeptWhenNoStatusCodeHandlerIsThereYet) {
  Scenario S = Road();
  S.Fs1 = 0x00000003;
  S.StatusCodeHandler = false;
  const RunReport R = Boot(S);
  EXPECT_TRUE(NonFunctional(R));
  ASSERT_EQ(R.StatusCodes.size(), 2u);
  EXPECT_EQ(R.StatusCodes[0].Answer, EFI_NOT_AVAILABLE_YET);
  EXPECT_TRUE(R.Asserts.empty());
}

// --- boot mode and policy ----------------------------------------------------------------

TEST(QuarnPeiPreMemFlow, S3ResumeSkipsTheResetAndTheClockButNotTheWatchdog) {
  Scenario S = Road();
  S.BootMode = BOOT_ON_S3_RESUME;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset is disabled\n"));
  EXPECT_TRUE(DoesNotPrint(R, "Wait for VORN"));
  EXPECT_TRUE(DoesNotPrint(R, "CLOX"));
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "watchdog"}));
}

TEST(QuarnPeiPreMemFlow, InformationAndWarningLinesNeedTheirOwnBitInTheErrorLevel) {
  Scenario S = Road();
  S.CmosErrorLevel = 0xFFFFFFBD;  // every bit but DEBUG_INFO (0x40) and DEBUG_WARN (0x02)
  const RunReport Quiet = Boot(S);
  EXPECT_TRUE(Succeeded(Quiet));
  EXPECT_EQ(Quiet.Console.find("called."), std::string::npos) << Quiet.Console;
  EXPECT_EQ(Quiet.Console.find("WARNING: Execute VORN pre-DID reset"), std::string::npos) << Quiet.Console;
  S.CmosErrorLevel = 0x00000042;
  const RunReport Loud = Boot(S);
  EXPECT_NE(Loud.Console.find("called."), std::string::npos) << Loud.Console;
  EXPECT_NE(Loud.Console.find("WARNING: Execute VORN pre-DID reset"), std::string::npos) << Loud.Console;
}

TEST(QuarnPeiPreMemFlow, UnreadableBootModeCountsAsADefaultSettingsBoot) {
  // Whether the core fails by its status or by a fault, and whether it leaves the S3 value
  // in the module's variable before failing: the value of a failed read is never used.
  for (bool Fault : {false, true}) {
    for (bool Written : {false, true}) {
      SCOPED_TRACE(std::string(Fault ? "fault" : "status") + (Written ? ", mode written" : ", nothing written"));
      Scenario S = Road();
      S.BootMode = BOOT_ON_S3_RESUME;  // what the core would say, had it answered
      S.BootModeWrittenOnError = Written;
      if (!Fault) S.GetBootModeStatus = EFI_DEVICE_ERROR;
      S.Trace = true;
      Emulator E{S};
      if (Fault) E.GetBoard().Faults().FailCall("GetBootMode", 1);
      const RunReport R = E.Run();
      EXPECT_TRUE(Succeeded(R));
      EXPECT_TRUE(PrintsInOrder(R, {"[QUARN][PreMem] ERROR: Cannot read boot mode (Device Error)\n",
                                    "[QUARN][PreMem] Pre-DID reset execution\n"}));
      EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "pre-did-reset", "watchdog", "feature-set", "clock"}));
    }
  }
}

TEST(QuarnPeiPreMemFlow, MissingConfigBlockDisablesResetAndWatchdogAndTurnsSscOn) {
  for (bool Installed : {false, true}) {
    Scenario S = Road();
    S.Fs1 = 0x00000005;  // normal: the clock request goes out
    S.PolicyInstalled = Installed;
    S.PolicyBlock = false;
    const RunReport R = Boot(S);
    EXPECT_TRUE(Succeeded(R));
    EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset is disabled\n"));
    EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "feature-set", "clock"}));
    EXPECT_EQ(SscPercentage(R), 50);
    EXPECT_EQ(R.Asserts.size(), 1u) << "the lookup reports the missing PPI or block";
  }
}

TEST(QuarnPeiPreMemFlow, SscOffInThePolicyReachesTheClockRequest) {
  Scenario S = Road();
  S.SscAlternate = false;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_EQ(SscPercentage(R), 0);
}

TEST(QuarnPeiPreMemFlow, PolicySwitchesAreSingleBits) {
  // Every bit but the switch bits set: reset off, SSC off, watchdog off.
  Bytes Block = PolicyPpi::BuildBlock(gQuarnPreMemConfigGuid, 56);
  std::memset(Block.data() + 24, 0xFF, 32);
  Block[36] = 0xFE;
  const uint32_t Clock = ~(1u << 13), Watchdog = ~0x4000u;
  std::memcpy(&Block[40], &Clock, 4);
  std::memcpy(&Block[52], &Watchdog, 4);
  Scenario S = Road();
  S.Fs1 = 0x00000005;  // normal: no reset needed, the clock request goes out
  S.PolicyTable = PolicyPpi::BuildTable({Block});
  RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset is disabled\n"));
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "feature-set", "clock"}));
  EXPECT_EQ(SscPercentage(R), 0);

  // Only the switch bits set: all three on.
  Bytes On = PolicyPpi::BuildBlock(gQuarnPreMemConfigGuid, 56);
  On[36] = 0x01;
  const uint32_t ClockOn = 0x00002000, WatchdogOn = 0x00004000;
  std::memcpy(&On[40], &ClockOn, 4);
  std::memcpy(&On[52], &WatchdogOn, 4);
  S.PolicyTable = PolicyPpi::BuildTable({On});
  R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset execution\n"));
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "watchdog", "feature-set", "clock"}));
  EXPECT_EQ(SscPercentage(R), 50);
}

TEST(QuarnPeiPreMemFlow, ConfigBlockTooSmallRunsWithTheDefaults) {
  // A 40-byte QUARN block with the reset bit set, followed by a block whose header would
  // be read as the clock word (bit 13 clear: SSC off) and the watchdog word (its name's
  // bytes 4 to 7: bit 14 set) if the short block were taken at face value.
  Bytes Small = PolicyPpi::BuildBlock(gQuarnPreMemConfigGuid, 40);
  Small[36] = 0x01;
  constexpr EFI_GUID kNeighbour = {0x0A0B0C0D, 0x4000, 0x0000, {1, 2, 3, 4, 5, 6, 7, 8}};
  Bytes Next = PolicyPpi::BuildBlock(kNeighbour, 40);
  Scenario S = Road();
  S.Fs1 = 0x00000005;
  S.PolicyTable = PolicyPpi::BuildTable({Small, Next});
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset is disabled\n"));
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "feature-set", "clock"}));
  EXPECT_EQ(SscPercentage(R), 50);
}

// --- firmware states -------------------------------------------------------------------

TEST(QuarnPeiPreMemFlow, NormalStateAtTheFirstWaitNeedsNoReset) {
  Scenario S = Road();
  S.Fs1 = 0x00000005;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "Wait for VORN state reaches VORN State = 5\n"));
  EXPECT_TRUE(DoesNotPrint(R, "recovery mode"));
  EXPECT_TRUE(DoesNotPrint(R, "Execute VORN pre-DID reset"));
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "watchdog", "feature-set", "clock"}));
}

TEST(QuarnPeiPreMemFlow, RecoveryWithAnotherCauseNeedsNoReset) {
  Scenario S = Road();
  S.Fs2 = 0x00000300;  // cause 3
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(DoesNotPrint(R, "WARNING"));
  EXPECT_EQ(Kinds(R), (std::vector<std::string>{"type", "watchdog", "feature-set"}));
  // Still in recovery: the clock request is refused before it is sent.
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] ERROR: Unable to set clock settings (Unsupported)\n"));
}

TEST(QuarnPeiPreMemFlow, CauseComesFromBits10To8Alone) {
  Scenario S = Road();
  S.Fs2 = 0x0000FC00;  // cause 4 with every neighbouring bit set
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] WARNING: VORN is in recovery mode (cause: 4)\n"));
  EXPECT_NE(Find(R, "pre-did-reset"), nullptr);
}

TEST(QuarnPeiPreMemFlow, OnlyCause4InBits10To8AsksForTheReset) {
  struct Case {
    uint32_t Fs2;
    bool Reset;
  };
  std::vector<Case> Cases = {{0x00000000, false}, {0x00000100, false}, {0x00000200, false}, {0x00000300, false},
                             {0x00000400, true},  {0x00000500, false}, {0x00000600, false}, {0x00000700, false},
                             {0xFFFFFCFF, true},  {0xFFFFFBFF, false}};
  // Cause 4 with any one bit outside 10:8 set.
  for (unsigned Bit : {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 11u, 12u, 15u, 16u, 23u, 24u, 31u}) {
    Cases.push_back({0x00000400u | (1u << Bit), true});
  }
  for (const Case &C : Cases) {
    char Name[32];
    std::snprintf(Name, sizeof Name, "VORNFS2 0x%08X", C.Fs2);
    SCOPED_TRACE(Name);
    Scenario S = Road();
    S.Fs2 = C.Fs2;
    const RunReport R = Boot(S);
    EXPECT_TRUE(Succeeded(R));
    EXPECT_EQ(Find(R, "pre-did-reset") != nullptr, C.Reset);
    EXPECT_EQ(bool(Prints(R, "[QUARN][PreMem] WARNING: VORN is in recovery mode (cause: 4)\n")), C.Reset);
  }
}

TEST(QuarnPeiPreMemFlow, ResetSucceedingIntoRecoveryPrintsNoSuccessLineAndNoError) {
  Scenario S = Road();
  S.PreDidResetState = 2;  // the firmware comes back in recovery
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "Pre-DID reset has been executed successfully\n"));
  EXPECT_TRUE(DoesNotPrint(R, "VORN in Normal state"));
  EXPECT_TRUE(DoesNotPrint(R, "Pre-DID reset failure"));
  EXPECT_TRUE(R.Records.empty());
}

// --- the clock step --------------------------------------------------------------------

TEST(QuarnPeiPreMemFlow, ClockControlUnsupportedSendsNoClockRequest) {
  Scenario S = Road();
  S.FeatureSet = 0x00000003;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem][CLOX] CloxSetClockSettings request wasn't sent\n"));
  EXPECT_EQ(Find(R, "clock"), nullptr);
}

TEST(QuarnPeiPreMemFlow, ClockRequestFailingIsReportedAndTheBootSucceeds) {
  for (EFI_STATUS Failure : {EFI_DEVICE_ERROR, EFI_TIMEOUT}) {
    Scenario S = Road();
    S.ClockOverride.Result = Failure;
    const RunReport R = Boot(S);
    EXPECT_TRUE(Succeeded(R));
    EXPECT_TRUE(Prints(R, "[QUARN][PreMem] ERROR: Unable to set clock settings (" +
                              std::string(Failure == EFI_TIMEOUT ? "Time out" : "Device Error") + ")\n"));
    EXPECT_TRUE(DoesNotPrint(R, "CloxSetClockSettings: status: Success"));
  }
  Scenario S = Road();
  S.CloxResponse = 5;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] ERROR: Unable to set clock settings (Device Error)\n"));
}

// --- the watchdog step -----------------------------------------------------------------

TEST(QuarnPeiPreMemFlow, WatchdogRequestBytesAndSuccess) {
  const RunReport R = Boot(Road());
  const MessageExchange *X = Find(R, "watchdog");
  ASSERT_NE(X, nullptr);
  EXPECT_EQ(X->Client, 0x20);
  EXPECT_EQ(X->RequestLength, 10u);
  EXPECT_EQ(X->Capacity, 2u);
  EXPECT_EQ(X->Request, (Bytes{0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0x04}));
  EXPECT_TRUE(R.Asserts.empty());
}

struct WatchdogCase {
  const char *Name;
  MessageOverride Override;
  uint8_t Status;
  std::string Line;    // the watchdog routine's error line
  std::string Result;  // the status the flow's assertion report shows
};

class WatchdogAnswer : public ::testing::TestWithParam<WatchdogCase> {};

TEST_P(WatchdogAnswer, FailureIsAnAssertionReportAndTheBootGoesOn) {
  Scenario S = Road();
  S.WatchdogOverride = GetParam().Override;
  S.WatchdogStatus = GetParam().Status;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(PrintsInOrder(R, {GetParam().Line, "\nASSERT_EFI_ERROR (Status = " + GetParam().Result + ")\n"}));
  ASSERT_EQ(R.Asserts.size(), 1u);
  EXPECT_NE(R.Asserts[0].find("!EFI_ERROR (Status)"), std::string::npos) << R.Asserts[0];
  EXPECT_TRUE(DoesNotPrint(R, "reports success"));
  EXPECT_NE(Find(R, "clock"), nullptr) << "the clock step follows";
}

INSTANTIATE_TEST_SUITE_P(
    Answers, WatchdogAnswer,
    ::testing::Values(WatchdogCase{"RefusedWithStatus3",
                                   {},
                                   3,
                                   "[QUARN][PreMem] ERROR: BIOS_UPDATE_WATCHDOG_CONTROL failed (status: 3)\n",
                                   "Unsupported"},
                      WatchdogCase{"AnswerWithoutTheResponseBit",
                                   {std::nullopt, Bytes{0x05, 0x00}, std::nullopt},
                                   0,
                                   "[QUARN][PreMem] ERROR: QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL response failed\n",
                                   "Unsupported"},
                      WatchdogCase{"OtherCommandAnswered",
                                   {std::nullopt, Bytes{0x81, 0x07}, std::nullopt},
                                   0,
                                   "[QUARN][PreMem] ERROR: QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL response failed\n",
                                   "Unsupported"},
                      WatchdogCase{
                          "SendTimesOut",
                          {EFI_TIMEOUT, std::nullopt, std::nullopt},
                          0,
                          "[QUARN][PreMem] ERROR: Cannot send QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ (Time out)\n",
                          "Time out"}),
    [](const ::testing::TestParamInfo<WatchdogCase> &Info) { return std::string(Info.param.Name); });

/// Which LocatePpi call of a run of S (type HOB seeded) is the first one for DRUX_PPI.
uint64_t FirstDruxLookup(const Scenario &S) {
  Emulator Probe{S};
  Probe.Activate();
  SeedQuarnTypeHob(Probe);
  const RunReport R = Probe.Run();
  uint64_t DruxHead = 0;
  std::memcpy(&DruxHead, &gDruxPpiGuid, sizeof DruxHead);
  uint64_t Lookups = 0;
  for (const auto &T : R.Trace) {
    if (T.Kind != "call" || T.Device != "LocatePpi") continue;
    Lookups++;
    if (T.Value == DruxHead) return Lookups;
  }
  ADD_FAILURE() << "no lookup of DRUX_PPI";
  return 0;
}

TEST(QuarnPeiPreMemFlow, WatchdogIsNotAskedForWithoutAMessagePpi) {
  // The type is known from an earlier call; the lookup fails: one assertion at the
  // lookup with its status, nothing sent, the boot goes on.
  for (bool Fault : {false, true}) {
    SCOPED_TRACE(Fault ? "LocatePpi fails" : "no PPI installed");
    Scenario S = Road();
    S.Fs1 = 0x00000005;       // normal: no reset, so the watchdog's lookup is the first
    S.DruxInstalled = Fault;  // the fault makes the lookup fail although the PPI is there
    S.Trace = true;
    const uint64_t Lookup = Fault ? FirstDruxLookup(S) : 0;  // a probe run first: one board at a time
    Emulator E{S};
    E.Activate();
    SeedQuarnTypeHob(E);
    if (Fault) E.GetBoard().Faults().FailCall("LocatePpi", Lookup);
    const RunReport R = E.Run();
    EXPECT_TRUE(Succeeded(R));
    EXPECT_TRUE(DoesNotPrint(R, "Sending QUARN_CMD_BIOS_UPDATE_WATCHDOG_CONTROL_REQ"));
    EXPECT_TRUE(Prints(R, "\nASSERT_EFI_ERROR (Status = Not Found)\n"));
    EXPECT_EQ(Find(R, "watchdog"), nullptr);
    ASSERT_FALSE(R.Asserts.empty());
    EXPECT_EQ(R.Asserts[0],
              "ASSERT [QuarnPeiPreMem] " + CheckLine("Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
                                                     "ASSERT_EFI_ERROR (Status);", "!EFI_ERROR (Status)"));
    EXPECT_EQ(std::count_if(R.Asserts.begin(), R.Asserts.end(),
                            [](const std::string &A) { return A.find("Watchdog") != std::string::npos; }),
              0);
  }
}

TEST(QuarnPeiPreMemFlow, MessagePpiThatCannotBeCalledIsNeverCalled) {
  // Installed with a NULL interface or a NULL SendWithAck, the type known beforehand:
  // the reset, the watchdog and the feature-set query all give up without a call.
  for (UnusableDrux How : {UnusableDrux::NullPpi, UnusableDrux::NullSendWithAck}) {
    SCOPED_TRACE(Describe(How));
    Emulator E{WithUnusableDrux(How, Road())};
    E.Activate();
    SeedQuarnTypeHob(E);
    const RunReport R = E.Run();
    EXPECT_TRUE(Succeeded(R));
    EXPECT_TRUE(R.Messages.empty());
    EXPECT_EQ(R.Records, (Records{"reset"}));
    EXPECT_TRUE(PrintsInOrder(R, {"[QUARN][PreMem] ERROR: Cannot locate DRUX PPI (Not Found)\n",
                                  "[QUARN][PreMem] ERROR: Pre-DID reset failure. Continue according to VORN state\n",
                                  "[QUARN] QuarnGetFeatureSet: Cannot locate DRUX PPI\n",
                                  "[QUARN][PreMem][CLOX] CloxSetClockSettings request wasn't sent\n"}));
    EXPECT_EQ(R.Asserts,
              (std::vector<std::string>{
                  "ASSERT [QuarnPeiPreMem] " + CheckLine("Pei/QuarnPeiPreMem/PreDidReset.cpp",
                                                         "ASSERT_EFI_ERROR (Status);", "!EFI_ERROR (Status)"),
                  "ASSERT [QuarnPeiPreMem] " + CheckLine("Pei/QuarnPeiPreMem/Watchdog.cpp",
                                                         "ASSERT_EFI_ERROR (EFI_INVALID_PARAMETER);",
                                                         "!EFI_ERROR (((RETURN_STATUS)(0x80000000 | (2))))"),
                  "ASSERT [QuarnPeiPreMem] " + CheckLine("Pei/QuarnPeiPreMem/QuarnPeiPreMem.cpp",
                                                         "ASSERT_EFI_ERROR (Status);", "!EFI_ERROR (Status)")}));
  }
}

TEST(QuarnPeiPreMemFlow, WatchdogAnsweredWithAWarningIsNoFailure) {
  Scenario S = Road();
  S.WatchdogOverride.Result = EFI_WARN_STALE_DATA;
  const RunReport R = Boot(S);
  EXPECT_TRUE(Succeeded(R));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] BIOS_UPDATE_WATCHDOG_CONTROL reports success\n"));
  EXPECT_TRUE(R.Asserts.empty());
}

TEST(QuarnSendBiosUpdateWatchdogControl, WithoutAPpiNothingIsSent) {
  Emulator E{Road()};
  E.Activate();
  SerialPortInitialize();  // the assertion line goes to the serial console
  EXPECT_EQ(QuarnSendBiosUpdateWatchdogControl(nullptr), EFI_INVALID_PARAMETER);
  const RunReport R = E.Snapshot();
  EXPECT_TRUE(R.Messages.empty());
  EXPECT_TRUE(DoesNotPrint(R, "Sending"));
  ASSERT_EQ(R.Asserts.size(), 1u);
  EXPECT_NE(R.Asserts[0].find("!EFI_ERROR (((RETURN_STATUS)(0x80000000 | (2))))"), std::string::npos);
  EXPECT_TRUE(Prints(R, "\nASSERT_EFI_ERROR (Status = Invalid Parameter)\n"));
}

TEST(QuarnSendBiosUpdateWatchdogControl, ResultFollowsTheAnswer) {
  struct Case {
    MessageOverride Override;
    uint8_t Status;
    EFI_STATUS Expected;
  };
  const Case Cases[] = {
      {{}, 0, EFI_SUCCESS},
      {{EFI_WARN_STALE_DATA, std::nullopt, std::nullopt}, 0, EFI_WARN_STALE_DATA},
      {{}, 3, EFI_UNSUPPORTED},
      {{std::nullopt, Bytes{0x05, 0x00}, std::nullopt}, 0, EFI_UNSUPPORTED},
      {{EFI_TIMEOUT, std::nullopt, std::nullopt}, 0, EFI_TIMEOUT},
  };
  for (const Case &C : Cases) {
    Scenario S = Road();
    S.WatchdogOverride = C.Override;
    S.WatchdogStatus = C.Status;
    Emulator E{S};
    E.Activate();
    EXPECT_EQ(QuarnSendBiosUpdateWatchdogControl(E.Firmware().Ppi()), C.Expected);
  }
}

// --- the info HOB in a boot --------------------------------------------------------------

TEST(QuarnPeiPreMemFlow, InfoHobLeftByAnEarlierModuleIsOverwritten) {
  Scenario S = Road();
  S.FwType = 3;
  Emulator E{S};
  E.Activate();
  auto *Hob = static_cast<EFI_HOB_GUID_TYPE *>(E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, 40));
  std::memcpy(&Hob->Name, &gQuarnInfoHobGuid, sizeof(EFI_GUID));
  auto *Data = reinterpret_cast<uint8_t *>(Hob + 1);
  std::memset(Data, 0, 16);
  Data[0] = 0x04;  // FeatureSet 4
  Data[8] = 1;     // Flow 1
  const RunReport R = E.Run();
  EXPECT_TRUE(NonFunctional(R));
  EXPECT_EQ(FindGuidHobs(E.Core(), gQuarnInfoHobGuid).size(), 1u);
}

TEST(QuarnPeiPreMemFlow, InfoHobThatCannotBeCreatedIsReportedAndTheResultStays) {
  Scenario S = Road();
  S.FwType = 3;
  S.MemoryDiscovered = false;
  uint32_t Used = 0;
  {
    Emulator Probe{S};
    Probe.Run();
    Used = Probe.Core().HobBytesUsed();
  }
  S.HobSpace = Used - 40;  // everything but the info HOB, created last, fits
  Emulator E{S};
  const RunReport R = E.Run();
  ASSERT_TRUE(R.Status.has_value());
  EXPECT_EQ(*R.Status, EFI_UNSUPPORTED);
  EXPECT_FALSE(R.InfoHob.has_value());
  EXPECT_TRUE(PrintsInOrder(R, {"[QUARN][PreMem] HOB: flow 2, feature set 0x00000000",
                                "[QUARN][PreMem] ERROR: VORN is non functional (flow 2)\n",
                                "[QUARN][PreMem] ERROR: QUARN info HOB has not been registered\n"}));
}
