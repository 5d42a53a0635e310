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

#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/ReportJson.h"

using namespace quarn::emu::cli;

namespace {

/// A directory of the test's own, removed at its end: runs of the suite side by side never
/// share a file.
class TempDir {
 public:
  TempDir() {
    std::string Template = (std::filesystem::temp_directory_path() / "quarn-emu-test-XXXXXX").string();
    if (mkdtemp(Template.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
    Path_ = Template;
  }
  ~TempDir() {
    std::error_code Ignored;
    std::filesystem::remove_all(Path_, Ignored);
  }
  TempDir(const TempDir &) = delete;
  TempDir &operator=(const TempDir &) = delete;
  std::filesystem::path Path(const std::string &Name) const { return Path_ / Name; }
  /// Writes Text to the file Name in the directory.
  std::filesystem::path File(const std::string &Name, const std::string &Text) const {
    std::ofstream(Path(Name), std::ios::binary) << Text;
    return Path(Name);
  }

 private:
  std::filesystem::path Path_;
};

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
}

TEST(CheckCommand, TableOfResultsAndEachMismatch) {
  const TempDir Dir;
  const auto Wrong = Dir.File("quarn-emu-wrong.toml", "name = \"wrong\"\n[expect]\nrecords = [\"state\"]\n");
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
