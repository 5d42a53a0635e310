// quarn-emu check: every form an [expect] key can take, matching and mismatching with the
// message a user reads; the forms refused when the scenario loads; and the command's
// table, selection, stop, errors, JSON and JUnit output on real runs.
#include <gtest/gtest.h>

#include <sstream>

#include "Tools/TempDir.h"
#include "Tools/quarn-emu/Check/Check.h"
#include "Tools/quarn-emu/Check/CheckResults.h"
#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"
#include "Tools/quarn-emu/Scenario/ScenarioWriter.h"
#include "Tools/quarn-emu/Support/CommandSupport.h"

using namespace quarn::emu::cli;
using nlohmann::json;

namespace {

/// A report as check sees it; only the keys these cases look at.
const json kReport = json::parse(R"({
  "outcome": "returned", "stopped_at": null, "status": "EFI_SUCCESS", "elapsed_ms": 227.163,
  "console": "[QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\r\nVORN State = 2\r\nWait for VORN state reaches VORN State = 5\r\nVORN State = 5\r\n",
  "debug_ppi": ["one\n", "two\n"],
  "exchange": ["type EFI_SUCCESS", "pre-did-reset EFI_TIMEOUT", "clock EFI_SUCCESS"],
  "records": ["reset", "state"],
  "info_hob": { "flow": 0, "feature_set": 5, "data": "00" },
  "time": { "wait_ms": 95.3, "serial_ms": 137.5 }
})");

/// The mismatches of an [expect] table (line 1 is its header) as the table prints them.
std::vector<std::string> Check(const std::string &Toml, const json &Report = kReport) {
  const LoadedScenario L = LoadScenarioText("[expect]\n" + Toml, "t.toml");
  std::vector<std::string> Lines;
  for (const Mismatch &M : CheckReport(L.Expect, Report, L.ExpectLine)) Lines.push_back(MismatchLine("t.toml", M));
  return Lines;
}

/// The message a scenario is refused with when it loads.
std::string Refused(const std::string &Toml) {
  try {
    LoadScenarioText("[expect]\n" + Toml, "t.toml");
  } catch (const ScenarioError &Error) {
    return Error.what();
  }
  return "(loaded)";
}

using Lines = std::vector<std::string>;

struct Case {
  const char *Toml;
  Lines Expected;  // empty: it matches
};

void RunCases(const std::vector<Case> &Cases) {
  for (const Case &C : Cases) EXPECT_EQ(Check(C.Toml), C.Expected) << C.Toml;
}

}  // namespace

TEST(CheckForms, ValuesObjectsAndListsDifferWhereTheyDiffer) {
  RunCases({
      {"status = \"EFI_SUCCESS\"\nrecords = [\"reset\", \"state\"]\n", {}},
      {"info_hob = { flow = 0, feature_set = 5, data = \"00\" }\n", {}},
      // An object: only the fields that differ, one line each; a field the report lacks
      // and one it holds beyond those expected.
      {"info_hob = { flow = 1, feature_set = 5, data = \"00\" }\n", {"t.toml:2: info_hob.flow: expected 1, got 0"}},
      {"info_hob = { flow = 1, feature_set = 6, data = \"00\" }\n",
       {"t.toml:2: info_hob.feature_set: expected 6, got 5", "t.toml:2: info_hob.flow: expected 1, got 0"}},
      {"info_hob = { flow = 0, feature_set = 5 }\n", {"t.toml:2: info_hob.data: not expected, got \"00\""}},
      {"info_hob = { flow = 0, feature_set = 5, data = \"00\", flw = 1 }\n",
       {"t.toml:2: info_hob.flw: expected 1, got no such field"}},
      {"info_hob = \"null\"\n",
       {"t.toml:2: info_hob: expected null, got {\"data\":\"00\",\"feature_set\":5,\"flow\":0}"}},
      // A partial object compares the fields given, also inside a list's entries.
      {"info_hob = { partial = true, flow = 0 }\n", {}},
      {"info_hob = { partial = true, flow = 1 }\n", {"t.toml:2: info_hob.flow: expected 1, got 0"}},
      {"info_hob = { partial = false, flow = 0 }\n",
       {"t.toml:2: info_hob.data: not expected, got \"00\"", "t.toml:2: info_hob.feature_set: not expected, got 5"}},
      {"vorn_type_hob = { partial = true, fw_type = 1 }\n",
       {"t.toml:2: vorn_type_hob: expected {\"fw_type\":1}, but the report holds no vorn_type_hob"}},
      // Lists: the lengths, then the first entry that differs.
      {"exchange = [\"type EFI_SUCCESS\", \"watchdog EFI_SUCCESS\", \"clock EFI_SUCCESS\"]\n",
       {"t.toml:2: exchange[1]: expected \"watchdog EFI_SUCCESS\", got \"pre-did-reset EFI_TIMEOUT\""}},
      {"exchange = [\"type EFI_SUCCESS\", \"pre-did-reset EFI_TIMEOUT\"]\n",
       {"t.toml:2: exchange: expected 2 entries, got 3; first difference at [2]: expected nothing, got \"clock "
        "EFI_SUCCESS\""}},
      {"records = [\"state\"]\n",
       {"t.toml:2: records: expected 1 entry, got 2", "t.toml:2: records[0]: expected \"state\", got \"reset\""}},
  });
}

TEST(CheckForms, TheTableAndMessagesShowValuesWhole) {
  // The virtual-time column: right-aligned to 10 characters, a longer time whole.
  EXPECT_EQ(check::RightAligned("-", 10), "         -");
  EXPECT_EQ(check::RightAligned("12345.678", 10), " 12345.678");
  EXPECT_EQ(check::RightAligned("123456.789", 10), "123456.789");
  EXPECT_EQ(check::RightAligned("1234567.891", 10), "1234567.891");
  // A value in a message: whole up to 400 characters, then cut with its length.
  const std::string Fits(398, 'a'), Over(399, 'a');  // 400 and 401 characters with the quotes
  EXPECT_EQ(ShowValue(nlohmann::json(Fits)), "\"" + Fits + "\"");
  EXPECT_EQ(ShowValue(nlohmann::json(Over)), "\"" + std::string(399, 'a') + "... (401 characters)");
  EXPECT_EQ(ShowValue(nlohmann::json("abcdef"), 5), "\"abcd... (8 characters)");
}

TEST(CheckForms, BoundsAndToleranceForTimes) {
  RunCases({
      {"elapsed_ms = { min = 200.0, max = 250.0 }\n", {}},
      {"elapsed_ms = { min = 227.163 }\n", {}},
      {"elapsed_ms = { max = 227 }\n", {"t.toml:2: elapsed_ms: expected at most 227, got 227.163"}},
      {"elapsed_ms = { min = 230.0, max = 250.0 }\n",
       {"t.toml:2: elapsed_ms: expected from 230.0 to 250.0, got 227.163"}},
      {"elapsed_ms = { approx = 227.173, tolerance = 0.01 }\n", {}},  // inclusive, despite 0.010000000000005
      {"elapsed_ms = { approx = 227.2, tolerance = 0.01 }\n",
       {"t.toml:2: elapsed_ms: expected 227.2 ± 0.01, got 227.163"}},
      // The room for rounding is a billionth of the value: 1e-7 off is within, 5e-7 is not.
      {"elapsed_ms = { approx = 227.1630001, tolerance = 0 }\n", {}},
      {"elapsed_ms = { approx = 227.1630005, tolerance = 0 }\n",
       {"t.toml:2: elapsed_ms: expected 227.1630005 ± 0, got 227.163"}},
      // Both ends are inclusive, also when they are the same.
      {"elapsed_ms = { min = 227.163, max = 227.163 }\n", {}},
      {"time = { partial = true, wait_ms = { approx = 95.0, tolerance = 0.5 } }\n", {}},
      {"time = { wait_ms = { max = 90 }, serial_ms = 137.5 }\n",
       {"t.toml:2: time.wait_ms: expected at most 90, got 95.3"}},
  });
}

TEST(CheckForms, WholeLinesInOrderWithEitherLineEnding) {
  RunCases({
      {"console_lines = [\"VORN State = 2\", \"VORN State = 5\\r\\n\"]\n", {}},
      {"console_lines = [\"[QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\\n\", \"VORN State = 5\"]\n", {}},
      {"debug_ppi_lines = [\"one\", \"two\"]\n", {}},
      {"console_lines = [\"VORN State = 5\", \"VORN State = 2\"]\n",
       {"t.toml:2: console_lines: \"VORN State = 2\" is line 2 of console, not after line 4 where the line before it "
        "is"}},
      {"console_lines = [\"VORN State\"]\n",
       {"t.toml:2: console_lines: \"VORN State\" is no line of console; nearest line 2 of console: \"VORN State = "
        "2\""}},
      {"console_lines = [\"VORN State = 3\"]\n",
       {"t.toml:2: console_lines: \"VORN State = 3\" is no line of console; nearest line 2 of console: \"VORN State = "
        "2\""}},
  });
}

TEST(CheckForms, RegularExpressionsMatchSomeLine) {
  RunCases({
      {"console_matches = 'VORN State = [0-9]$'\n", {}},
      {"console_matches = ['^VORN State = 5$', 'Entry[A-Za-z]*\\s+called']\n", {}},
      {"console_matches = 'State = [6-9]'\n",
       {"t.toml:2: console_matches: \"State = [6-9]\" matches no line of console"}},
      {"console_matches = '^State'\n", {"t.toml:2: console_matches: \"^State\" matches no line of console"}},
  });
  // A pattern that backtracking takes 2^60 steps over answers at once.
  json Report = kReport;
  Report["console"] = std::string(60, 'a') + "b\r\n";
  EXPECT_EQ(Check("console_matches = '^(a+)+$'\n", Report),
            Lines{"t.toml:2: console_matches: \"^(a+)+$\" matches no line of console"});
}

TEST(CheckForms, TheOrderOfMessagesAndRecords) {
  RunCases({
      {"exchange_sequence = [\"type\", \"clock\"]\n", {}},
      {"exchange_sequence = [\"type EFI_SUCCESS\", \"pre-did-reset EFI_TIMEOUT\"]\n", {}},
      {"records_sequence = [\"reset\", \"state\"]\n", {}},
      {"exchange_sequence = [\"clock\", \"type\"]\n",
       {"t.toml:2: exchange_sequence: \"type\" is exchange[0], not after exchange[2] \"clock EFI_SUCCESS\"; exchange: "
        "[\"type EFI_SUCCESS\",\"pre-did-reset EFI_TIMEOUT\",\"clock EFI_SUCCESS\"]"}},
      {"exchange_sequence = [\"pre-did\"]\n",
       {"t.toml:2: exchange_sequence: \"pre-did\" is not in exchange: "
        "[\"type EFI_SUCCESS\",\"pre-did-reset EFI_TIMEOUT\",\"clock EFI_SUCCESS\"]"}},
      {"records_sequence = [\"state\", \"state\"]\n",
       {"t.toml:2: records_sequence: \"state\" is records[1], not after records[1] \"state\"; records: "
        "[\"reset\",\"state\"]"}},
  });
}

TEST(CheckForms, AMissingTextNamesTheNearestLineOrTheLineEndings) {
  RunCases({
      {"console_contains = \"VORN State = 2\\n\"\n",
       {"t.toml:2: console_contains: \"VORN State = 2\\n\" not found in console; only the line endings differ: "
        "console ends lines in CR LF (\\r\\n), the expected text in LF (\\n)"}},
      {"debug_ppi_contains = \"one\\r\\n\"\n",
       {"t.toml:2: debug_ppi_contains: \"one\\r\\n\" not found in debug_ppi; only the line endings differ: "
        "the expected text ends lines in CR LF, debug_ppi in LF"}},
      {"console_contains = \"Wait for VORN state reaches VORN State = 6\"\n",
       {"t.toml:2: console_contains: \"Wait for VORN state reaches VORN State = 6\" not found in console; nearest line "
        "3 "
        "of console: \"Wait for VORN state reaches VORN State = 5\""}},
      {"console_sequence = [\"VORN State = 5\", \"Wait for VORN\\nstate\"]\n",
       {"t.toml:2: console_sequence: \"Wait for VORN\\nstate\" not found in console; nearest line 3 of console: "
        "\"Wait for VORN state reaches VORN State = 5\""}},
      {"console2_contains = \"x\"\n", {"t.toml:2: console2_contains: the report holds no console2"}},
  });
  // A whole text: where it first differs, or that only its line endings do.
  json Report = kReport;
  Report["console"] = "a\r\nb\r\n";
  EXPECT_EQ(Check("console = \"a\\nb\\n\"\n", Report),
            Lines{"t.toml:2: console: only the line endings differ: console ends lines in CR LF (\\r\\n), the expected "
                  "text in LF (\\n)"});
  EXPECT_EQ(
      Check("console = \"a\\r\\nc\\r\\nd\\r\\n\"\n", Report),
      Lines{"t.toml:2: console: first difference at line 2: expected \"c\", got \"b\" (3 lines expected, 2 got)"});
  EXPECT_EQ(Check("console = \"a\\r\\n\"\n", Report), Lines{"t.toml:2: console: first difference at line 2: expected "
                                                            "no more lines, got \"b\" (1 lines expected, 2 got)"});
  Report["console"] = "";
  EXPECT_EQ(Check("console_lines = [\"a\"]\n", Report),
            Lines{"t.toml:2: console_lines: \"a\" is no line of console; console is empty"});
}

TEST(CheckForms, RefusedWhenTheScenarioLoads) {
  const std::vector<std::pair<const char *, const char *>> Cases = {
      {"elapsed_ms = { min = 250.0, max = 200.0 }\n", "t.toml:2: expect.elapsed_ms: min lies above max"},
      {"elapsed_ms = { approx = 227.0 }\n", "t.toml:2: expect.elapsed_ms: approx needs a tolerance"},
      {"elapsed_ms = { tolerance = 1.0 }\n", "t.toml:2: expect.elapsed_ms: tolerance needs approx"},
      {"elapsed_ms = { approx = 227.0, tolerance = -1.0 }\n",
       "t.toml:2: expect.elapsed_ms: the tolerance is below zero"},
      {"elapsed_ms = { min = 1.0, approx = 2.0, tolerance = 1.0 }\n",
       "t.toml:2: expect.elapsed_ms: either min and max or approx and tolerance, not both"},
      {"elapsed_ms = { min = \"1\" }\n", "t.toml:2: expect.elapsed_ms.min: expected a number, found a string"},
      {"elapsed_ms = { min = nan }\n", "t.toml:2: expect.elapsed_ms.min: expected a finite number"},
      {"elapsed_ms = { mn = 1.0, max = 2.0 }\n",
       "t.toml:2: expect.elapsed_ms.mn: unknown key in a bounds table; it takes min, max, approx, tolerance; did you "
       "mean min?"},
      {"elapsed_ms = { partial = true }\n", "t.toml:2: expect.elapsed_ms: the report never holds a table here"},
      {"status = { min = 1 }\n", "t.toml:2: expect.status: the report never holds a number here"},
      {"info_hob = { min = 1 }\n", "t.toml:2: expect.info_hob: the report never holds a number here"},
      {"info_hob = { partial = 1, flow = 0 }\n",
       "t.toml:2: expect.info_hob.partial: expected a boolean, found an integer"},
      {"\ntime = { partial = true, wait_ms = { max = \"x\" } }\n",
       "t.toml:3: expect.time.wait_ms.max: expected a number, found a string"},
      {"console_matches = '(unclosed'\n",
       "t.toml:2: expect.console_matches: not a regular expression: \"(unclosed\": Mismatched '(' and ')' in regular "
       "expression"},
      {"console_matches = '(a)\\1'\n",
       "t.toml:2: expect.console_matches: not a regular expression: \"(a)\\\\1\": Unexpected back-reference in "
       "polynomial mode."},
      {"console_lines = [\"a\\nb\"]\n",
       "t.toml:2: expect.console_lines: a line holds no line break but at its end: \"a\\nb\""},
      {"console_lines = \"a\"\n", "t.toml:2: expect.console_lines: the report never holds a string here"},
      {"exchange_sequence = [1]\n", "t.toml:2: expect.exchange_sequence: expected strings"},
      {"messages_sequence = [\"type\"]\n", "t.toml:2: expect.messages_sequence: unknown key"},
  };
  for (const auto &[Toml, Message] : Cases) EXPECT_EQ(Refused(Toml), Message) << Toml;
}

TEST(CheckForms, EveryFormIsWrittenBackAsTomlThatLoadsTheSame) {
  const LoadedScenario L = LoadScenarioText(R"([expect]
elapsed_ms = { min = 200, max = 250.5 }
time = { partial = true, wait_ms = { approx = 95.3, tolerance = 0.1 } }
info_hob = { partial = true, flow = 1 }
messages = [{ partial = true, kind = "type" }]
console_lines = ["a\r\n", "b"]
console_matches = ['^x\s+$']
exchange_sequence = ["type", "clock EFI_SUCCESS"]
records_sequence = ["reset"]
)",
                                            "t.toml");
  const std::string Toml = ScenarioToToml(L);
  EXPECT_NE(Toml.find("\ntime = { partial = true, wait_ms = { approx = 95.3, tolerance = 0.1 } }\n"), std::string::npos)
      << "the shortest decimal that reads back the same";
  const LoadedScenario Again = LoadScenarioText(Toml, "dumped.toml");
  ASSERT_EQ(Again.Expect.size(), L.Expect.size());
  for (size_t Index = 0; Index < L.Expect.size(); Index++) {
    EXPECT_EQ(Again.Expect[Index].Key, L.Expect[Index].Key);
    EXPECT_EQ(Again.Expect[Index].Value, L.Expect[Index].Value) << L.Expect[Index].Key;
    EXPECT_EQ(Again.Expect[Index].Kind, L.Expect[Index].Kind) << L.Expect[Index].Key;
  }
}

// --- the command, on real runs ------------------------------------------------------

namespace {

struct Checked {
  int Status;
  std::string Out, Err;
};

Checked RunCheck(const CheckOptions &Options) {
  std::ostringstream Out, Err;
  const int Status = CheckScenarios(Options, Out, Err);
  return {Status, Out.str(), Err.str()};
}

/// A passing, a failing, an empty and a broken scenario file.
struct Files {
  TempDir Dir;
  std::string Good = Dir.File("good.toml", "[expect]\nexchange_sequence = [\"type\", \"clock\"]\n").string();
  std::string Bad =
      Dir.File("bad.toml", "[expect]\ncpu_and_revision = { partial = true, stepping = 5 }\nrecords = [\"state\"]\n")
          .string();
  std::string None = Dir.File("none.toml", "description = \"nothing expected\"\n").string();
  std::string Broken = Dir.File("broken.toml", "[vorn]\nfs3 = 1\n").string();
};

}  // namespace

TEST(CheckCommandOptions, NoExpectationsIsNotAMatchAndABrokenFileDoesNotStopTheOthers) {
  const Files F;
  const Checked C = RunCheck({.Scenarios = {F.Good, F.Broken, F.Bad, F.None}});
  EXPECT_EQ(C.Status, kExitBadInput) << "an error outweighs a mismatch";
  const size_t Width = F.Broken.size() + 2;
  EXPECT_EQ(
      C.Out,
      Padded("scenario", Width) + "outcome    status                  virtual ms  result\n" + Padded("good", Width) +
          "returned   EFI_SUCCESS                 77.980  ok\n" + Padded(F.Broken, Width) +
          "-          -                                -  ERROR\n"
          "    " +
          F.Broken + ":2: vorn.fs3: unknown key; did you mean fs1?\n" + Padded("bad", Width) +
          "returned   EFI_SUCCESS                 77.980  MISMATCH\n"
          "    " +
          F.Bad +
          ":2: cpu_and_revision.stepping: expected 5, got 4\n"
          "    " +
          F.Bad + ":3: records: expected 1 entry, got 0; first difference at [0]: expected \"state\", got nothing\n" +
          Padded("none", Width) +
          "returned   EFI_SUCCESS                 77.980  no expectations\n"
          "4 scenarios: 1 match, 1 mismatch, 1 no expectations, 1 error (233.941 ms of virtual time)\n");
  EXPECT_EQ(C.Err, "quarn-emu: " + F.Broken + ":2: vorn.fs3: unknown key; did you mean fs1?\n");

  // Nothing expected and nothing wrong: 0, yet not counted as a match.
  const Checked Alone = RunCheck({.Scenarios = {F.None}});
  EXPECT_EQ(Alone.Status, kExitOk);
  EXPECT_NE(Alone.Out.find("\n1 scenario: 0 match, 0 mismatch, 1 no expectations, 0 errors"), std::string::npos)
      << Alone.Out;
  // --strict: a file that asks nothing fails (1), so a CI job cannot pass on it.
  const Checked Strict = RunCheck({.Scenarios = {F.None, F.Good}, .Strict = true});
  EXPECT_EQ(Strict.Status, kExitMismatch);
  EXPECT_NE(Strict.Out.find("\n" + Padded("none", 10) +
                            "returned   EFI_SUCCESS                 77.980  NO EXPECTATIONS "
                            "(--strict)\n"),
            std::string::npos)
      << Strict.Out;
  EXPECT_EQ(RunCheck({.Scenarios = {F.Good}, .Strict = true}).Status, kExitOk);
  // A stopped run fails even without [expect]: nobody asked for the hang.
  const TempDir Dir;
  const Checked Hang = RunCheck({.Scenarios = {Dir.File("hang.toml", "[run]\ntime_limit_ms = 1\n").string()}});
  EXPECT_EQ(Hang.Status, kExitMismatch);
  EXPECT_NE(Hang.Out.find(" MISMATCH\n    " + Dir.Path("hang.toml").string() +
                          ": outcome: expected \"returned\" (no outcome expected), got \"hang\""),
            std::string::npos)
      << Hang.Out;
}

TEST(CheckCommandOptions, SelectStopAndTheSameBytesEveryRun) {
  // -k: a substring, or a glob when it holds * ? [.
  Checked C = RunCheck({.Select = "not-quarn"});
  EXPECT_EQ(C.Status, kExitOk);
  EXPECT_NE(C.Out.find("\nnot-quarn-lumo "), std::string::npos);
  EXPECT_NE(C.Out.find("\n6 scenarios: 6 match,"), std::string::npos) << C.Out;
  C = RunCheck({.Select = "pre-did-*-timeout"});
  EXPECT_NE(C.Out.find("\n2 scenarios: 2 match,"), std::string::npos) << C.Out;
  EXPECT_NE(C.Out.find("\npre-did-counter-timeout "), std::string::npos);
  EXPECT_NE(C.Out.find("\npre-did-state-timeout "), std::string::npos);
  EXPECT_EQ(RunCheck({.Select = "pre-did-*"}).Out, RunCheck({.Select = "pre-did-*"}).Out)
      << "nothing in the table depends on the host's speed or clock";

  C = RunCheck({.Select = "defualt"});
  EXPECT_EQ(C.Status, kExitBadInput);
  EXPECT_EQ(C.Err,
            "quarn-emu: -k defualt: no built-in scenario matches; did you mean default? (quarn-emu list shows them)\n");
  EXPECT_EQ(C.Out, "");
  // Any case; and among the scenarios named, a file by its scenario's name.
  EXPECT_EQ(RunCheck({.Select = "NOT-Quarn"}).Out, RunCheck({.Select = "not-quarn"}).Out);
  const Files Named;
  C = RunCheck({.Scenarios = {"default", Named.Good, Named.Broken}, .Select = "GOO"});
  EXPECT_EQ(C.Status, kExitOk);
  EXPECT_EQ(C.Out, Padded("scenario", 10) + "outcome    status                  virtual ms  result\n" +
                       Padded("good", 10) +
                       "returned   EFI_SUCCESS                 77.980  ok\n1 scenario: 1 match, 0 mismatch, 0 no "
                       "expectations, 0 errors (77.980 ms of virtual time)\n");
  EXPECT_EQ(C.Err, "") << "the broken file, left out by -k, says nothing";
  C = RunCheck({.Scenarios = {"default", Named.Broken}, .Select = "broken"});
  EXPECT_EQ(C.Status, kExitBadInput) << "a file that cannot be loaded is selected by its file name";
  C = RunCheck({.Scenarios = {"default"}, .Select = "zzz"});
  EXPECT_EQ(C.Status, kExitBadInput);
  EXPECT_EQ(C.Err, "quarn-emu: -k zzz: none of the scenarios named matches\n");

  // -x: the first failure ends the run; the rest are counted as not run.
  const Files F;
  C = RunCheck({.Scenarios = {F.Good, F.Bad, F.Broken, F.None}, .StopAtFirstFailure = true});
  EXPECT_EQ(C.Status, kExitMismatch);
  EXPECT_NE(C.Out.find("4 scenarios: 1 match, 1 mismatch, 0 no expectations, 0 errors, 2 not run (-x: stopped at the "
                       "first failure) (155.961 ms of virtual time)\n"),
            std::string::npos)
      << C.Out;
  EXPECT_EQ(C.Err, "") << "the broken file was never read";
  // ... and JUnit lists them as skipped, so the CI server counts every scenario selected.
  const std::string Xml = F.Dir.Path("stopped.xml").string();
  RunCheck({.Scenarios = {F.Good, F.Bad, F.Broken, F.None}, .StopAtFirstFailure = true, .JunitFile = Xml});
  std::ifstream In(Xml, std::ios::binary);
  std::stringstream Junit;
  Junit << In.rdbuf();
  EXPECT_NE(Junit.str().find("<testsuite name=\"quarn-emu check\" tests=\"4\" failures=\"1\" errors=\"0\" "
                             "skipped=\"2\" "),
            std::string::npos)
      << Junit.str();
  EXPECT_NE(Junit.str().find("    <testcase name=\"broken\" classname=\"quarn-emu.check\" file=\"" + F.Broken +
                             "\">\n      <skipped message=\"not run: -x stopped at the first failure\"/>\n    "
                             "</testcase>\n    <testcase name=\"none\" "),
            std::string::npos)
      << Junit.str();
}

TEST(CheckCommandOptions, JsonResultsOnStandardOutput) {
  const Files F;
  const Checked C = RunCheck({.Scenarios = {F.Good, F.Bad, F.None, F.Broken}, .Json = true});
  EXPECT_EQ(C.Status, kExitBadInput);
  const json J = json::parse(C.Out);
  EXPECT_EQ(J["totals"], json::parse(R"({"scenarios": 4, "match": 1, "mismatch": 1, "no_expectations": 1, "error": 1,
                                         "not_run": 0})"));
  EXPECT_EQ(J["tool"], json::parse(R"({"name": "quarn-emu", "version": "unknown", "build": "unknown",
                                       "module": "unknown"})"))
      << "what made the results (main fills it in)";
  ASSERT_EQ(J["scenarios"].size(), 4u);
  EXPECT_EQ(J["scenarios"][0], json({{"name", "good"},
                                     {"source", F.Good},
                                     {"result", "match"},
                                     {"outcome", "returned"},
                                     {"status", "EFI_SUCCESS"},
                                     {"elapsed_ms", 77.980444},
                                     {"mismatches", json::array()}}));
  EXPECT_EQ(J["scenarios"][1]["result"], "mismatch");
  EXPECT_EQ(J["scenarios"][1]["mismatches"][0], F.Bad + ":2: cpu_and_revision.stepping: expected 5, got 4");
  EXPECT_EQ(J["scenarios"][2]["result"], "no expectations");
  EXPECT_EQ(J["scenarios"][3], json({{"name", F.Broken},
                                     {"source", F.Broken},
                                     {"result", "error"},
                                     {"outcome", nullptr},
                                     {"status", nullptr},
                                     {"elapsed_ms", nullptr},
                                     {"error", {F.Broken + ":2: vorn.fs3: unknown key; did you mean fs1?"}}}));
}

TEST(CheckCommandOptions, JunitOneCasePerScenarioWithEveryTextEscaped) {
  const Files F;
  const std::string Odd =
      F.Dir.File("odd.toml", "name = \"a<b>&\\\"c\\\"\"\n[expect]\nconsole_contains = \"<tag> & \\u0001\"\n").string();
  const std::string Xml = F.Dir.Path("out.xml").string();
  const Checked C = RunCheck({.Scenarios = {F.Good, F.Bad, F.None, F.Broken, Odd},
                              .Tool = {"v9-1-gabcdef0", "host (RelWithDebInfo)", "RELEASE"},
                              .JunitFile = Xml});
  EXPECT_EQ(C.Status, kExitBadInput);
  std::ifstream In(Xml, std::ios::binary);
  std::stringstream Text;
  Text << In.rdbuf();
  const std::string Junit = Text.str();
  EXPECT_EQ(Junit.rfind("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<testsuites name=\"quarn-emu check\" tests=\"5\" "
                        "failures=\"2\" errors=\"1\" skipped=\"1\" time=\"0.311922\">\n",
                        0),
            0u)
      << Junit;
  // What made the file: the tool's version and build, the module's flavour.
  EXPECT_NE(Junit.find("\" time=\"0.311922\">\n    <properties>\n"
                       "      <property name=\"quarn-emu.version\" value=\"v9-1-gabcdef0\"/>\n"
                       "      <property name=\"quarn-emu.build\" value=\"host (RelWithDebInfo)\"/>\n"
                       "      <property name=\"quarn-emu.module\" value=\"RELEASE\"/>\n    </properties>\n"
                       "    <testcase name=\"good\""),
            std::string::npos)
      << Junit;
  EXPECT_NE(
      Junit.find("<testcase name=\"good\" classname=\"quarn-emu.check\" file=\"" + F.Good + "\" time=\"0.077980\"/>\n"),
      std::string::npos);
  EXPECT_NE(Junit.find("<failure message=\"2 mismatches\" type=\"mismatch\">" + F.Bad +
                       ":2: cpu_and_revision.stepping: expected 5, got 4\n"),
            std::string::npos)
      << Junit;
  EXPECT_NE(Junit.find("<skipped message=\"no expectations\"/>"), std::string::npos);
  EXPECT_NE(
      Junit.find("<error message=\"" + F.Broken + ":2: vorn.fs3: unknown key; did you mean fs1?\" type=\"scenario\">"),
      std::string::npos);
  EXPECT_NE(Junit.find("<testcase name=\"a&lt;b&gt;&amp;&quot;c&quot;\""), std::string::npos) << Junit;
  EXPECT_NE(Junit.find("console_contains: &quot;&lt;tag&gt; &amp; \\u0001&quot; not found"), std::string::npos)
      << Junit;

  // "-": standard output, in place of the table; not beside --json.
  const Checked ToOut = RunCheck({.Scenarios = {F.Good}, .JunitFile = "-"});
  EXPECT_EQ(ToOut.Status, kExitOk);
  EXPECT_EQ(ToOut.Out.rfind("<?xml ", 0), 0u);
  EXPECT_EQ(ToOut.Out.find("scenario "), std::string::npos);
  EXPECT_EQ(RunCheck({.Scenarios = {F.Good}, .Json = true, .JunitFile = "-"}).Status, kExitBadInput);
  EXPECT_EQ(RunCheck({.Scenarios = {F.Good}, .JunitFile = "/nonexistent-directory/out.xml"}).Err,
            "quarn-emu: /nonexistent-directory/out.xml: cannot be written\n");
}
