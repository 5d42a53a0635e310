// The pre-DID reset and the waits around it: budgets spent in 1 ms steps (counted as
// VORNFS1 reads and virtual time), the shared budget of the reset, the request bytes and
// the acceptance test of the answer.
#include <gtest/gtest.h>

#include <Pei/QuarnPeiPreMem/QuarnPeiPreMem.h>
extern "C" {
#include <PiPei.h>
#include <Library/SerialPortLib.h>
}
#include <Library/VornTypeGetLib.h>

#include "SourceLines.h"
#include "Emulator/Emulator.h"
#include "Emulator/Vorn/VornDevice.h"
#include "Test/Library/VornFixture.h"
#include "Test/Pei/FlowTestSupport.h"

using namespace quarn::emu;
using namespace quarn::test;

namespace {

using Reg = VornDevice::Register;

/// A board whose firmware is known to be QUARN (type HOB in place), with a trace.
struct Board_ {
  explicit Board_(Scenario S) : E(WithTrace(std::move(S))) {
    E.Activate();
    EXPECT_TRUE(VornTypeIsQuarn());
    Mark = E.Snapshot();
  }
  static Scenario WithTrace(Scenario S) {
    S.Trace = true;
    return S;
  }
  /// What happened since construction.
  RunReport Since() { return Delta(Mark, E.Snapshot()); }
  Emulator E;
  RunReport Mark;
};

Scenario InState(uint32_t Fs1) {
  Scenario S;
  S.Fs1 = Fs1;
  return S;
}

}  // namespace

// --- the state wait -------------------------------------------------------------------

TEST(QuarnWaitForState, MeaningfulStateAtTheFirstReadNeedsNoDelay) {
  for (uint32_t State : {2u, 5u}) {
    Board_ B{InState(State)};
    UINT32 Budget = 7;
    EXPECT_EQ(QuarnWaitForState(&Budget), EFI_SUCCESS);
    const RunReport R = B.Since();
    EXPECT_EQ(Budget, 7u);
    EXPECT_EQ(Fs1Reads(R), 1u);
    EXPECT_LT(R.ElapsedNs, kNsPerMs);
    EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Wait for VORN state reaches VORN State = " + std::to_string(State) + "\n"));
  }
}

TEST(QuarnWaitForState, EmptyBudgetStillSucceedsWhenTheStateIsThere) {
  Board_ B{InState(2)};
  UINT32 Budget = 0;
  EXPECT_EQ(QuarnWaitForState(&Budget), EFI_SUCCESS);
  EXPECT_TRUE(B.Since().StatusCodes.empty());
}

TEST(QuarnWaitForState, WaitsStepByStepUntilTheStateArrives) {
  Board_ B{InState(0)};
  B.E.Vorn().Schedule(B.E.GetBoard().NowNs() + 40 * kNsPerMs, [](VornDevice &V) { V.Write(Reg::Fs1, 5); });
  UINT32 Budget = 100;
  EXPECT_EQ(QuarnWaitForState(&Budget), EFI_SUCCESS);
  const RunReport R = B.Since();
  const size_t Delays = 100 - Budget;
  EXPECT_GE(Delays, 39u);
  EXPECT_LE(Delays, 41u);
  EXPECT_EQ(Fs1Reads(R), Delays + 1);
  EXPECT_TRUE(R.StatusCodes.empty());
}

TEST(QuarnWaitForState, LoneWaitGivesUpAfter2000Steps) {
  // CurrentState 3 (neither recovery nor normal) for the whole budget.
  Board_ B{InState(3)};
  const size_t RecordReads = Fs1ReadsOfAStateRecord(B.E);
  const RunReport Before = B.E.Snapshot();
  EXPECT_EQ(QuarnWaitForState(nullptr), EFI_TIMEOUT);
  const RunReport R = Delta(Before, B.E.Snapshot());
  EXPECT_EQ(Fs1Reads(R), 2001u + RecordReads) << "B + 1 reads for a budget of B";
  EXPECT_GE(R.ElapsedNs, 1999 * kNsPerMs);
  EXPECT_LT(R.ElapsedNs, 2020 * kNsPerMs);
  EXPECT_EQ(R.Records, (std::vector<std::string>{"state"}));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] ERROR: Timeout when waiting for VORN meaningful state\n"));
}

TEST(QuarnWaitForState, DisabledStateForTheWholeBudgetTimesOut) {
  Board_ B{InState(5)};  // QUARN detected while normal, then the firmware goes to state 4
  B.E.Vorn().Write(Reg::Fs1, 4);
  UINT32 Budget = 50;
  EXPECT_EQ(QuarnWaitForState(&Budget), EFI_TIMEOUT);
  EXPECT_EQ(Budget, 0u);
}

// --- the counter wait -------------------------------------------------------------------

TEST(QuarnWaitResetCounterChange, CounterWrappingFrom15To0IsAChange) {
  Board_ B{InState(0x00F00002)};
  B.E.Vorn().Schedule(B.E.GetBoard().NowNs() + 10 * kNsPerMs, [](VornDevice &V) { V.Write(Reg::Fs1, 0x00000000); });
  UINT32 Budget = 100;
  EXPECT_EQ(QuarnWaitResetCounterChange(15, &Budget), EFI_SUCCESS);
  EXPECT_GE(Budget, 89u);
  EXPECT_LE(Budget, 91u);
  EXPECT_TRUE(B.Since().StatusCodes.empty());
}

TEST(QuarnWaitResetCounterChange, CounterAlreadyDifferentNeedsNoDelay) {
  Board_ B{InState(0x00300002)};
  UINT32 Budget = 100;
  EXPECT_EQ(QuarnWaitResetCounterChange(2, &Budget), EFI_SUCCESS);
  const RunReport R = B.Since();
  EXPECT_EQ(Budget, 100u);
  EXPECT_EQ(Fs1Reads(R), 1u);
  EXPECT_EQ(Printed(R), "") << "success prints nothing";
}

TEST(QuarnWaitResetCounterChange, OnlyTheCounterBitsCount) {
  Board_ B{InState(0x00300002)};
  B.E.Vorn().Write(Reg::Fs1, 0x0F3F000F);  // every bit but the counter changes
  UINT32 Budget = 3;
  EXPECT_EQ(QuarnWaitResetCounterChange(3, &Budget), EFI_TIMEOUT);
}

TEST(QuarnWaitResetCounterChange, LoneWaitGivesUpAfter2000StepsWithAResetRecord) {
  Board_ B{InState(0x00300002)};
  EXPECT_EQ(QuarnWaitResetCounterChange(3, nullptr), EFI_TIMEOUT);
  const RunReport R = B.Since();
  EXPECT_EQ(Fs1Reads(R), 2001u + 1u) << "B + 1 reads, then the record's own";
  EXPECT_GE(R.ElapsedNs, 1999 * kNsPerMs);
  EXPECT_LT(R.ElapsedNs, 2020 * kNsPerMs);
  EXPECT_EQ(R.Records, (std::vector<std::string>{"reset"}));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] ERROR: Timeout when waiting for VORN Reset Counter Change\n"));
}

TEST(SharedBudget, TheStateWaitGetsWhatTheCounterWaitLeft) {
  Board_ B{InState(0x00300002)};
  // The counter steps after about 4800 ms and the firmware never reaches a state again.
  B.E.Vorn().Schedule(B.E.GetBoard().NowNs() + 4800 * kNsPerMs, [](VornDevice &V) { V.Write(Reg::Fs1, 0x00400000); });
  UINT32 Budget = kPreDidResetBudget;
  EXPECT_EQ(QuarnWaitResetCounterChange(3, &Budget), EFI_SUCCESS);
  const UINT32 Left = Budget;
  EXPECT_GT(Left, 150u);
  EXPECT_LT(Left, 250u);

  const size_t RecordReads = Fs1ReadsOfAStateRecord(B.E);
  const RunReport Before = B.E.Snapshot();
  EXPECT_EQ(QuarnWaitForState(&Budget), EFI_TIMEOUT);
  const RunReport R = Delta(Before, B.E.Snapshot());
  EXPECT_EQ(Budget, 0u);
  EXPECT_EQ(Fs1Reads(R), Left + 1 + RecordReads);
  EXPECT_LT(R.ElapsedNs, (Left + 5) * kNsPerMs);
}

// --- the reset -------------------------------------------------------------------------

TEST(QuarnPreDidReset, SendsTheTwelveByteRequestAndWaitsForTheRestart) {
  Scenario S = InState(0x00300002);
  S.Fs2 = 0x400;
  S.CounterAfterMs = 30;
  S.StateAfterMs = 120;
  Board_ B{S};
  EXPECT_EQ(QuarnPreDidReset(), EFI_SUCCESS);
  const RunReport R = B.Since();
  ASSERT_EQ(R.Messages.size(), 1u);
  const MessageExchange &X = R.Messages[0];
  EXPECT_EQ(X.Client, 7);
  EXPECT_EQ(X.RequestLength, 12u);
  EXPECT_EQ(X.Capacity, 12u);
  EXPECT_EQ(X.Request, (std::vector<uint8_t>{0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(B.E.Vorn().Read(Reg::Fs1), 0x00400005u) << "counter 3 -> 4, then state 5";
  EXPECT_GE(R.ElapsedNs, 120 * kNsPerMs);
  EXPECT_LT(R.ElapsedNs, 130 * kNsPerMs);
  EXPECT_TRUE(R.StatusCodes.empty());
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] WARNING: Execute VORN pre-DID reset\n"));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset has been executed successfully\n"));
}

TEST(QuarnPreDidReset, CounterNeverChangingSpendsAll5000StepsAndSkipsTheStateWait) {
  Scenario S = InState(0x00300002);
  S.CounterAfterMs.reset();
  S.StateAfterMs.reset();
  Board_ B{S};
  EXPECT_EQ(QuarnPreDidReset(), EFI_TIMEOUT);
  const RunReport R = B.Since();
  EXPECT_EQ(R.Records, (std::vector<std::string>{"reset", "reset"}));
  // Counted in steps: the sample before the send, then one read per step and one more
  // (5001 for a budget of 5000), then one per reset record.
  EXPECT_EQ(Fs1Reads(R), 1u + 5001u + 2u);
  EXPECT_EQ(Delays(R), 5000u);
  EXPECT_GE(R.ElapsedNs, 4999 * kNsPerMs);
  EXPECT_LT(R.ElapsedNs, 5050 * kNsPerMs);
  EXPECT_TRUE(DoesNotPrint(R, "Wait for VORN Normal or Recovery state"));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] ERROR: Pre-DID reset, VORN Reset Counter not changed (Time out)\n"));
}

TEST(QuarnPreDidReset, TheTwoWaitsShareExactly5000Steps) {
  // The counter steps after 30 ms, then CurrentState stays 0: the state wait gets what
  // the counter wait left, and the two together take exactly 5000 steps.
  Scenario S = InState(0x00300002);
  S.CounterAfterMs = 30;
  S.StateAfterMs.reset();
  Board_ B{S};
  EXPECT_EQ(QuarnPreDidReset(), EFI_TIMEOUT);
  const RunReport R = B.Since();
  EXPECT_EQ(R.Records, (std::vector<std::string>{"state"}));
  EXPECT_EQ(Delays(R), 5000u);
}

TEST(QuarnPreDidReset, CounterSampledBeforeTheSendSeesAChangeThatComesWithTheAnswer) {
  // The firmware steps its counter as it answers: read after the send, the old value
  // would already be the new one and the wait would never end.
  Scenario S = InState(0x00300002);
  S.CounterAfterMs = 0;
  S.StateAfterMs = 50;
  Board_ B{S};
  EXPECT_EQ(QuarnPreDidReset(), EFI_SUCCESS);
  const RunReport R = B.Since();
  EXPECT_TRUE(R.StatusCodes.empty());
  EXPECT_EQ(B.E.Vorn().Read(Reg::Fs1), 0x00400005u);
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset has been executed successfully\n"));
}

TEST(QuarnPreDidReset, NoMeaningfulStateAfterTheRestartIsATimeoutWithinTheSharedBudget) {
  Scenario S = InState(0x00300002);
  S.CounterAfterMs = 4800;  // counter steps, CurrentState becomes 0 and stays there
  S.StateAfterMs.reset();
  Board_ B{S};
  EXPECT_EQ(QuarnPreDidReset(), EFI_TIMEOUT);
  const RunReport R = B.Since();
  EXPECT_EQ(R.Records, (std::vector<std::string>{"state"}));
  // One budget for both waits: about 5 s in all, not 4.8 s plus a fresh 2 s.
  EXPECT_GE(R.ElapsedNs, 4999 * kNsPerMs);
  EXPECT_LT(R.ElapsedNs, 5050 * kNsPerMs);
}

struct AnswerCase {
  const char *Name;
  std::vector<uint8_t> Response;
  bool Accepted;
};

class PreDidResetAnswer : public ::testing::TestWithParam<AnswerCase> {};

TEST_P(PreDidResetAnswer, AcceptanceFollowsTheFourConditions) {
  Scenario S = InState(0x00300002);
  S.PreDidResetOverride.Response = GetParam().Response;
  Board_ B{S};
  const EFI_STATUS Status = QuarnPreDidReset();
  const RunReport R = B.Since();
  EXPECT_EQ(Status, EFI_SUCCESS);
  if (GetParam().Accepted) {
    EXPECT_TRUE(Prints(R, "Pre-DID reset has been executed successfully"));
  } else {
    EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset is not accepted by VORN. Continue without reset (Success)\n"));
    EXPECT_EQ(Fs1Reads(R), 1u) << "no wait after a refusal";
  }
  EXPECT_TRUE(R.StatusCodes.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, PreDidResetAnswer,
    ::testing::Values(AnswerCase{"Accepting", {0x05, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, true},
                      AnswerCase{"AcceptingWithOtherBytesSet",
                                 {0x05, 0x80, 0xAB, 0xCD, 0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77},
                                 true},
                      AnswerCase{"ByteFourSet", {0x05, 0x80, 0, 0, 0x01, 0, 0, 0, 0, 0, 0, 0}, false},
                      AnswerCase{"EchoOfTheRequest", {0x05, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
                      AnswerCase{"CommandOne", {0x05, 0x81, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false},
                      AnswerCase{"OtherGroup", {0x06, 0x80, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, false}),
    [](const ::testing::TestParamInfo<AnswerCase> &Info) { return std::string(Info.param.Name); });

TEST(QuarnPreDidReset, RefusalWithAWarningReturnsTheWarning) {
  Scenario S = InState(0x00300002);
  S.PreDidResetAccept = false;
  S.PreDidResetOverride.Result = EFI_WARN_STALE_DATA;
  Board_ B{S};
  EXPECT_EQ(QuarnPreDidReset(), EFI_WARN_STALE_DATA);
  EXPECT_TRUE(B.Since().StatusCodes.empty());
}

TEST(QuarnPreDidReset, NoAnswerSkipsTheResetAndCountsAsSuccess) {
  Scenario S = InState(0x00300002);
  S.PreDidResetOverride.Result = EFI_TIMEOUT;
  Board_ B{S};
  EXPECT_EQ(QuarnPreDidReset(), EFI_SUCCESS);
  const RunReport R = B.Since();
  EXPECT_TRUE(R.StatusCodes.empty());
  EXPECT_EQ(B.E.Vorn().Read(Reg::Fs1), 0x00300002u) << "no reset happened";
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] Pre-DID reset, no ACK. Continue without reset (Time out)\n"));
}

TEST(QuarnPreDidReset, MissingMessagePpiIsADeviceError) {
  // Not installed, installed with a NULL interface, or with a NULL SendWithAck: one
  // assertion at the lookup, nothing sent, no record.
  for (UnusableDrux How : {UnusableDrux::NotInstalled, UnusableDrux::NullPpi, UnusableDrux::NullSendWithAck}) {
    SCOPED_TRACE(Describe(How));
    Emulator E{WithUnusableDrux(How, InState(0x00300002))};
    E.Activate();
    SerialPortInitialize();  // the assertion line goes to the console
    SeedQuarnTypeHob(E);
    EXPECT_EQ(QuarnPreDidReset(), EFI_DEVICE_ERROR);
    const RunReport R = E.Snapshot();
    EXPECT_TRUE(R.Messages.empty());
    EXPECT_TRUE(R.StatusCodes.empty());
    EXPECT_EQ(R.Asserts, std::vector<std::string>{"ASSERT [QuarnPeiPreMem] " +
                                                  CheckLine("Pei/QuarnPeiPreMem/PreDidReset.cpp",
                                                            "ASSERT_EFI_ERROR (Status);", "!EFI_ERROR (Status)")});
    EXPECT_TRUE(PrintsInOrder(R, {"[QUARN][PreMem] ERROR: Cannot locate DRUX PPI (Not Found)\n",
                                  "\nASSERT_EFI_ERROR (Status = Not Found)\n"}));
  }
}
