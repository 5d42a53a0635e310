// The commands as the command line runs them: what goes to which stream, and the exit
// status.
#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "Tools/TempDir.h"
#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

using namespace quarn::emu::cli;

namespace {

/// A stream that takes nothing, like a full disk.
class FullStream : public std::ostream {
 public:
  FullStream() : std::ostream(&Buffer_) {}

 private:
  struct : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
  } Buffer_;
};

/// Three numbers of the summary's time line: in all, the entry point, the notifications.
struct TimeLine {
  double All = 0, Entry = 0, After = 0, Wait = 0, Serial = 0, Firmware = 0, Other = 0;
};

TimeLine ReadTimeLine(const std::string &Summary) {
  TimeLine T;
  const size_t At = Summary.find("\ntime ");
  EXPECT_NE(At, std::string::npos) << Summary;
  const int Read = std::sscanf(Summary.c_str() + At,
                               "\ntime %lf ms in all (entry point %lf ms, notifications after it returned %lf ms): "
                               "wait %lf ms, serial %lf ms, firmware %lf ms, other %lf ms",
                               &T.All, &T.Entry, &T.After, &T.Wait, &T.Serial, &T.Firmware, &T.Other);
  EXPECT_EQ(Read, 7) << Summary.substr(At);
  return T;
}

}  // namespace

TEST(RunCommand, JsonPrintsOneObjectAndNothingElse) {
  RunOptions Options;
  Options.Json = true;
  std::ostringstream Out, Err;
  EXPECT_EQ(RunOne(Options, Out, Err), kExitOk);
  const std::string Text = Out.str();
  ASSERT_FALSE(Text.empty());
  EXPECT_EQ(Text.find('\n'), Text.size() - 1) << "one line";
  const nlohmann::json J = nlohmann::json::parse(Text);
  EXPECT_EQ(J["scenario"], "default");
  EXPECT_EQ(J["outcome"], "returned");
  EXPECT_TRUE(Err.str().empty());
}

TEST(RunCommand, ConsoleFirstThenSummaryAndTheReportFileBesides) {
  const TempDir Dir;
  const auto ReportPath = Dir.Path("report.json");
  RunOptions Options;
  Options.ReportFile = ReportPath.string();
  std::ostringstream Out, Err;
  EXPECT_EQ(RunOne(Options, Out, Err), kExitOk);
  const std::string Text = Out.str();
  EXPECT_EQ(Text.rfind("[QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\r\n", 0), 0u) << "the console comes first";
  EXPECT_NE(Text.find("---- default"), std::string::npos);
  EXPECT_NE(Text.find("firmware exchange"), std::string::npos);
  std::ifstream Report(ReportPath);
  const nlohmann::json J = nlohmann::json::parse(Report);
  EXPECT_EQ(J["status"], "EFI_SUCCESS");

  // The time line's parts add up, and its labels say what to: the entry point's time is
  // the report's elapsed_ms, the notifications after it make up the rest.
  const TimeLine T = ReadTimeLine(Text);
  EXPECT_NEAR(T.Entry, J["elapsed_ms"].get<double>(), 0.0005);
  EXPECT_NEAR(T.Entry + T.After, T.All, 0.0015);
  EXPECT_NEAR(T.Wait + T.Serial + T.Firmware + T.Other, T.All, 0.0025);
  EXPECT_GT(T.After, 0.0) << "the default scenario moves to permanent memory after the return";
}

TEST(RunCommand, ReportOnStandardOutputWithDash) {
  RunOptions Options;
  Options.ReportFile = kStandardStream;
  std::ostringstream Out, Err;
  EXPECT_EQ(RunOne(Options, Out, Err), kExitOk);
  EXPECT_EQ(Out.str().rfind("{\n  \"asserts\": [],\n", 0), 0u) << "the indented report and nothing else";
  EXPECT_EQ(nlohmann::json::parse(Out.str())["scenario"], "default");
  EXPECT_EQ(Err.str(), "");
}

TEST(RunCommand, AFailedWriteIsExitTwoWithAMessage) {
  RunOptions Options;
  std::ostringstream Err;
  FullStream Full;
  EXPECT_EQ(RunOne(Options, Full, Err), kExitBadInput);
  EXPECT_EQ(Err.str(), "quarn-emu: standard output: write failed\n");

  Options.ReportFile = "/dev/full";
  std::ostringstream Out;
  Err.str("");
  EXPECT_EQ(RunOne(Options, Out, Err), kExitBadInput);
  EXPECT_EQ(Err.str(), "quarn-emu: /dev/full: write failed\n");

  Options = {};
  Options.DumpScenario = true;
  Err.str("");
  EXPECT_EQ(RunOne(Options, Full, Err), kExitBadInput);
  EXPECT_EQ(ShowScenario("default", Full, Err), kExitBadInput);
}

// Every built-in scenario dumped with its defaults filled in loads again to the same
// scenario (the dump of the dump is the dump) and runs to the same report.
TEST(RunCommand, DumpedScenariosLoadAgainAndRunTheSame) {
  const TempDir Dir;
  for (const BuiltinScenario &Builtin : BuiltinScenarios()) {
    SCOPED_TRACE(Builtin.Name);
    RunOptions Options;
    Options.Scenario = Builtin.Name;
    Options.DumpScenario = true;
    std::ostringstream Dump, Err;
    ASSERT_EQ(RunOne(Options, Dump, Err), kExitOk) << Err.str();
    const LoadedScenario Original = ResolveScenario(Builtin.Name);
    const LoadedScenario Reloaded = LoadScenarioText(Dump.str(), "dumped.toml");
    Options.Scenario = Dir.File("quarn-emu-dumped.toml", Dump.str()).string();
    std::ostringstream Again;
    ASSERT_EQ(RunOne(Options, Again, Err), kExitOk) << Err.str();
    EXPECT_EQ(Again.str(), Dump.str());
    ASSERT_EQ(Reloaded.Expect.size(), Original.Expect.size());
    for (size_t Index = 0; Index < Original.Expect.size(); Index++) {
      EXPECT_EQ(Reloaded.Expect[Index].Key, Original.Expect[Index].Key);
      EXPECT_EQ(Reloaded.Expect[Index].Value, Original.Expect[Index].Value) << Original.Expect[Index].Key;
    }
    const nlohmann::json Want = ReportToJson(RunScenario(Original, false), false);
    const nlohmann::json Got = ReportToJson(RunScenario(Reloaded, false), false);
    EXPECT_TRUE(Got == Want) << nlohmann::json::diff(Want, Got).dump(1);
  }
}

TEST(ShowCommand, PrintsTheBuiltInSourceOrSuggestsAName) {
  std::ostringstream Out, Err;
  EXPECT_EQ(ShowScenario("s3-resume", Out, Err), kExitOk);
  EXPECT_EQ(Out.str(), FindBuiltinScenario("s3-resume")->Text);
  Out.str("");
  EXPECT_EQ(ShowScenario("s3-resum", Out, Err), kExitBadInput);
  EXPECT_EQ(Out.str(), "");
  EXPECT_EQ(Err.str(),
            "quarn-emu: s3-resum: no built-in scenario of that name; did you mean s3-resume? "
            "(quarn-emu list shows them)\n");
}

TEST(FaultsCommand, AProgressBarOnATerminalOnly) {
  std::ostringstream Out, Err;
  EXPECT_EQ(SweepScenarioFaults({"default"}, 1000, false, Out, Err), kExitOk) << Err.str();
  EXPECT_EQ(Err.str().find('\r'), std::string::npos);
  EXPECT_EQ(Err.str(), "default: 1 of 67 fault points swept, 0 with an invariant broken\n");
  const std::string Lines = Err.str();
  EXPECT_EQ(std::count(Lines.begin(), Lines.end(), '\n'), 1) << "one line per scenario";

  Err.str("");
  EXPECT_EQ(SweepScenarioFaults({"default"}, 1000, true, Out, Err), kExitOk);
  EXPECT_EQ(Err.str().rfind("\rdefault ", 0), 0u) << "redrawn in place";
}

TEST(RunCommand, RefusesBeforeRunning) {
  const TempDir Dir;
  std::ostringstream Out, Err;
  RunOptions Options;
  Options.Scenario = Dir.File("quarn-emu-bad.toml", "[cpu]\nprocessors = 0\n").string();
  EXPECT_EQ(RunOne(Options, Out, Err), kExitBadInput);
  EXPECT_TRUE(Out.str().empty()) << "nothing ran";
  EXPECT_NE(Err.str().find("quarn-emu-bad.toml:2: cpu.processors: 0 is out of range"), std::string::npos) << Err.str();

  Options.Scenario = "default";
  Options.ReportFile = "/nonexistent-directory/report.json";
  Err.str("");
  EXPECT_EQ(RunOne(Options, Out, Err), kExitBadInput);
  EXPECT_TRUE(Out.str().empty());
  EXPECT_NE(Err.str().find("cannot be written"), std::string::npos);
}

TEST(RunCommand, AStoppedModuleAnswersThree) {
  const TempDir Dir;
  RunOptions Options;
  Options.Scenario = Dir.File("quarn-emu-stopped.toml", "[run]\ntime_limit_ms = 1\n").string();
  Options.Json = true;
  std::ostringstream Out, Err;
  EXPECT_EQ(RunOne(Options, Out, Err), kExitStopped);
  const nlohmann::json J = nlohmann::json::parse(Out.str());
  EXPECT_EQ(J["outcome"], "hang");
  EXPECT_TRUE(J["status"].is_null());
  // The limit is on the whole run; the last access is decoded to the device register.
  EXPECT_EQ(J["stopped_at"],
            "the total time limit of 1 ms of virtual time ([run] time_limit_ms) ran out; last "
            "access io-read8 0x03FD (UART 0x3F8 LSR)");
}

TEST(CheckCommand, TableOfResultsAndEachMismatch) {
  const TempDir Dir;
  const auto Wrong = Dir.File("quarn-emu-wrong.toml", "name = \"wrong\"\n[expect]\nrecords = [\"state\"]\n");
  std::ostringstream Out, Err;
  EXPECT_EQ(CheckScenarios({.Scenarios = {"default", Wrong.string()}}, Out, Err), kExitMismatch);
  EXPECT_EQ(Out.str(),
            "scenario  outcome    status                  virtual ms  result\n"
            "default   returned   EFI_SUCCESS                227.163  ok\n"
            "wrong     returned   EFI_SUCCESS                 77.980  MISMATCH\n"
            "    " +
                Wrong.string() +
                ":3: records: expected 1 entry, got 0; first difference at [0]: expected \"state\", got nothing\n"
                "2 scenarios: 1 match, 1 mismatch, 0 no expectations, 0 errors (305.143 ms of virtual time)\n");
  EXPECT_EQ(Err.str(), "");
}

TEST(ListCommand, NameAndDescriptionPerLine) {
  std::ostringstream Out, Err;
  EXPECT_EQ(ListScenarios(Out, Err), kExitOk);
  EXPECT_EQ(Out.str().rfind("default ", 0), 0u);
  EXPECT_NE(Out.str().find("\ns3-resume "), std::string::npos);
}
