// The commands as the command line runs them: what goes to which stream, and the exit
// status.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/ReportJson.h"

using namespace quarn::emu::cli;

namespace {

std::filesystem::path TempFile(const std::string &Name, const std::string &Text) {
  const auto Path = std::filesystem::temp_directory_path() / Name;
  std::ofstream(Path, std::ios::binary) << Text;
  return Path;
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
  const auto ReportPath = std::filesystem::temp_directory_path() / "quarn-emu-commands-report.json";
  std::filesystem::remove(ReportPath);
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
  std::filesystem::remove(ReportPath);
}

TEST(RunCommand, RefusesBeforeRunning) {
  std::ostringstream Out, Err;
  RunOptions Options;
  Options.Scenario = TempFile("quarn-emu-bad.toml", "[cpu]\nprocessors = 0\n").string();
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
  RunOptions Options;
  Options.Scenario = TempFile("quarn-emu-stopped.toml", "[run]\ntime_limit_ms = 1\n").string();
  Options.Json = true;
  std::ostringstream Out, Err;
  EXPECT_EQ(RunOne(Options, Out, Err), kExitStopped);
  const nlohmann::json J = nlohmann::json::parse(Out.str());
  EXPECT_EQ(J["outcome"], "hang");
  EXPECT_TRUE(J["status"].is_null());
}

TEST(CheckCommand, TableOfResultsAndEachMismatch) {
  const auto Wrong = TempFile("quarn-emu-wrong.toml", "name = \"wrong\"\n[expect]\nrecords = [\"state\"]\n");
  std::ostringstream Out, Err;
  EXPECT_EQ(CheckScenarios({"default", Wrong.string()}, Out, Err), kExitMismatch);
  const std::string Text = Out.str();
  EXPECT_NE(Text.find("default "), std::string::npos);
  EXPECT_NE(Text.find("wrong "), std::string::npos);
  EXPECT_NE(Text.find("MISMATCH"), std::string::npos);
  EXPECT_NE(Text.find("    records: expected [\"state\"], got []"), std::string::npos) << Text;
  EXPECT_NE(Text.find("2 scenarios: 1 match, 1 mismatch"), std::string::npos) << Text;

  Out.str("");
  EXPECT_EQ(CheckScenarios({"default", "no-such-scenario"}, Out, Err), kExitBadInput);
  EXPECT_TRUE(Out.str().empty()) << "every scenario is loaded before the first one runs";
}

TEST(ListCommand, NameAndDescriptionPerLine) {
  std::ostringstream Out, Err;
  EXPECT_EQ(ListScenarios(Out, Err), kExitOk);
  EXPECT_EQ(Out.str().rfind("default ", 0), 0u);
  EXPECT_NE(Out.str().find("\ns3-resume "), std::string::npos);
}
