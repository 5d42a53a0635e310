// The trace and the fault sweep as a person reads them: filters with the exact entries
// they leave on the default scenario, the console where it left the UART, the [fault]
// table each fault point names, and an injected fault named wherever the run is shown.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "Emulator/Emulator.h"
#include "Tools/TempDir.h"
#include "Tools/quarn-emu/Commands.h"
#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Report/Sequence.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"
#include "Tools/quarn-emu/Trace/Trace.h"

using namespace quarn::emu;
using namespace quarn::emu::cli;

namespace {

struct Ran {
  int Status = 0;
  std::string Out, Err;
};

Ran RunTool(const RunOptions &Options) {
  std::ostringstream Out, Err;
  Ran R;
  R.Status = RunOne(Options, Out, Err);
  R.Out = Out.str();
  R.Err = Err.str();
  return R;
}

/// The lines of the text trace: its two header lines, then one a row.
std::vector<std::string> TraceLines(const std::string &Text) {
  std::vector<std::string> Lines;
  const size_t Start = Text.find("---- trace: ");
  if (Start == std::string::npos) return Lines;
  std::istringstream In(Text.substr(Start));
  for (std::string Line; std::getline(In, Line) && (Lines.empty() || Line.rfind("---- ", 0) != 0);) {
    Lines.push_back(Line);
  }
  return Lines;
}

/// The kind column of a trace row.
std::string KindOf(const std::string &Row) {
  std::istringstream In(Row);
  std::string Time, Ms, Kind;
  In >> Time >> Ms >> Kind;
  return Kind;
}

/// The time column of a trace row, in nanoseconds.
uint64_t TimeNsOf(const std::string &Row) { return static_cast<uint64_t>(std::stod(Row) * 1e6 + 0.5); }

LoadedScenario Default() { return LoadBuiltinScenario(*FindBuiltinScenario("default")); }

constexpr const char *kColumns = "          time     kind         address     value       device";

}  // namespace

// --- filters --------------------------------------------------------------------------

TEST(TraceFilters, EachFilterLeavesExactlyItsEntriesOfTheDefaultScenario) {
  struct Case {
    std::vector<std::string> Kinds;
    std::string Address, Time;
    const char *Header;
    std::vector<std::string> KindsShown;  // every row's kind is one of these
  };
  const std::vector<Case> Cases = {
      {{"call"}, "", "", "---- trace: 109 of 4905 entries and 0 console lines (kind call)", {"call"}},
      {{"io"},
       "",
       "",
       "---- trace: 4310 of 4905 entries and 0 console lines (kind io)",
       {"io-read8", "io-write8", "io-read32", "io-write32"}},
      {{"mmio"},
       "",
       "",
       "---- trace: 158 of 4905 entries and 0 console lines (kind mmio)",
       {"mmio-read8", "mmio-read32", "mmio-write32"}},
      {{"pci"},
       "",
       "",
       "---- trace: 153 of 4905 entries and 0 console lines (kind pci)",
       {"io-read32", "io-write32", "mmio-read8", "mmio-read32", "mmio-write32"}},
      {{"mm"},
       "",
       "",
       "---- trace: 48 of 4905 entries and 0 console lines (kind mm)",
       {"read-mm0", "read-mm7", "write-mm0", "write-mm7"}},
      {{"pause"}, "", "", "---- trace: 214 of 4905 entries and 0 console lines (kind pause)", {"pause-poll"}},
      {{"call,mm"},
       "",
       "",
       "---- trace: 157 of 4905 entries and 0 console lines (kind call,mm)",
       {"call", "read-mm0", "read-mm7", "write-mm0", "write-mm7"}},
      {{"call", "mm", "call"},
       "",
       "",
       "---- trace: 157 of 4905 entries and 0 console lines (kind call,mm)",
       {"call", "read-mm0", "read-mm7", "write-mm0", "write-mm7"}},
      {{},
       "0x3F8-0x3FF",
       "",
       "---- trace: 2102 of 4905 entries and 338 console lines (address 0x3F8-0x3FF)",
       {"io-read8", "io-write8", "console"}},
      {{},
       "0x3F8+8",
       "",
       "---- trace: 2102 of 4905 entries and 338 console lines (address 0x3F8-0x3FF)",
       {"io-read8", "io-write8", "console"}},
      {{},
       "0X3F8+0X8",
       "",
       "---- trace: 2102 of 4905 entries and 338 console lines (address 0x3F8-0x3FF)",
       {"io-read8", "io-write8", "console"}},
      {{},
       "1016+8",
       "",
       "---- trace: 2102 of 4905 entries and 338 console lines (address 0x3F8-0x3FF)",
       {"io-read8", "io-write8", "console"}},
      {{}, "", "0-1", "---- trace: 141 of 4905 entries and 20 console lines (time 0-1 ms)", {}},
      {{"io"},
       "0x70-0x71",
       "0-0.07",
       "---- trace: 4 of 4905 entries and 0 console lines (kind io; address 0x70-0x71; time 0-0.07 ms)",
       {"io-read8", "io-write8"}},
      {{"console"}, "", "", "---- trace: 0 of 4905 entries and 33 console lines (kind console)", {"console"}},
  };
  for (const Case &C : Cases) {
    RunOptions Options;
    Options.TraceKinds = C.Kinds;
    Options.TraceAddress = C.Address;
    Options.TraceTime = C.Time;
    const Ran R = RunTool(Options);
    const std::string Label = C.Header;
    ASSERT_EQ(R.Status, kExitOk) << Label << R.Err;
    const std::vector<std::string> Lines = TraceLines(R.Out);
    ASSERT_GE(Lines.size(), 2u) << Label;
    EXPECT_EQ(Lines[0], C.Header);
    EXPECT_EQ(Lines[1], kColumns);
    size_t Entries = 0, Console = 0;
    ASSERT_EQ(std::sscanf(Lines[0].c_str(), "---- trace: %zu of 4905 entries and %zu", &Entries, &Console), 2);
    EXPECT_EQ(Lines.size() - 2, Entries + Console) << Label << ": one row per entry and console line";
    for (size_t Index = 2; Index < Lines.size(); Index++) {
      if (!C.KindsShown.empty()) {
        EXPECT_NE(std::find(C.KindsShown.begin(), C.KindsShown.end(), KindOf(Lines[Index])), C.KindsShown.end())
            << Label << ": " << Lines[Index];
      }
      if (!C.Time.empty()) EXPECT_LE(TimeNsOf(Lines[Index]), 1000000u) << Label << ": " << Lines[Index];
    }
  }
}

TEST(TraceFilters, TheReportCarriesTheFilteredTraceAndRunsAgreeByteForByte) {
  RunOptions Options;
  Options.TraceKinds = {"call"};
  Options.TraceTime = "0-50";
  Options.Json = true;
  const Ran First = RunTool(Options);
  ASSERT_EQ(First.Status, kExitOk) << First.Err;
  const nlohmann::json J = nlohmann::json::parse(First.Out);
  ASSERT_EQ(J["trace"].size(), 48u);
  for (const nlohmann::json &Entry : J["trace"]) {
    EXPECT_EQ(Entry["kind"], "call");
    EXPECT_LE(Entry["time_ms"].get<double>(), 50.0);
  }
  EXPECT_EQ(RunTool(Options).Out, First.Out);

  Options.Json = false;
  const Ran Text = RunTool(Options);
  EXPECT_EQ(TraceLines(Text.Out)[0], "---- trace: 48 of 4905 entries and 0 console lines (kind call; time 0-50 ms)");
  EXPECT_EQ(RunTool(Options).Out, Text.Out);
}

TEST(TraceFilters, BadArgumentsAreRefusedBeforeAnythingRuns) {
  struct Case {
    std::vector<std::string> Kinds;
    std::string Address, Time;
    const char *Message;
  };
  const std::vector<Case> Cases = {
      {{"ioo"},
       "",
       "",
       "quarn-emu: --trace-kind: \"ioo\" is no trace kind; did you mean io? (kinds: io, mmio, pci, mm, "},
      {{"call,"}, "", "", "quarn-emu: --trace-kind: \"\" is no trace kind (kinds: "},
      {{}, "0x3F8", "", "quarn-emu: --trace-address: \"0x3F8\" is no address range (LO-HI or LO+LEN"},
      {{}, "0x3FF-0x3F8", "", "quarn-emu: --trace-address: \"0x3FF-0x3F8\" ends before it starts"},
      {{}, "0x3F8+0", "", "quarn-emu: --trace-address: \"0x3F8+0\" is an empty range"},
      {{}, "0x-8", "", "quarn-emu: --trace-address: \"0x-8\" is no address range"},
      {{}, "0xFFFFFFFFFFFFFFFF+2", "", "quarn-emu: --trace-address: \"0xFFFFFFFFFFFFFFFF+2\" runs past"},
      {{}, "18446744073709551616-1", "", "is no address range"},
      {{}, "", "5-2", "quarn-emu: --trace-time: \"5-2\" ends before it starts"},
      {{}, "", "1.2.3-4", "quarn-emu: --trace-time: \"1.2.3-4\" is no time window (FROM-TO in virtual milliseconds"},
      {{}, "", "1.-4", "is no time window"},
      {{}, "", "0.0000001-4", "is no time window"},
      {{}, "", "-4", "is no time window"},
      {{}, "", "99999999999999999999-1", "is no time window"},
  };
  for (const Case &C : Cases) {
    RunOptions Options;
    Options.Scenario = "no-such-scenario";  // never loaded: the filter is refused first
    Options.TraceKinds = C.Kinds;
    Options.TraceAddress = C.Address;
    Options.TraceTime = C.Time;
    const Ran R = RunTool(Options);
    EXPECT_EQ(R.Status, kExitBadInput) << C.Message;
    EXPECT_EQ(R.Out, "") << C.Message;
    EXPECT_NE(R.Err.find(C.Message), std::string::npos) << R.Err;
    EXPECT_EQ(R.Err.find("no-such-scenario"), std::string::npos) << R.Err;
  }
}

TEST(TraceFilters, TheTraceFileTakesTheTraceAndStandardOutputTheRest) {
  const TempDir Dir;
  RunOptions Options;
  Options.TraceKinds = {"call", "console"};
  const Ran Plain = RunTool(Options);
  Options.TraceFile = Dir.Path("trace.txt").string();
  const Ran ToFile = RunTool(Options);
  ASSERT_EQ(ToFile.Status, kExitOk) << ToFile.Err;
  EXPECT_EQ(ToFile.Out.find("---- trace"), std::string::npos);
  std::ifstream In(Options.TraceFile, std::ios::binary);
  const std::string Written((std::istreambuf_iterator<char>(In)), std::istreambuf_iterator<char>());
  const size_t Start = Plain.Out.find("---- trace: ");
  const size_t End = Plain.Out.find("---- default");
  ASSERT_NE(Start, std::string::npos);
  EXPECT_EQ(Written, Plain.Out.substr(Start, End - Start));
  EXPECT_EQ(ToFile.Out, Plain.Out.substr(0, Start) + Plain.Out.substr(End)) << "console and summary as ever";

  // A file that cannot be written is refused before the run; one that fills up is exit 2.
  Options.TraceFile = Dir.Path("no/such/dir/trace.txt").string();
  Ran Refused = RunTool(Options);
  EXPECT_EQ(Refused.Status, kExitBadInput);
  EXPECT_EQ(Refused.Out, "");
  EXPECT_EQ(Refused.Err, "quarn-emu: " + Options.TraceFile + ": cannot be written\n");
  Options.TraceFile = "/dev/full";
  Refused = RunTool(Options);
  EXPECT_EQ(Refused.Status, kExitBadInput);
  EXPECT_EQ(Refused.Err, "quarn-emu: /dev/full: write failed\n");
}

// --- the console in the trace -----------------------------------------------------------

TEST(TraceConsole, LinesOfTheConsoleAtTheTimeTheirFirstByteLeftTheUart) {
  RunOptions Options;
  Options.TraceKinds = {"console"};
  const Ran R = RunTool(Options);
  const std::vector<std::string> Lines = TraceLines(R.Out);
  ASSERT_EQ(Lines.size(), 2u + 33u);
  EXPECT_EQ(Lines[2],
            "      0.166216 ms  console      0x000003F8  0x00000032  "
            "\"[QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\\r\\n\"");
  EXPECT_EQ(Lines.back(), "    236.615794 ms  console      0x000003F8  0x00000014  \"Sync MM7: 7C040250\\r\\n\"");

  // The first byte was written to THR at 0.079400 ms and left one byte time (10 bits at
  // 115200 baud, 86806 ns) later: the line is where the byte left, not where it was written.
  Options.TraceKinds = {"console", "io"};
  Options.TraceAddress = "0x3F8+1";
  Options.TraceTime = "0.0794-0.17";
  const std::vector<std::string> Around = TraceLines(RunTool(Options).Out);
  ASSERT_GE(Around.size(), 4u);
  EXPECT_EQ(Around[2], "      0.079410 ms  io-write8    0x000003F8  0x0000005B  UART 0x3F8 THR");
  const auto Console =
      std::find_if(Around.begin(), Around.end(), [](const std::string &Line) { return KindOf(Line) == "console"; });
  ASSERT_NE(Console, Around.end());
  EXPECT_EQ(*Console, "      0.166216 ms  console      0x000003F8  0x00000001  \"[\"");
  EXPECT_EQ(KindOf(*(Console - 1)), "io-write8") << "bytes written before it left come before it";
}

TEST(TraceConsole, BytesGatherUntilALineFeedOrAnEntryAndShowEscaped) {
  RunReport R;
  R.Console = std::string("ab\x01\xFF\"\\\r\ncd", 10);
  R.ConsoleLeftNs = {1000, 2000, 3000, 4000, 5000, 6000, 7000, 8000, 9000, 10000};
  R.Console2 = "Z";
  R.Console2LeftNs = {3500};
  R.Trace = {{8500, "call", 0, 0, "GetHobList"}};
  std::ostringstream Out;
  WriteTrace(Out, R);
  EXPECT_EQ(Out.str(), "---- trace: 1 entry and 4 console lines\n" + std::string(kColumns) +
                           "\n"
                           "      0.001000 ms  console      0x000003F8  0x00000003  \"ab\\x01\"\n"
                           "      0.003500 ms  console2     0x000002F8  0x00000001  \"Z\"\n"
                           "      0.004000 ms  console      0x000003F8  0x00000005  \"\\xFF\\\"\\\\\\r\\n\"\n"
                           "      0.008500 ms  call         0x00000000  0x00000000  GetHobList\n"
                           "      0.009000 ms  console      0x000003F8  0x00000002  \"cd\"\n");
}

// A board that moves its devices: the group pci is its configuration window, the console
// rows carry its UARTs' ports.
TEST(TraceFilters, ThePciGroupAndTheConsolePortsFollowTheBoard) {
  BoardLayout Moved;
  Moved.PcieBase = 0xC0000000;
  Moved.Uart2Base = 0x2E8;
  TraceFilter Pci;
  Pci.Kinds = {"pci"};
  EXPECT_TRUE(Pci.Shows("mmio-read32", 0xC00C0040, 0, Moved));
  EXPECT_FALSE(Pci.Shows("mmio-read32", 0x800C0040, 0, Moved)) << "no configuration space there on this board";
  EXPECT_TRUE(Pci.Shows("mmio-read32", 0x800C0040, 0, BoardLayout{}));

  TraceFilter Range;
  ASSERT_EQ(ParseTraceRange("0x2E8+8", Range), "");
  RunReport R;
  R.Layout = Moved;
  R.Console = "a";
  R.ConsoleLeftNs = {1000};
  R.Console2 = "Z";
  R.Console2LeftNs = {3500};
  std::ostringstream Out;
  WriteTrace(Out, R, Range);
  EXPECT_EQ(Out.str(), "---- trace: 0 of 0 entries and 1 console line (address 0x2E8-0x2EF)\n" + std::string(kColumns) +
                           "\n      0.003500 ms  console2     0x000002E8  0x00000001  \"Z\"\n");
}

// --- faults ------------------------------------------------------------------------------

TEST(FaultsList, EachPointNamesTheFaultTableThatFailsTheSameCall) {
  std::ostringstream Out, Err;
  ASSERT_EQ(SweepScenarioFaults({"default"}, 16, false, Out, Err, true), kExitOk) << Err.str();
  std::istringstream In(Out.str());
  std::string Header;
  std::getline(In, Header);
  EXPECT_EQ(Header.rfind("scenario  point  call ", 0), 0u) << Header;
  std::vector<std::string> Rows;
  for (std::string Line; std::getline(In, Line) && Line.rfind("default ", 0) == 0;) Rows.push_back(Line);
  ASSERT_EQ(Rows.size(), 5u) << Out.str();  // points 1, 17, 33, 49, 65 of 66
  EXPECT_EQ(Rows[0],
            "default       1  GetHobList #1           EFI_NOT_AVAILABLE_YET       0.065  returned   EFI_SUCCESS      "
            "        ok           [fault] call = \"GetHobList\", nth = 1");
  EXPECT_NE(Out.str().find("\n1 scenario, 67 fault points, 5 runs swept, 0 with an invariant broken\n"),
            std::string::npos);

  // Each table, added to the scenario, gives the very run the sweep's point gave.
  const LoadedScenario Loaded = Default();
  for (uint64_t Point : {1u, 17u, 33u, 49u, 65u}) {
    const std::string &Row = Rows[(Point - 1) / 16];
    const size_t Table = Row.find("[fault] call = \"");
    ASSERT_NE(Table, std::string::npos) << Row;
    char Call[32] = {};
    unsigned long long Nth = 0;
    ASSERT_EQ(std::sscanf(Row.c_str() + Table, "[fault] call = \"%31[A-Za-z]\", nth = %llu", Call, &Nth), 2) << Row;
    const LoadedScenario WithTable = LoadScenarioText(FindBuiltinScenario("default")->Text + "\n[fault]\ncall = \"" +
                                                          Call + "\"\nnth = " + std::to_string(Nth) + "\n",
                                                      "default-with-fault.toml");
    const RunReport Reproduced = RunScenario(WithTable, false);

    Emulator Swept{Loaded.Settings};
    PrepareEmulator(Swept, Loaded);
    Swept.GetBoard().Faults().FailCall("*", Point);
    const RunReport Original = Swept.Run();
    ASSERT_TRUE(Original.Fault.has_value()) << Point;
    ASSERT_TRUE(Reproduced.Fault.has_value()) << Row;
    EXPECT_EQ(Reproduced.Fault->Call, Call);
    EXPECT_EQ(Reproduced.Fault->Point, Point) << "the same call of the run fails";
    EXPECT_EQ(ReportToJson(Reproduced, false).dump(), ReportToJson(Original, false).dump()) << Row;
  }
}

TEST(FaultsList, AScenarioThatFailsWithoutAFaultIsReportedAsSuchNotBlamedOnTheFaults) {
  const TempDir Dir;
  const std::string Hangs = Dir.File("hangs.toml", "[run]\ntime_limit_ms = 1\n").string();
  std::ostringstream Out, Err;
  EXPECT_EQ(SweepScenarioFaults({Hangs, "default"}, 64, false, Out, Err), kExitOk) << Out.str();
  const std::string Text = Out.str();
  EXPECT_NE(Text.find("\nhangs          8      1         0          0     1         -\n"
                      "    fails without a fault: the run hung: the total time limit of 1 ms of virtual time"),
            std::string::npos)
      << Text;
  EXPECT_NE(Text.find("\n2 scenarios, 75 fault points, 3 runs swept, 0 with an invariant broken, 1 failing without "
                      "a fault\n"),
            std::string::npos)
      << Text;
  EXPECT_NE(Err.str().find("hangs: 1 of 8 fault points swept, 0 with an invariant broken (fails without a fault: "
                           "the run hung: "),
            std::string::npos)
      << Err.str();

  Out.str("");
  EXPECT_EQ(SweepScenarioFaults({Hangs}, 64, false, Out, Err, true), kExitOk);
  EXPECT_NE(Out.str().find("\nhangs     fails without a fault: the run hung: "), std::string::npos) << Out.str();
  EXPECT_NE(
      Out.str().find("  hang       -                        not counted  [fault] call = \"GetHobList\", nth = 1\n"),
      std::string::npos)
      << Out.str();
}

TEST(InjectedFault, NamedInTheSummaryTheDiagramAndTheReport) {
  RunOptions Options;
  Options.Scenario = "vorn-status-fails-once";
  Ran R = RunTool(Options);
  EXPECT_NE(R.Out.find("\nfault          GetVornStatus #1 failed with EFI_DEVICE_ERROR at 5.860 ms\n"),
            std::string::npos)
      << R.Out;
  Options.Sequence = true;
  R = RunTool(Options);
  const std::string Call = "    Module->>Fw: GetVornStatus\n";
  EXPECT_EQ(R.Out.find("    Note over Module,Fw: injected fault: GetVornStatus call 1 fails with EFI_DEVICE_ERROR\n"),
            R.Out.find(Call) + Call.size())
      << "right after the call that failed:\n"
      << R.Out;
  Options.Sequence = false;
  Options.Json = true;
  EXPECT_EQ(nlohmann::json::parse(RunTool(Options).Out)["fault"],
            nlohmann::json::parse(
                R"({"call": "GetVornStatus", "nth": 1, "time_ms": 5.859866, "status": "EFI_DEVICE_ERROR"})"));

  // No fault: null, and no line; a fault asked for that never comes to pass says so.
  Options.Scenario = "default";
  EXPECT_TRUE(nlohmann::json::parse(RunTool(Options).Out)["fault"].is_null());
  Options.Json = false;
  EXPECT_EQ(RunTool(Options).Out.find("\nfault "), std::string::npos);
  const TempDir Dir;
  Options.Scenario = Dir.File("late.toml", "[fault]\ncall = \"StartupAllAPs\"\nnth = 3\n").string();
  EXPECT_NE(RunTool(Options).Out.find("\nfault          StartupAllAPs #3 never failed: the run made 1 such calls\n"),
            std::string::npos);
  Options.Scenario = Dir.File("later.toml", "[fault]\ncall = \"*\"\nnth = 100\n").string();
  EXPECT_NE(
      RunTool(Options).Out.find("\nfault          failable call #100 never failed: the run made 53 failable calls\n"),
      std::string::npos);
  Options.Scenario = Dir.File("any.toml", "[fault]\ncall = \"*\"\nnth = 2\n").string();
  EXPECT_NE(RunTool(Options).Out.find("\nfault          CreateHob #1 failed with EFI_OUT_OF_RESOURCES at 0.065 ms\n"),
            std::string::npos);
}

TEST(InjectedFault, TheTraceShowsTheFailedCallWithItsAnswer) {
  RunOptions Options;
  Options.Scenario = "vorn-status-fails-once";
  Options.TraceKinds = {"fault"};
  const std::vector<std::string> Lines = TraceLines(RunTool(Options).Out);
  ASSERT_EQ(Lines.size(), 3u);
  EXPECT_EQ(Lines[2],
            "      5.859866 ms  fault        0x00000000  0x80000007  GetVornStatus #1 made to fail with "
            "EFI_DEVICE_ERROR");
}

TEST(FaultsList, ABrokenInvariantIsMarkedWithWhatBroke) {
  // 240 ms is enough for the run without a fault, not for the longer roads some faults take.
  const TempDir Dir;
  const std::string Tight =
      Dir.File("tight.toml", FindBuiltinScenario("default")->Text + "\n[run]\ntime_limit_ms = 240\n").string();
  std::ostringstream Out, Err;
  EXPECT_EQ(SweepScenarioFaults({Tight}, 1, false, Out, Err, true), kExitMismatch);
  EXPECT_NE(Out.str().find("\ndefault       1  GetHobList #1           EFI_NOT_AVAILABLE_YET       0.065  hang       -"
                           "                        BROKEN       [fault] call = \"GetHobList\", nth = 1\n"
                           "    the run hung: the total time limit of 240 ms of virtual time ([run] time_limit_ms) ran "
                           "out; last access io-read8 0x03FD (UART 0x3F8 LSR)\n"),
            std::string::npos)
      << Out.str();
  EXPECT_NE(Out.str().find("\n1 scenario, 67 fault points, 67 runs swept, 14 with an invariant broken\n"),
            std::string::npos)
      << Out.str();
}
