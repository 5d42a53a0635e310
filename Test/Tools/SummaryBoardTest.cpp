// The board block of the summary and its facts in the report: the VORN at entry and exit
// and its register changes, scripted changes that never took effect, halt codes with
// their time, the error level and its source, the debug-PPI messages and the second
// UART. Each case runs a real scenario on the emulated board.
#include <gtest/gtest.h>

#include <sstream>

#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Report/Summary.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/BuiltinScenarios.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

using namespace quarn::emu;
using namespace quarn::emu::cli;
using nlohmann::json;

namespace {

struct Seen {
  RunReport Report;
  std::string Summary;
  json Json;
};

Seen RunText(const std::string &Toml) {
  Seen R;
  R.Report = RunScenario(LoadScenarioText(Toml, "t.toml"), false);
  std::ostringstream Out;
  WriteSummary(Out, R.Report, "");
  R.Summary = Out.str();
  R.Json = ReportToJson(R.Report, false);
  return R;
}

Seen RunBuiltin(const std::string &Name) {
  const BuiltinScenario *Found = FindBuiltinScenario(Name);
  if (Found == nullptr) throw std::runtime_error("no built-in scenario " + Name);
  return RunText(Found->Text);
}

/// The summary's lines from the one that starts with First up to the one that starts
/// with End (not included).
std::string Block(const std::string &Summary, const std::string &First, const std::string &End) {
  const size_t Start = Summary.find("\n" + First);
  if (Start == std::string::npos) return "(no line " + First + ")";
  const size_t Stop = Summary.find("\n" + End, Start + 1);
  return Summary.substr(Start + 1, Stop == std::string::npos ? std::string::npos : Stop - Start);
}

/// The one summary line that starts with Label.
std::string Line(const std::string &Summary, const std::string &Label) {
  const size_t Start = Summary.find("\n" + Label);
  if (Start == std::string::npos) return "(no line " + Label + ")";
  return Summary.substr(Start + 1, Summary.find('\n', Start + 1) - Start - 1);
}

}  // namespace

TEST(SummaryBoard, DefaultRunShowsThePreDidResetAsTheRegistersWent) {
  const Seen R = RunBuiltin("default");
  EXPECT_EQ(
      Block(R.Summary, "VORN at entry", "VORN type HOB"),
      "VORN at entry  state 2 (recovery), recovery cause 4, flow mode 0, reset counter 0, DWR flow off (0.000 ms)\n"
      "               VORNFS1 0x00000002  VORNFS2 0x00000400  fn1 0x00000000  fn4 0x00000000  fn6 0x00000000  "
      "DWRSTS 0x00000000\n"
      "VORN at exit   state 5 (normal), recovery cause 4, flow mode 0, reset counter 1, DWR flow off "
      "(227.163 ms, the entry point returned)\n"
      "               VORNFS1 0x00100005  VORNFS2 0x00000400  fn1 0x00000000  fn4 0x00000000  fn6 0x00000000  "
      "DWRSTS 0x00000000\n"
      "VORN changes\n"
      "    70.607 ms  VORNFS1    0x00000002 -> 0x00100000  firmware: pre-DID reset: ResetCounter steps, "
      "CurrentState 0 (the firmware restarts)\n"
      "   150.607 ms  VORNFS1    0x00100000 -> 0x00100005  firmware: pre-DID reset: CurrentState 5\n"
      "halt codes     none\n"
      "error level    0x80000042 (error, warn, info) from CMOS 0x7A..0x7D, cached in MM0 at 0.075 ms\n");
  EXPECT_EQ(Line(R.Summary, "debug PPI"), "debug PPI      36 messages, the console's text");
  EXPECT_EQ(Line(R.Summary, "console 2"), "console 2      the same as the first UART");
  EXPECT_EQ(R.Summary.find("(console empty)"), std::string::npos);

  const json &Board = R.Json["board"];
  EXPECT_EQ(Board["timeline"],
            json::parse(R"j([{"time_ms": 70.606956, "register": "VORNFS1", "previous": 2, "value": 1048576,
                             "source": "firmware",
                             "detail": "pre-DID reset: ResetCounter steps, CurrentState 0 (the firmware restarts)"},
                            {"time_ms": 150.606956, "register": "VORNFS1", "previous": 1048576, "value": 1048581,
                             "source": "firmware", "detail": "pre-DID reset: CurrentState 5"}])j"));
  EXPECT_EQ(Board["exit"],
            json::parse(R"j({"time_ms": 227.16294, "fs1": 1048581, "fs2": 1024, "fn1": 0, "fn4": 0, "fn6": 0,
                            "dwrsts": 0, "answers": true, "current_state": 5, "state_name": "normal",
                            "flow_mode": 0, "lumo_flow": false, "reset_counter": 1, "recovery_cause": 4,
                            "dwr_flow": false})j"));
  EXPECT_EQ(Board["entry"]["state_name"], "recovery");
  EXPECT_EQ(Board["never_applied"], json::array());
  EXPECT_EQ(Board["warnings"], json::array());
}

TEST(SummaryBoard, ScriptedChangesShowTheirEntryAndOneAfterTheEndIsWarnedAbout) {
  // The module waits for state 2 or 5; the scenario brings 5 at 30 ms (and a function 4
  // value the module never reads: it still shows, and at exit). The second change lies
  // far beyond the run.
  const Seen R = RunText(
      "[policy]\npre_did_reset = true\n[vorn]\nfs1 = 0x00000001\n"
      "[[vorn.at]]\nms = 30\nfs1 = 0x00000005\nfn4 = 0x0000ABCD\n"
      "[[vorn.at]]\nms = 5000\nfs2 = 0x00000400\n");
  EXPECT_EQ(Block(R.Summary, "VORN at exit", "halt codes"),
            "VORN at exit   state 5 (normal), recovery cause 0, flow mode 0, reset counter 0, DWR flow off "
            "(87.892 ms, the entry point returned)\n"
            "               VORNFS1 0x00000005  VORNFS2 0x00000000  fn1 0x00000000  fn4 0x0000ABCD  fn6 0x00000000  "
            "DWRSTS 0x00000000\n"
            "VORN changes\n"
            "    30.000 ms  VORNFS1    0x00000001 -> 0x00000005  vorn.at[0]: fs1 = 0x00000005, fn4 = 0x0000ABCD\n"
            "    30.000 ms  Fn4Status  0x00000000 -> 0x0000ABCD  vorn.at[0]: fs1 = 0x00000005, fn4 = 0x0000ABCD\n"
            "warning        vorn.at[1]: fs2 = 0x00000400 is due at 5000.000 ms, after the end of the run at "
            "98.656 ms: it never took effect\n");
  const json &Board = R.Json["board"];
  EXPECT_EQ(Board["timeline"][0]["source"], "vorn.at");
  EXPECT_EQ(Board["never_applied"],
            json::parse(R"j([{"time_ms": 5000.0, "source": "vorn.at", "detail": "vorn.at[1]: fs2 = 0x00000400"}])j"));
  EXPECT_EQ(Board["warnings"],
            (json{"vorn.at[1]: fs2 = 0x00000400 is due at 5000.000 ms, after the end of the run at 98.656 ms: it "
                  "never took effect"}));
  EXPECT_DOUBLE_EQ(Board["end_ms"].get<double>(), 98.656302);
}

TEST(SummaryBoard, ADeviceTheBoardMovesIsWarnedAboutFirst) {
  const Seen R = RunBuiltin("board-uart1-moved");
  EXPECT_EQ(Block(R.Summary, "returned", "VORN at entry"),
            "returned       EFI_SUCCESS (0x00000000) after 77.980 ms of virtual time\n"
            "warning        board: UART 1 at 0x3E8, but the module was built for 0x3F8 (PcdQuarnUart1Base)\n");
  EXPECT_EQ(R.Json["board"]["warnings"],
            (json{"board: UART 1 at 0x3E8, but the module was built for 0x3F8 (PcdQuarnUart1Base)"}));
  EXPECT_EQ(Line(R.Summary, "console  "), "console        (console empty)");

  // The board's warnings first, then the scripted change that never took effect.
  const Seen Both = RunText(
      "[board]\ncmos_level_index = 0x40\nhalt_code_port = 0xCA0\n"
      "[[vorn.at]]\nms = 5000\nfs2 = 0x00000400\n");
  EXPECT_EQ(Both.Json["board"]["warnings"],
            (json{"board: halt-code port at 0xCA0, but the module was built for 0xCB0 (PcdQuarnHaltCodePort)",
                  "board: debug error level at CMOS 0x40, but the module was built for CMOS 0x7A "
                  "(PcdQuarnDebugLevelCmosIndex)",
                  "vorn.at[0]: fs2 = 0x00000400 is due at 5000.000 ms, after the end of the run at 3.090 ms: it "
                  "never took effect"}));
}

TEST(SummaryBoard, ChangesTheFirmwareNeverReachedAreNotedButNotWarnedAbout) {
  // The reset counter steps 4 s after the request, long after the module gave up.
  const Seen R = RunText(
      "[policy]\npre_did_reset = true\n[vorn]\nfs1 = 0x00000002\nfs2 = 0x00000400\n"
      "[drux.pre_did_reset]\ncounter_after_ms = 900000\n");
  EXPECT_EQ(Line(R.Summary, "not reached"),
            "not reached    firmware: pre-DID reset: ResetCounter steps, CurrentState 0 (the firmware restarts) was "
            "due at 900050.607 ms");
  EXPECT_EQ(R.Summary.find("\nwarning"), std::string::npos);
  EXPECT_EQ(R.Json["board"]["warnings"], json::array());
  EXPECT_EQ(R.Json["board"]["never_applied"][0]["source"], "firmware");
}

TEST(SummaryBoard, EntryStateDecodesEachFieldTheModuleLooksAt) {
  const struct {
    const char *Scenario;
    const char *Entry;
  } kRows[] = {
      {"not-quarn-lumo",
       "VORN at entry  state 5 (normal), recovery cause 0, flow mode 7 (Lumo), reset counter 0, "
       "DWR flow off (0.000 ms)"},
      {"not-quarn-dwr",
       "VORN at entry  state 5 (normal), recovery cause 0, flow mode 0, reset counter 0, "
       "DWR flow on (0.000 ms)"},
      {"not-quarn-disabled",
       "VORN at entry  state 4 (disabled), recovery cause 0, flow mode 0, reset counter 0, "
       "DWR flow off (0.000 ms)"},
      {"not-quarn-absent",
       "VORN at entry  VORNFS1 reads all ones: the VORN does not answer (a disabled interface), "
       "DWR flow off (0.000 ms)"},
      // What the module reads where it was built to look: nothing, when the board keeps
      // its window or DWRSTS elsewhere.
      {"[board]\npcie_base = 0xC0000000\n",
       "VORN at entry  VORNFS1 reads all ones: the VORN does not answer (a disabled interface), DWR flow off (0.000 "
       "ms)"},
      {"[board]\ndwrsts_address = 0xFE001930\n",
       "VORN at entry  state 5 (normal), recovery cause 0, flow mode 0, reset counter 0, DWR flow on (0.000 ms)"},
  };
  for (const auto &Row : kRows) {
    const Seen R = FindBuiltinScenario(Row.Scenario) != nullptr ? RunBuiltin(Row.Scenario) : RunText(Row.Scenario);
    EXPECT_EQ(Line(R.Summary, "VORN at entry"), Row.Entry) << Row.Scenario;
  }
  const Seen Absent = RunBuiltin("not-quarn-absent");
  EXPECT_EQ(Line(Absent.Summary, "VORN    "),
            "VORN           absent: every register of bus 0 device 24 reads 0xFFFFFFFF");
  EXPECT_EQ(Absent.Json["board"]["vorn_present"], false);
  EXPECT_EQ(Absent.Json["board"]["exit"]["answers"], false);
  EXPECT_EQ(Absent.Json["board"]["exit"]["fs2"], 0xFFFFFFFFu) << "what the module reads, not the model's value";
  EXPECT_EQ(Absent.Json["board"]["exit"]["state_name"], nullptr);
  EXPECT_EQ(Absent.Json["board"]["exit"]["lumo_flow"], true);
}

TEST(SummaryBoard, HaltCodesInHexWithTheirTime) {
  const Seen R = RunBuiltin("drux-null-send");
  EXPECT_EQ(Block(R.Summary, "halt codes", "error level"),
            "halt codes\n"
            "  0xCB0 <- 0xD2 at 46.861 ms\n"
            "  0xCB0 <- 0xD2 at 66.616 ms\n"
            "  0xCB0 <- 0xD2 at 78.777 ms\n");
  EXPECT_EQ(R.Json["halt_codes"], json::parse(R"j([{"port": 3248, "value": 210, "time_ms": 46.861038},
                                                   {"port": 3248, "value": 210, "time_ms": 66.616},
                                                   {"port": 3248, "value": 210, "time_ms": 78.77684}])j"));
  // A board whose halt-code port is elsewhere does not take the module's codes as such.
  const Seen Moved = RunText(FindBuiltinScenario("drux-null-send")->Text + "\n[board]\nhalt_code_port = 0xCA0\n");
  EXPECT_EQ(Line(Moved.Summary, "halt codes"), "halt codes     none");
  EXPECT_EQ(Moved.Report.Asserts.size(), 3u);
}

TEST(SummaryBoard, ErrorLevelFromTheCacheOrFromCmosAsTheModuleTookIt) {
  const struct {
    const char *Scenario;  // a built-in name, or else an inline scenario's text
    const char *Text;
    const char *Json;
  } kRows[] = {
      {"default", "error level    0x80000042 (error, warn, info) from CMOS 0x7A..0x7D, cached in MM0 at 0.075 ms",
       R"j({"value": 2147483714, "source": "cmos", "cmos_valid": true, "time_ms": 0.07516,
           "mm0_at_first_read": "0x0"})j"},
      {"cmos-invalid",
       "error level    0x00000000 (none) from CMOS: register 0x0E bit 7 set, contents not trusted; cached in MM0 at "
       "0.067 ms",
       R"j({"value": 0, "source": "cmos", "cmos_valid": false, "time_ms": 0.06716,
           "mm0_at_first_read": "0x0"})j"},
      // The board keeps the level where the module does not look: it reads zeros.
      {"board-cmos-level-moved", "error level    0x00000000 (none) from CMOS 0x7A..0x7D, cached in MM0 at 0.075 ms",
       R"j({"value": 0, "source": "cmos", "cmos_valid": true, "time_ms": 0.07516, "mm0_at_first_read": "0x0"})j"},
      {"qemu-q35-mm0-cache",
       "error level    0x00000040 (info) from the MM0 cache (MM0 0x0000004080004424); CMOS not read",
       R"j({"value": 64, "source": "mm0-cache", "cmos_valid": null, "time_ms": 0.06415,
           "mm0_at_first_read": "0x4080004424"})j"},
      // The signature without the valid bit, and the valid bit without the signature: no cache.
      {"[cmos]\nmm0 = 0x0000004000004424\n",
       "error level    0x80000042 (error, warn, info) from CMOS 0x7A..0x7D, cached in MM0 at 0.075 ms",
       R"j({"value": 2147483714, "source": "cmos", "cmos_valid": true, "time_ms": 0.07516,
           "mm0_at_first_read": "0x4000004424"})j"},
      {"[cmos]\nmm0 = 0x0000004080004425\nerror_level = 0x80000000\n",
       "error level    0x80000000 (error) from CMOS 0x7A..0x7D, cached in MM0 at 0.075 ms",
       R"j({"value": 2147483648, "source": "cmos", "cmos_valid": true, "time_ms": 0.07516,
           "mm0_at_first_read": "0x4080004425"})j"},
      // A cache whose level has bits beyond the three the module prints at.
      {"[cmos]\nmm0 = \"0xFFFFFFFF80004424\"\n",
       "error level    0xFFFFFFFF (error, warn, info, other bits 0x7FFFFFBD) from the MM0 cache (MM0 "
       "0xFFFFFFFF80004424); CMOS not read",
       R"j({"value": 4294967295, "source": "mm0-cache", "cmos_valid": null, "time_ms": 0.06515,
           "mm0_at_first_read": "0xffffffff80004424"})j"},
  };
  for (const auto &Row : kRows) {
    const Seen R = FindBuiltinScenario(Row.Scenario) != nullptr ? RunBuiltin(Row.Scenario) : RunText(Row.Scenario);
    EXPECT_EQ(Line(R.Summary, "error level"), Row.Text) << Row.Scenario;
    EXPECT_EQ(R.Json["debug_error_level"], json::parse(Row.Json)) << Row.Scenario;
  }
}

TEST(SummaryBoard, ConsolesAndDebugPpiMessages) {
  // Error level 0: nothing on the UARTs, every message on the debug PPI.
  const Seen Silent = RunBuiltin("cmos-invalid");
  EXPECT_EQ(Line(Silent.Summary, "console  "), "console        (console empty)");
  EXPECT_EQ(Block(Silent.Summary, "debug PPI", "  DRUX: PeiDruxGetVornType()"),
            "debug PPI      26 messages\n"
            "  [QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\n"
            "  DRUX: PeiDruxGetVornType start\n");
  EXPECT_EQ(Line(Silent.Summary, "console 2"), "console 2      the same as the first UART");

  EXPECT_EQ(Line(RunBuiltin("no-debug-ppi").Summary, "debug PPI"), "debug PPI      no messages");

  // The second UART already runs at 115200 8N1 with its FIFOs off: the set-up leaves it
  // alone and the 16-byte bursts overrun its one-byte holding register.
  const Seen Lossy = RunText("[uart2]\ndivisor = 1\nlcr = 3\nfcr = 0\n");
  EXPECT_EQ(Block(Lossy.Summary, "console 2", "time"),
            "console 2      differs from the first UART:\n"
            "  [QQutr\n"
            "  DRVoDRVo FubDRVoisrnDReF 1[DorVO)\\rDReF 1[QPris[Qlo[QFe[Qloox[QCLoxgs[VtS\n"
            "  [VtStse [CetMoDReF 1DReF 1[CetMo =[VtSites[QCLckusRene25\\n\n"
            "  Mir  =Sy50\n");
  EXPECT_EQ(Lossy.Summary.find("(console empty)"), std::string::npos);
}

TEST(SummaryBoard, AStoppedRunShowsTheRegistersWhereItStopped) {
  // The module waits for state 2 or 5, which never comes; the time limit stops it after
  // the scripted recovery cause arrived.
  const Seen R = RunText(
      "[run]\ntime_limit_ms = 50\n[policy]\npre_did_reset = true\n[vorn]\nfs1 = 0x00000001\n"
      "[[vorn.at]]\nms = 40\nfs2 = 0x00000400\n");
  ASSERT_EQ(R.Report.Outcome, "hang");
  EXPECT_EQ(
      Block(R.Summary, "VORN at exit", "halt codes"),
      "VORN at exit   state 1, recovery cause 4, flow mode 0, reset counter 0, DWR flow off (50.293 ms, stopped)\n"
      "               VORNFS1 0x00000001  VORNFS2 0x00000400  fn1 0x00000000  fn4 0x00000000  fn6 0x00000000  "
      "DWRSTS 0x00000000\n"
      "VORN changes\n"
      "    40.000 ms  VORNFS2    0x00000000 -> 0x00000400  vorn.at[0]: fs2 = 0x00000400\n");
}
