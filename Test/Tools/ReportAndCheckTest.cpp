// The JSON report, the [expect] comparison and the sequence diagram, on reports made by
// hand (so that each rule is seen on its own) and on a real run.
#include <gtest/gtest.h>

#include <algorithm>

extern "C" {
#include <PiPei.h>
}
#include <Guid/VornTypeHob.h>
#include <Ppi/DebugPrint.h>
#include <Ppi/Drux.h>

#include "Tools/quarn-emu/Check/Check.h"
#include "Tools/quarn-emu/Report/Names.h"
#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Report/Sequence.h"
#include "Tools/quarn-emu/Report/Summary.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

using namespace quarn::emu;
using namespace quarn::emu::cli;
using nlohmann::json;

namespace {

RunReport ReturnedReport() {
  RunReport R;
  R.Scenario = "hand-made";
  R.Status = EFI_UNSUPPORTED;
  R.ElapsedNs = 2500000;
  R.Console = "A\r\nB\xE9\r\n";
  R.Records = {"state"};
  MessageExchange M;
  M.Client = 7;
  M.Kind = "pre-did-reset";
  M.Request = {0x05, 0, 0, 0, 0xAB};
  M.RequestLength = 12;
  M.Capacity = 12;
  M.Result = EFI_TIMEOUT;
  M.TimeNs = 1000;
  R.Messages.push_back(M);
  R.StaticPointerTable = StaticPointerTableView{0x1000, {}};
  R.Mm7 = {0x1000, 0x2000};
  R.WaitNs = 2000000;
  R.SerialNs = 400000;
  R.OtherNs = 100000;
  return R;
}

std::vector<Expectation> Expect(const std::string &Toml) {
  return LoadScenarioText("[expect]\n" + Toml, "t.toml").Expect;
}

}  // namespace

TEST(ReportJson, CarriesTheContractKeysWithNumbersHexAndTextsAsReceived) {
  const json J = ReportToJson(ReturnedReport(), false);
  for (const char *Key :
       {"format",  "scenario",     "outcome",       "status",           "status_value",         "elapsed_ms",
        "console", "console2",     "debug_ppi",     "asserts",          "halt_codes",           "messages",
        "records", "status_codes", "vorn_type_hob", "info_hob",         "static_pointer_table", "cpu_and_revision",
        "mm7",     "time",         "board",         "debug_error_level"}) {
    EXPECT_TRUE(J.contains(Key)) << Key;
  }
  EXPECT_FALSE(J.contains("trace")) << "only with --trace";
  EXPECT_EQ(J["status"], "EFI_UNSUPPORTED");
  EXPECT_EQ(J["status_value"], 0x80000003u);
  EXPECT_DOUBLE_EQ(J["elapsed_ms"].get<double>(), 2.5);
  EXPECT_EQ(J["console"], "A\r\nB\u00E9\r\n") << "CR LF kept; a byte above 0x7F is the character of that code";
  EXPECT_EQ(J["format"], 2);
  EXPECT_EQ(J["messages"][0]["request"], "05000000ab");
  EXPECT_EQ(J["messages"][0]["result"], "EFI_TIMEOUT");
  EXPECT_EQ(J["messages"][0]["result_value"], 0x80000012u);
  EXPECT_DOUBLE_EQ(J["messages"][0]["time_ms"].get<double>(), 0.001);
  EXPECT_TRUE(J["messages"][0]["response"].is_null()) << "an error status writes no response";
  EXPECT_EQ(J["messages"][0]["decoded"],
            (json{{"request",
                   {{"layout", "pre-did-reset-request"},
                    {"title", "pre-DID reset request"},
                    {"fields", {{"Header", 5}, {"GroupId", 5}, {"Command", 0}, {"IsResponse", 0}}},
                    {"problem", "5 bytes; the layout has 12"},
                    {"rest", "ab"}}},
                  {"response", nullptr}}));
  EXPECT_EQ(J["mm7"], (json{"0x1000", "0x2000"}));
  EXPECT_EQ(J["exchange"], (json{"pre-did-reset EFI_TIMEOUT"}));
  EXPECT_EQ(J["mm7_points_to_table"], (json{true, false}));
  EXPECT_EQ(J["vorn_type_hob"], nullptr);
  EXPECT_EQ(J["debug_error_level"], nullptr) << "the module never looked for its level";
  EXPECT_DOUBLE_EQ(J["time"]["wait_ms"].get<double>(), 2.0);
  EXPECT_NO_THROW((void)J.dump()) << "valid UTF-8 whatever the UART received";
}

TEST(ReportJson, StatusIsNullUnlessTheModuleReturned) {
  RunReport R = ReturnedReport();
  R.Status.reset();
  R.Outcome = "hang";
  R.Where = "no progress";
  const json J = ReportToJson(R, true);
  EXPECT_TRUE(J["status"].is_null());
  EXPECT_TRUE(J["status_value"].is_null());
  EXPECT_EQ(J["stopped_at"], "no progress");
  EXPECT_TRUE(J["trace"].is_array());
}

/// The mismatches as the table prints them, without the indentation.
std::vector<std::string> MismatchLines(const std::vector<Mismatch> &Mismatches) {
  std::vector<std::string> Out;
  for (const Mismatch &M : Mismatches) Out.push_back(MismatchLine("t.toml", M));
  return Out;
}

using Texts = std::vector<std::string>;

TEST(Check, ExactEqualityPerKeyWithEachMismatchNamed) {
  const json Report = ReportToJson(ReturnedReport(), false);
  EXPECT_TRUE(
      CheckReport(Expect("status = \"EFI_UNSUPPORTED\"\nrecords = [\"state\"]\nvorn_type_hob = \"null\"\n"), Report)
          .empty());
  EXPECT_EQ(
      MismatchLines(CheckReport(Expect("status = \"EFI_SUCCESS\"\nrecords = []\nelapsed_ms = 2.5\n"), Report)),
      (Texts{
          "t.toml:2: status: expected \"EFI_SUCCESS\", got \"EFI_UNSUPPORTED\"",
          "t.toml:3: records: expected 0 entries, got 1; first difference at [0]: expected nothing, got \"state\""}));
}

TEST(Check, SubstringTestsOnTheConsoles) {
  const json Report = ReportToJson(ReturnedReport(), false);
  EXPECT_TRUE(
      CheckReport(Expect("console_contains = [\"A\\r\\n\", \"B\"]\nconsole_excludes = \"ERROR\"\n"), Report).empty());
  EXPECT_EQ(
      MismatchLines(CheckReport(
          Expect("console_contains = [\"C\"]\nconsole_excludes = [\"B\"]\ndebug_ppi_contains = \"x\"\n"), Report)),
      (Texts{"t.toml:2: console_contains: \"C\" not found in console; nearest line 1 of console: \"A\"",
             "t.toml:3: console_excludes: \"B\" found at offset 3 of console",
             "t.toml:4: debug_ppi_contains: \"x\" not found in debug_ppi; debug_ppi is empty"}));
}

TEST(Check, ASequenceHoldsOnlyInItsOrder) {
  const json Report = ReportToJson(ReturnedReport(), false);  // console "A\r\nB\xE9\r\n"
  EXPECT_TRUE(CheckReport(Expect("console_sequence = [\"A\\r\\n\", \"B\"]\n"), Report).empty());
  EXPECT_TRUE(CheckReport(Expect("console_sequence = [\"A\", \"\\r\\n\", \"B\", \"\\r\\n\"]\n"), Report).empty());

  // Swapped: the second text stands before the first one's end.
  EXPECT_EQ(MismatchLines(CheckReport(Expect("console_sequence = [\"B\", \"A\"]\n"), Report)),
            Texts{"t.toml:2: console_sequence: \"A\" found at offset 0 of console, before \"B\" ends"});

  // The same text twice needs two occurrences; a missing one is named as such.
  EXPECT_EQ(CheckReport(Expect("console_sequence = [\"A\", \"A\"]\n"), Report).size(), 1u);
  EXPECT_EQ(MismatchLines(CheckReport(Expect("console_sequence = [\"A\", \"C\", \"B\"]\n"), Report)),
            Texts{"t.toml:2: console_sequence: \"C\" not found in console; nearest line 1 of console: \"A\""})
      << "the rest of a broken sequence is not reported again";

  // Unordered lists stay unordered.
  EXPECT_TRUE(CheckReport(Expect("console_contains = [\"B\", \"A\"]\n"), Report).empty());
}

TEST(Check, AStoppedRunNeverPassesUnlessItsOutcomeIsExpected) {
  RunReport R = ReturnedReport();
  R.Outcome = "dead-loop";
  R.Where = "CpuDeadLoop";
  R.Status.reset();
  const json Report = ReportToJson(R, false);
  const LoadedScenario L = LoadScenarioText("\n[expect]\nrecords = [\"state\"]\n", "t.toml");
  EXPECT_EQ(
      MismatchLines(CheckReport(L.Expect, Report, L.ExpectLine)),
      Texts{"t.toml:2: outcome: expected \"returned\" (no outcome expected), got \"dead-loop\" at \"CpuDeadLoop\""})
      << "named at the [expect] header";
  EXPECT_TRUE(CheckReport(Expect("outcome = \"dead-loop\"\nstatus = \"null\"\n"), Report).empty());
}

TEST(Summary, DecodesErrorLogRecords) {
  StatusCodeRecord Code;
  Code.Data.assign(20 + 42, 0);
  Code.Data[20] = 17;
  Code.Data[20 + 18] = 0x02;
  Code.Data[20 + 23] = 0x04;
  Code.Data[20 + 28] = 0x12;
  Code.Data[20 + 29] = 0x02;  // a leading zero: the field is always eight digits
  EXPECT_EQ(DescribeStatusCode(Code),
            "reset record: HeaderSize 0, Size 0, EntryType 17, EntrySize 0, Severity 0, EntryCode 0x00000000, "
            "EntryContext 0x00000000, VornFs1 0x00000002, VornFs2 0x00000400, ResetDetail 0x02120000, "
            "Reserved 000000000000000000000000");
  Code.Data.resize(30);  // too short for the record: decoded as far as it goes, the rest kept
  EXPECT_EQ(DescribeStatusCode(Code),
            "reset record: HeaderSize 0, Size 0, EntryType 17, EntrySize 0, Severity 0, (30 bytes; the layout has 62)");
  Code.Data.resize(24);  // just the wrapper and the entry type: still a reset record
  EXPECT_EQ(DescribeStatusCode(Code),
            "reset record: HeaderSize 0, Size 0, EntryType 17, (24 bytes; the layout has 62)");
  Code.Data.resize(30);
  Code.Data[20] = 18;  // no record of this module: every byte kept
  EXPECT_EQ(DescribeStatusCode(Code),
            "undecodable: (no error-log record of this module in 30 bytes of extended data), "
            "rest 000000000000000000000000000000000000000012000000.. (30 bytes)");
  const std::string Wide = DescribeStatusCode(Code, true);
  EXPECT_EQ(Wide.substr(Wide.find("rest ")), "rest 000000000000000000000000000000000000000012000000000000000000");
}

TEST(Sequence, DrawsCallsMessagesAndTheReturnInOrder) {
  RunReport R = ReturnedReport();
  R.Trace = {
      {10, "call", 0, GuidHead(&gDebugPrintPpiGuid), "LocatePpi"},
      {20, "call", 0, GuidHead(&gDruxPpiGuid), "LocatePpi"},
      {20, "io-read32", 0x508, 1, "ACPI PM timer"},
      {30, "call", 0, 30, "CreateHob"},
      {40, "call", 0, 0x20000, "ReportStatusCode"},
      {50, "pei-core", 0, 0, "temporary memory moved to permanent memory"},
      {60, "notify", 0, 0, "notification callback"},
  };
  R.Messages[0].TimeNs = 25;
  const std::string Diagram = SequenceDiagram(R);
  EXPECT_EQ(Diagram.rfind("sequenceDiagram\n", 0), 0u);
  EXPECT_EQ(Diagram.find("DEBUG_PRINT_PPI"), std::string::npos) << "debug-message look-ups are left out";
  const size_t Locate = Diagram.find("Module->>Core: LocatePpi(DRUX_PPI)");
  const size_t Send = Diagram.find("Module->>Fw: SendWithAck pre-did-reset (client 0x7, 12 bytes)");
  const size_t Answer = Diagram.find("Fw-->>Module: EFI_TIMEOUT");
  const size_t Hob = Diagram.find("CreateHob(30 bytes, VORN type HOB)");
  const size_t Record = Diagram.find("ReportStatusCode(0x20000, state record)");
  const size_t Return = Diagram.find("Module-->>Core: returns EFI_UNSUPPORTED");
  const size_t Moved = Diagram.find("Note over Core: temporary memory moved");
  for (size_t At : {Locate, Send, Answer, Hob, Record, Return, Moved}) ASSERT_NE(At, std::string::npos) << Diagram;
  EXPECT_LT(Locate, Send);
  EXPECT_LT(Send, Answer);
  EXPECT_LT(Answer, Hob);
  EXPECT_LT(Record, Return);
  EXPECT_LT(Return, Moved);
}

// The whole diagram, every kind of step in it: a run of the same line is drawn once with
// its count, the debug PPI's look-ups are left out, the message goes between the trace
// lines by its time, the return comes before the move to permanent memory.
TEST(Sequence, EveryKindOfStepExactly) {
  RunReport R = ReturnedReport();
  R.Asserts = {"ASSERT x.c(1): a;b#c"};
  R.Messages[0].TimeNs = 65;
  R.Trace = {
      {10, "call", 0, GuidHead(&gDebugPrintPpiGuid), "LocatePpi"},
      {20, "call", 0, 0, "GetBootMode"},
      {30, "call", 0, 30, "CreateHob"},
      {31, "call", 0, 30, "CreateHob"},
      {32, "call", 0, 30, "CreateHob"},
      {40, "call", 0, 0x20000, "ReportStatusCode"},
      {41, "call", 0, 0x20000, "ReportStatusCode"},
      {50, "int3", 0, 0, ""},
      {60, "call", 0, 0, "DRUX_PPI.GetVornStatus"},
      {70, "call", 0, 8, "AllocatePool"},
      {80, "call", 0, 0, "StartupAllAPs"},
      {85, "call", 0, 0, "GetHobList"},
      {90, "vorn", 0, 0, "QUARN firmware: state 5"},
      {100, "pei-core", 0, 0, "temporary memory moved to permanent memory"},
      {110, "notify", 0, 0, "notification callback"},
      {120, "int3", 0, 0, ""},
  };
  EXPECT_EQ(SequenceDiagram(R),
            "sequenceDiagram\n"
            "    participant Core as PEI core\n"
            "    participant Module as QuarnPeiPreMem\n"
            "    participant Fw as QUARN firmware (DRUX_PPI)\n"
            "    Core->>Module: QuarnPeiPreMemEntryPoint\n"
            "    Module->>Core: GetBootMode\n"
            "    Module->>Core: CreateHob(30 bytes, VORN type HOB) (3 times)\n"
            "    Module->>Core: ReportStatusCode(0x20000, state record)\n"
            "    Module->>Core: ReportStatusCode(0x20000)\n"
            "    Note over Module: ASSERT x.c(1): a b c\n"
            "    Module->>Fw: GetVornStatus\n"
            "    Module->>Fw: SendWithAck pre-did-reset (client 0x7, 12 bytes)\n"
            "    Fw-->>Module: EFI_TIMEOUT\n"
            "    Module->>Core: AllocatePool(8 bytes)\n"
            "    Module->>Core: StartupAllAPs (MP services: load MM7 on every AP)\n"
            "    Note over Fw: QUARN firmware: state 5\n"
            "    Module-->>Core: returns EFI_UNSUPPORTED\n"
            "    Note over Core: temporary memory moved to permanent memory\n"
            "    Core->>Module: notification callback\n"
            "    Note over Module: breakpoint\n");

  // An injected fault is a note over the module and the side that failed the call.
  R.Trace = {{10, "fault", 0, 0, "SendWithAck #2"}};
  const struct {
    const char *Call;
    const char *Note;
  } Faults[] = {
      {"SendWithAck", "    Note over Module,Fw: injected fault: SendWithAck call 2 fails with EFI_DEVICE_ERROR\n"},
      {"GetVornStatus", "    Note over Module,Fw: injected fault: GetVornStatus call 2 fails with EFI_DEVICE_ERROR\n"},
      {"AllocatePool", "    Note over Module,Core: injected fault: AllocatePool call 2 fails with EFI_DEVICE_ERROR\n"},
  };
  for (const auto &F : Faults) {
    R.Fault = FiredFault{F.Call, 2, 7, 10, EFI_DEVICE_ERROR};
    EXPECT_NE(SequenceDiagram(R).find("    Core->>Module: QuarnPeiPreMemEntryPoint\n" + std::string(F.Note)),
              std::string::npos)
        << SequenceDiagram(R);
  }
  R.Fault.reset();
  EXPECT_NE(SequenceDiagram(R).find("\n    Note over Module,Core: injected fault: SendWithAck  2\n"), std::string::npos)
      << "without the fault's record, the trace's text (# spelt as a blank)\n"
      << SequenceDiagram(R);
}

TEST(Sequence, MessagesTakeThePlaceTheFirmwareModelTracedThemAt) {
  RunReport R = ReturnedReport();
  R.Messages[0].TimeNs = 5;  // the time alone would put it first
  R.Trace = {
      {10, "call", 0, GuidHead(&gDruxPpiGuid), "LocatePpi"},
      {10, "call", 0, 0, "DRUX_PPI.GetVornStatus"},
      {10, "call", 0, 12, "DRUX_PPI.SendWithAck client 0x07 pre-did-reset"},
      {11, "call", 0, 0, "DRUX_PPI.SendWithAck -> EFI_TIMEOUT"},
      {12, "vorn", 0, 0, "QUARN firmware: pre-DID reset started"},
  };
  const std::string Diagram = SequenceDiagram(R);
  const size_t Status = Diagram.find("Module->>Fw: GetVornStatus");
  const size_t Send = Diagram.find("Module->>Fw: SendWithAck pre-did-reset");
  const size_t Note = Diagram.find("Note over Fw: QUARN firmware: pre-DID reset started");
  ASSERT_NE(Status, std::string::npos) << Diagram;
  ASSERT_NE(Send, std::string::npos) << Diagram;
  ASSERT_NE(Note, std::string::npos) << Diagram;
  EXPECT_LT(Status, Send);
  EXPECT_LT(Send, Note);
  EXPECT_EQ(Diagram.find("SendWithAck -> "), std::string::npos) << "the model's own lines are not drawn twice";
}

TEST(Runner, AFaultMakesTheNamedCallFail) {
  // The module's one pool allocation is the CPU-and-revision record.
  EXPECT_TRUE(RunScenario(LoadScenarioText("", "t.toml"), false).CpuAndRevision.has_value());
  const LoadedScenario L = LoadScenarioText("[fault]\ncall = \"AllocatePool\"\n", "t.toml");
  const RunReport R = RunScenario(L, false);
  EXPECT_FALSE(R.CpuAndRevision.has_value());
  ASSERT_TRUE(R.Fault.has_value());
  EXPECT_EQ(R.Fault->Call, "AllocatePool");
  EXPECT_EQ(R.Fault->Nth, 1u);
  EXPECT_EQ(R.Fault->Status, EFI_OUT_OF_RESOURCES);
  ASSERT_TRUE(R.FaultAsked.has_value());
  EXPECT_EQ(R.FaultAsked->CallsMade, 1u) << "the module's one allocation";
}

// --- on a real board ------------------------------------------------------------------

TEST(Runner, PlacesAPresetTypeHobBeforeTheEntry) {
  const LoadedScenario L = LoadScenarioText(
      "[drux]\ninstalled = false\n[pei.vorn_type_hob]\nvorn_type = 1\nfw_type = 2\nfw_sub_type = 7\n", "t.toml");
  const RunReport R = RunScenario(L, false);
  ASSERT_TRUE(R.VornTypeHob.has_value());
  EXPECT_EQ(R.VornTypeHob->FwType, 2);
  EXPECT_EQ(R.VornTypeHob->FwSubType, 7);
}

TEST(Runner, RefusesAPresetHobThatDoesNotFit) {
  // At the line of its table, as every refusal of a file (it had none, which FuzzScenario
  // refuses; kept for it as Fuzz/Corpus/FuzzScenario/regression-preset-hob-line).
  const LoadedScenario L = LoadScenarioText("[pei]\nhob_space = 64\n\n[pei.vorn_type_hob]\n", "t.toml");
  try {
    RunScenario(L, false);
    ADD_FAILURE() << "ran";
  } catch (const ScenarioError &Error) {
    EXPECT_STREQ(Error.what(), "t.toml:4: pei.vorn_type_hob: does not fit in pei.hob_space");
  }
}

TEST(Runner, TraceOnlyWhenAsked) {
  const LoadedScenario L = LoadScenarioText("", "t.toml");
  EXPECT_TRUE(RunScenario(L, false).Trace.empty());
  const RunReport Traced = RunScenario(L, true);
  EXPECT_EQ(Traced.Trace.size(), 2696u);
  EXPECT_EQ(ReportToJson(Traced, true)["trace"].size(), Traced.Trace.size());
  // Every byte of the console left the UART at a time of its own, in order.
  ASSERT_EQ(Traced.ConsoleLeftNs.size(), Traced.Console.size());
  EXPECT_TRUE(std::is_sorted(Traced.ConsoleLeftNs.begin(), Traced.ConsoleLeftNs.end()));
  EXPECT_TRUE(RunScenario(L, false).ConsoleLeftNs.empty()) << "kept only with the trace";
}
