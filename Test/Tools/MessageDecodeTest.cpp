// The firmware exchange and the status-code records decoded field by field, in the
// summary and in the JSON report alike, on real runs of the emulated board; answers the
// firmware garbles decode as far as their bytes go and never beyond them.
#include <gtest/gtest.h>

#include <sstream>

#include "Tools/quarn-emu/Report/MessageDecode.h"
#include "Tools/quarn-emu/Report/ReportJson.h"
#include "Tools/quarn-emu/Report/Summary.h"
#include "Tools/quarn-emu/Run/Runner.h"
#include "Tools/quarn-emu/Scenario/ScenarioLoader.h"

using namespace quarn::emu;
using namespace quarn::emu::cli;
using nlohmann::json;

namespace {

RunReport RunBuiltin(const std::string &Argument, bool Trace = false) {
  return RunScenario(ResolveScenario(Argument), Trace);
}

/// The road of one boot (QUARN in recovery with cause 4, every message enabled) with
/// Overrides added to its firmware tables.
RunReport RunDefaultWith(const std::string &Overrides) {
  const std::string Text =
      "[policy]\npre_did_reset = true\nssc_alternate = true\nbios_update_watchdog = true\n"
      "[vorn]\nfs1 = 2\nfs2 = 0x400\n" +
      Overrides;
  return RunScenario(LoadScenarioText(Text, "t.toml"), false);
}

std::string Summary(const RunReport &R, bool Wide) {
  std::ostringstream Out;
  WriteSummary(Out, R, "", Wide);
  return Out.str();
}

json Decode(const Decoded &D) { return DecodedJson(D); }

}  // namespace

TEST(MessageDecode, TheRoadOfOneBootFieldByFieldBothWays) {
  const RunReport R = RunBuiltin("default");
  struct Row {
    const char *Kind;
    json Request, Response;
  };
  const json Header11F0 = {{"Header", 0x11F0}, {"GroupId", 0xF0}, {"Command", 0x11}, {"IsResponse", 0}};
  const json Clock = {{"HeaderWord0", 0x00050000}, {"CloxCommand", 27},   {"CloxResponse", 0},
                      {"BufferLength", 28},        {"Reserved", 0},       {"Selector", 2},
                      {"Frequency", 100000000},    {"SscPercentage", 50}, {"ClockFlags", 0x10}};
  const Row Rows[] = {
      {"type",
       Header11F0,
       {{"Header", 0x91F0},
        {"GroupId", 0xF0},
        {"Command", 0x11},
        {"IsResponse", 1},
        {"TypeWord", 1},
        {"FwType", 1},
        {"FwSubType", 0}}},
      {"pre-did-reset",
       {{"Header", 5}, {"GroupId", 5}, {"Command", 0}, {"IsResponse", 0}, {"Parameters", "0000000000000000"}},
       {{"Header", 0x8005}, {"GroupId", 5}, {"Command", 0}, {"IsResponse", 1}, {"Parameters", "0000000000000000"}}},
      {"watchdog",
       {{"Command", 5}, {"Reserved", "0000000000000000"}, {"Parameter", 4}},
       {{"Command", 0x85}, {"Status", 0}}},
      {"feature-set",
       {{"Command", 1}},
       {{"Command", 0x81}, {"Reserved", "0000"}, {"FeatureSet", 4}, {"CloxSupported", 1}, {"FeatureSet2", 0}}},
      {"clock", Clock, Clock},
  };
  ASSERT_EQ(R.Messages.size(), std::size(Rows));
  for (size_t Index = 0; Index < std::size(Rows); Index++) {
    const MessageExchange &M = R.Messages[Index];
    SCOPED_TRACE(M.Kind);
    EXPECT_EQ(M.Kind, Rows[Index].Kind);
    const json Request = Decode(DecodeRequest(M));
    const json Response = Decode(DecodeResponse(M));
    EXPECT_EQ(Request["fields"], Rows[Index].Request);
    EXPECT_EQ(Response["fields"], Rows[Index].Response);
    EXPECT_EQ(Request["rest"], "");
    EXPECT_EQ(Response["rest"], "");
    EXPECT_FALSE(Request.contains("problem")) << Request;
    EXPECT_FALSE(Response.contains("problem")) << Response;
  }
  EXPECT_EQ(Decode(DecodeRequest(R.Messages[0]))["layout"], "type-query-request");
  EXPECT_EQ(Decode(DecodeResponse(R.Messages[4]))["layout"], "clock-settings-response");

  // The report carries the same decode, with the time and the result's value.
  const json J = ReportToJson(R, false);
  EXPECT_EQ(J["messages"][1]["decoded"]["response"], Decode(DecodeResponse(R.Messages[1])));
  EXPECT_DOUBLE_EQ(J["messages"][0]["time_ms"].get<double>(), 5.859866);
  EXPECT_DOUBLE_EQ(J["messages"][4]["time_ms"].get<double>(), 211.962292);
  EXPECT_EQ(J["messages"][0]["result_value"], 0);
}

TEST(MessageDecode, GarbledAnswersDecodeAsFarAsTheirBytesGo) {
  // The pre-DID answer is two bytes, the watchdog's one byte with the wrong command,
  // the feature set's longer than the buffer with a length claimed larger still.
  const RunReport R = RunDefaultWith(
      "[drux.pre_did_reset]\nresponse = \"85 03\"\n"
      "[drux.watchdog]\nresponse = \"05\"\n"
      "[drux.feature_set]\nresponse = \"81 00 00 04 00 00 00 00 00 00 00 ff ee\"\nresponse_length = 20\n");
  ASSERT_EQ(R.Messages.size(), 4u) << "a garbled feature set is no clock support: no clock message";
  struct Row {
    const char *Kind;
    json Fields;
    const char *Problem;
    const char *Rest;
  };
  const Row Rows[] = {
      {"pre-did-reset", json::object(), "2 bytes; the layout has 12", "8503"},
      {"watchdog", {{"Command", 5}}, "1 byte; the layout has 2", ""},
      {"feature-set",
       {{"Command", 0x81}, {"Reserved", "0000"}, {"FeatureSet", 4}, {"CloxSupported", 1}, {"FeatureSet2", 0}},
       "reported length 20, 11 bytes in the buffer",
       ""},
  };
  for (const Row &Expected : Rows) {
    SCOPED_TRACE(Expected.Kind);
    const auto M = std::find_if(R.Messages.begin(), R.Messages.end(),
                                [&](const MessageExchange &X) { return X.Kind == Expected.Kind; });
    ASSERT_NE(M, R.Messages.end());
    const json D = Decode(DecodeResponse(*M));
    EXPECT_EQ(D["fields"], Expected.Fields);
    EXPECT_EQ(D["problem"], Expected.Problem);
    EXPECT_EQ(D["rest"], Expected.Rest);
  }

  // A clock answer cut after its command word: the response word and everything after
  // it are not there, so they are not shown.
  // (Every byte of a word is read: the header's top byte too.)
  const RunReport Clock = RunDefaultWith("[drux.clock]\nresponse = \"0000051f 1b000000 0000\"\n");
  ASSERT_EQ(Clock.Messages.back().Kind, "clock");
  const json D = Decode(DecodeResponse(Clock.Messages.back()));
  EXPECT_EQ(D["fields"], (json{{"HeaderWord0", 0x1F050000}, {"CloxCommand", 27}}));
  EXPECT_EQ(D["problem"], "10 bytes; the layout has 48");
  EXPECT_EQ(D["rest"], "0000");

  // A send that fails has no response to decode.
  const RunReport Failed = RunDefaultWith("[drux.watchdog]\nresult = \"EFI_TIMEOUT\"\n");
  const json Report = ReportToJson(Failed, false);
  const json &Watchdog = Report["messages"][2];
  ASSERT_EQ(Watchdog["kind"], "watchdog");
  EXPECT_TRUE(Watchdog["decoded"]["response"].is_null());
  EXPECT_EQ(Watchdog["result_value"], 0x80000012u);
  EXPECT_NE(Summary(Failed, false).find("      response   none (an error status carries no response)\n"),
            std::string::npos);
}

TEST(MessageDecode, MessagesOfNoLayoutKeepEveryByte) {
  MessageExchange M;
  M.Client = 0x33;
  M.Kind = "unknown";
  M.Request = {0xDE, 0xAD};
  M.Response = {0x01};
  M.ResponseLength = 1;
  json D = Decode(DecodeRequest(M));
  EXPECT_EQ(D["layout"], "undecodable");
  EXPECT_EQ(D["fields"], json::object());
  EXPECT_EQ(D["problem"], "no layout for a message of client 0x33 of 2 bytes");
  EXPECT_EQ(D["rest"], "dead");
  EXPECT_EQ(Decode(DecodeResponse(M))["rest"], "01");

  // A request longer than its layout: the fields, then the extra bytes kept.
  M.Kind = "feature-set";
  M.Request = {0x01, 0x02, 0x03};
  D = Decode(DecodeRequest(M));
  EXPECT_EQ(D["fields"], (json{{"Command", 1}}));
  EXPECT_EQ(D["problem"], "3 bytes; the layout has 1, the rest is kept");
  EXPECT_EQ(D["rest"], "0203");
  M.Request.clear();
  D = Decode(DecodeRequest(M));
  EXPECT_EQ(D["fields"], json::object());
  EXPECT_EQ(D["problem"], "0 bytes; the layout has 1");
}

TEST(MessageDecode, StatusCodeTypesAndValuesByNameEachPartItsOwn) {
  const struct {
    uint32_t Type;
    const char *Name;
  } Types[] = {
      {0x40000002, "EFI_ERROR_CODE | EFI_ERROR_MINOR"},
      {0x00000002, "EFI_ERROR_CODE"},
      {0x80000002, "EFI_ERROR_CODE | 0x80000000"},
      {0x40000001, "0x00000001 | EFI_ERROR_MINOR"},
      {0x40120002, "EFI_ERROR_CODE | EFI_ERROR_MINOR | 0x00120000"},
  };
  for (const auto &Row : Types) EXPECT_EQ(StatusCodeTypeName(Row.Type), Row.Name) << std::hex << Row.Type;
  EXPECT_EQ(StatusCodeValueName(0x00020000), "EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR | EFI_CU_EC_NON_SPECIFIC");
  EXPECT_EQ(StatusCodeValueName(0x00030005), "0x00030000 | 0x00000005");
}

TEST(Summary, RecordsShowTimeTypeAndValueBesideTheDecodedBody) {
  const RunReport R = RunBuiltin("state-wait-timeout");
  const std::string Text = Summary(R, false);
  EXPECT_NE(
      Text.find(
          "records\n"
          "  1.  2051.339 ms  type EFI_ERROR_CODE | EFI_ERROR_MINOR (0x40000002)\n"
          "                 value EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR | EFI_CU_EC_NON_SPECIFIC "
          "(0x00020000), instance 0 -> EFI_SUCCESS\n"
          "                 state record: HeaderSize 20, Size 38, EntryType 16, EntrySize 38, Severity 2,\n"
          "                 EntryCode 0x00020101, EntryContext 0x00000000, VornFs1 0x00000001, VornFs2 0x00000000,\n"
          "                 Fn1Status 0x00000000, Fn4Status 0x00000000, Fn6Status 0x00000000\n"
          "  2.  2064.555 ms  "),
      std::string::npos)
      << Text;
  const json J = ReportToJson(R, false)["status_codes"][0];
  EXPECT_DOUBLE_EQ(J["time_ms"].get<double>(), 2051.338976);
  EXPECT_EQ(J["type_name"], "EFI_ERROR_CODE | EFI_ERROR_MINOR");
  EXPECT_EQ(J["value_name"], "EFI_COMPUTING_UNIT_FIRMWARE_PROCESSOR | EFI_CU_EC_NON_SPECIFIC");
  EXPECT_EQ(J["answer_value"], 0);
  EXPECT_EQ(J["decoded"]["layout"], "state-record");
  EXPECT_EQ(J["decoded"]["fields"]["VornFs1"], 1);
}

TEST(Summary, TheExchangeShowsEveryByteOnlyWhenWide) {
  const RunReport R = RunBuiltin("default");
  const std::string Narrow = Summary(R, false);
  const std::string Wide = Summary(R, true);
  // Frequency 100 MHz at 28, SscPercentage 50 at 41, ClockFlags bit 4 at 44.
  const std::string Clock =
      "000005001b000000000000001c00000000000000020000000000000000e1f505000000000000000000320000100000"
      "00";
  EXPECT_NE(Narrow.find("firmware exchange (run --wide shows every byte)\n"
                        "  1.     5.860 ms  type, client 0x07, 4 bytes -> EFI_SUCCESS, 8 bytes back (room for 8)\n"
                        "      request    f0110000\n"
                        "                 Header 0x000011F0, GroupId 0xF0, Command 0x11, IsResponse 0\n"
                        "      response   f091000001000000\n"
                        "                 Header 0x000091F0, GroupId 0xF0, Command 0x11, IsResponse 1, TypeWord "
                        "0x00000001, FwType 1,\n"
                        "                 FwSubType 0\n"),
            std::string::npos)
      << Narrow;
  EXPECT_NE(
      Narrow.find(
          "      request    " + Clock.substr(0, 48) +
          ".. (48 bytes)\n"
          "                 HeaderWord0 0x00050000, CloxCommand 27, CloxResponse 0, BufferLength 28, Reserved 0,\n"
          "                 Selector 2, Frequency 100000000, SscPercentage 50, ClockFlags 0x0010\n"),
      std::string::npos)
      << Narrow;
  EXPECT_EQ(Narrow.find(Clock), std::string::npos);
  EXPECT_NE(Wide.find("firmware exchange\n"), std::string::npos);
  EXPECT_NE(
      Wide.find("      request    " + Clock +
                "\n"
                "                 HeaderWord0 0x00050000, CloxCommand 27, CloxResponse 0, BufferLength 28, Reserved 0, "
                "Selector 2, Frequency 100000000, SscPercentage 50, ClockFlags 0x0010\n"),
      std::string::npos)
      << Wide;
}

TEST(ReportJson, FormatTwoCarriesSixtyFourBitValuesAsHexStrings) {
  const RunReport R = RunBuiltin("default", true);
  const json J = ReportToJson(R, true);
  EXPECT_EQ(J["format"], 2);
  EXPECT_EQ(J["mm7"], (json{"0x7c040250", "0x7c040250", "0x7c040250", "0x7c040250"}));
  json Slots = json::array();
  for (int Slot = 0; Slot < 13; Slot++) Slots.push_back(Slot == 9 ? "0x7c050200" : "0x0");
  EXPECT_EQ(J["static_pointer_table"]["slots"], Slots);
  EXPECT_EQ(J["static_pointer_table"]["address"], 0x7C040250u) << "a 32-bit address stays a number";

  // The error level cached in MM0 has its top bit set: far above 2^53, kept whole.
  const auto Mm0 =
      std::find_if(J["trace"].begin(), J["trace"].end(), [](const json &T) { return T["kind"] == "write-mm0"; });
  ASSERT_NE(Mm0, J["trace"].end());
  EXPECT_EQ((*Mm0)["value"], "0x8000004280004424");
  EXPECT_EQ((*Mm0)["address"], "0x0");
  for (const json &T : J["trace"]) {
    ASSERT_TRUE(T["address"].is_string() && T["value"].is_string()) << T;
  }
  EXPECT_EQ(HexNumber(0), "0x0");
  EXPECT_EQ(HexNumber(UINT64_MAX), "0xffffffffffffffff");
}
