// Fault injection over whole boots: every failable call of a run made to fail in turn,
// and the run checked against the invariants the module keeps whatever fails.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "Emulator/Emulator.h"
#include "Emulator/FaultSweep.h"

using namespace quarn::emu;

namespace {

void ExpectNoViolations(const FaultSweepResult &Result) {
  EXPECT_GT(Result.Points, 0u);
  for (const FaultOutcome &Run : Result.Runs) {
    for (const std::string &Violation : Run.Violations) {
      ADD_FAILURE() << Result.Scenario << ": point " << Run.Point << " (" << Run.Call << "): " << Violation;
    }
  }
}

Scenario Recovery() {
  Scenario S;
  S.Name = "recovery";
  S.Fs1 = 0x00000002;
  S.Fs2 = 0x00000400;
  S.PreDidReset = S.BiosUpdateWatchdog = S.SscAlternate = true;
  return S;
}

}  // namespace

TEST(FaultSweep, EveryFailingCallOfTheRecoveryBootKeepsTheInvariants) {
  const FaultSweepResult Result = SweepFaults(Recovery());
  ExpectNoViolations(Result);
  EXPECT_EQ(Result.Runs.size(), Result.Points);
}

TEST(FaultSweep, EveryFailingCallOfANonQuarnBootKeepsTheInvariants) {
  Scenario S;
  S.Name = "client";
  S.FwType = 3;
  ExpectNoViolations(SweepFaults(S));
}

TEST(FaultSweep, AStrideSweepsEveryNthPointAndNeverWrapsAround) {
  const Scenario S = Recovery();
  const FaultSweepResult All = SweepFaults(S);
  ASSERT_GT(All.Points, 3u);
  const FaultSweepResult Third = SweepFaults(S, 3);
  ASSERT_EQ(Third.Runs.size(), (All.Points + 2) / 3);
  EXPECT_EQ(Third.Runs.back().Point, 1 + 3 * (Third.Runs.size() - 1));
  for (const uint64_t Stride : {All.Points, All.Points + 1, UINT64_MAX - 1, UINT64_MAX}) {
    const FaultSweepResult Once = SweepFaults(S, Stride);
    ASSERT_EQ(Once.Runs.size(), 1u) << Stride;
    EXPECT_EQ(Once.Runs[0].Point, 1u) << Stride;
  }
}

TEST(FaultSweep, CoversEveryKindOfFailableCall) {
  const FaultSweepResult Result = SweepFaults(Recovery());
  std::set<std::string> Calls;
  for (const FaultOutcome &Run : Result.Runs) Calls.insert(Run.Call);
  for (const char *Call : {"LocatePpi", "NotifyPpi", "GetBootMode", "GetHobList", "CreateHob", "AllocatePool",
                           "InstallPpi", "SendWithAck", "GetVornStatus", "StartupAllAPs"}) {
    EXPECT_TRUE(Calls.count(Call)) << Call;
  }

  // Each point names its call by the count of its name (every point swept, so each name
  // counts up by one), in the order of the run, with the status that call answers.
  const std::map<std::string, std::string> Answers = {
      {"LocatePpi", "EFI_NOT_FOUND"},          {"NotifyPpi", "EFI_OUT_OF_RESOURCES"},
      {"GetBootMode", "EFI_DEVICE_ERROR"},     {"GetHobList", "EFI_NOT_AVAILABLE_YET"},
      {"CreateHob", "EFI_OUT_OF_RESOURCES"},   {"AllocatePool", "EFI_OUT_OF_RESOURCES"},
      {"InstallPpi", "EFI_OUT_OF_RESOURCES"},  {"SendWithAck", "EFI_DEVICE_ERROR"},
      {"GetVornStatus", "EFI_DEVICE_ERROR"},   {"StartupAllAPs", "EFI_DEVICE_ERROR"},
      {"ReportStatusCode", "EFI_DEVICE_ERROR"}};
  std::map<std::string, uint64_t> Counted;
  uint64_t Before = 0;
  EXPECT_TRUE(Result.CleanViolations.empty());
  for (const FaultOutcome &Run : Result.Runs) {
    ASSERT_TRUE(Answers.count(Run.Call)) << Run.Point << ": " << Run.Call;
    EXPECT_EQ(Run.Answer, Answers.at(Run.Call)) << Run.Point;
    EXPECT_EQ(Run.Nth, ++Counted[Run.Call]) << Run.Point << ": " << Run.Call;
    EXPECT_GE(Run.TimeNs, Before) << Run.Point;
    Before = Run.TimeNs;
  }
}

TEST(FaultSweep, ARunThatFailsWithoutAFaultBlamesNoFaultPoint) {
  Scenario S = Recovery();
  S.TimeLimitMs = 1;
  const FaultSweepResult Result = SweepFaults(S, 4);
  ASSERT_EQ(Result.CleanViolations.size(), 1u);
  EXPECT_EQ(Result.CleanViolations[0].rfind("the run hung: the total time limit of 1 ms", 0), 0u)
      << Result.CleanViolations[0];
  EXPECT_TRUE(Result.FailsWithoutFault());
  ASSERT_FALSE(Result.Runs.empty());
  EXPECT_FALSE(Result.Runs[0].Violations.empty()) << "the runs still break it";
  EXPECT_EQ(Result.Failures(), 0u) << "but it is not theirs";
}

TEST(FaultSweep, InvariantsCatchAWrongStatusAndAMalformedRecord) {
  RunReport Report;
  Report.Status = EFI_DEVICE_ERROR;
  StatusCodeRecord Bad;
  Bad.Type = 0x40000002;
  Bad.Value = 0x00020000;
  Bad.Data.assign(20 + 38, 0);
  Bad.Data[0] = 20;
  Bad.Data[2] = 38;
  Report.StatusCodes.push_back(Bad);
  const auto Violations = CheckRunInvariants(Report);
  EXPECT_EQ(Violations.size(), 3u) << "status, wrapper header and record type";
}
