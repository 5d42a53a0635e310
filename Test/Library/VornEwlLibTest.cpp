// Error-log records: their bytes, the registers they carry as read at that moment, the
// firmware type test of the state record, and the severity mapping.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <AutoGen.h>  // gEfiCallerIdGuid
#include <Guid/StatusCodeDataTypeId.h>
}
#include <Library/VornEwlLib.h>

#include <cstring>

#include "Emulator/Emulator.h"
#include "Emulator/Vorn/VornDevice.h"

using namespace quarn::emu;

namespace {

using Bytes = std::vector<uint8_t>;

void Put32(Bytes &B, uint32_t V) {
  for (int I = 0; I < 4; I++) B.push_back(static_cast<uint8_t>(V >> (8 * I)));
}

/// The record part of a status code (behind the 20-byte header).
Bytes RecordOf(const StatusCodeRecord &Code) { return Bytes(Code.Data.begin() + 20, Code.Data.end()); }

/// How many times the configuration register at Address was read.
size_t ReadsOf(const RunReport &R, uint64_t Address) {
  size_t Count = 0;
  for (const TraceEntry &T : R.Trace) Count += (T.Kind == "mmio-read32" && T.Address == 0x80000000u + Address);
  return Count;
}

}  // namespace

TEST(VornEwlMapSeverity, KnownSeveritiesMapToThemselves) {
  Emulator E{Scenario{}};
  E.Activate();
  EXPECT_EQ(VornEwlMapSeverity(0), 0);
  EXPECT_EQ(VornEwlMapSeverity(1), 1);
  EXPECT_EQ(VornEwlMapSeverity(2), 2);
  EXPECT_TRUE(E.Snapshot().Asserts.empty());
}

TEST(VornEwlMapSeverity, UnknownSeverityAssertsAndGivesZero) {
  Emulator E{Scenario{}};
  E.Activate();
  EXPECT_EQ(VornEwlMapSeverity(3), 0);
  EXPECT_EQ(VornEwlMapSeverity(0xFFFFFFFF), 0);
  EXPECT_EQ(E.Snapshot().Asserts.size(), 2u);
}

TEST(VornEwlReportResetError, RecordBytesCarryTheRegistersAndTheResetDetail) {
  Scenario S;
  S.Fs1 = 0x00A50002;
  S.Fs2 = 0x00000400;
  Emulator E{S};
  E.Activate();
  VornEwlReportResetError();

  const auto &Codes = E.Core().StatusCodes();
  ASSERT_EQ(Codes.size(), 1u);
  EXPECT_EQ(Codes[0].Type, 0x40000002u);
  EXPECT_EQ(Codes[0].Value, 0x00020000u);
  EXPECT_EQ(Codes[0].Instance, 0u);
  EXPECT_EQ(std::memcmp(&Codes[0].CallerId, &gEfiCallerIdGuid, 16), 0);
  Bytes Expected{0x11, 0, 0, 0, 42, 0, 1, 0, 0, 0, 0x01, 0x01, 0x01, 0x02, 0, 0, 0, 0};
  Put32(Expected, 0x00A50002);
  Put32(Expected, 0x00000400);
  Expected.insert(Expected.end(), {0x00, 0x00, 0x12, 0x12});
  Expected.insert(Expected.end(), 12, 0);
  EXPECT_EQ(RecordOf(Codes[0]), Expected);
  EXPECT_EQ(Codes[0].Data[2], 42);
}

TEST(VornEwlReportResetError, MakesNoTypeTestAndCopiesAnAbsentDeviceRaw) {
  Scenario S;
  S.VornPresent = false;  // every configuration register reads all ones
  Emulator E{S};
  E.Activate();
  VornEwlReportResetError();
  ASSERT_EQ(E.Core().StatusCodes().size(), 1u);
  const Bytes Record = RecordOf(E.Core().StatusCodes()[0]);
  ASSERT_EQ(Record.size(), 42u);
  EXPECT_EQ(Bytes(Record.begin() + 18, Record.begin() + 26), Bytes(8, 0xFF));
  EXPECT_EQ(Bytes(Record.begin() + 26, Record.begin() + 30), (Bytes{0x00, 0x00, 0x12, 0x12}));
  EXPECT_EQ(Bytes(Record.begin() + 30, Record.end()), Bytes(12, 0));
}

TEST(VornEwlReportStateError, RecordBytesCarryTheFiveRegistersInOrder) {
  Scenario S;
  S.Fs1 = 0x00000002;
  S.Fs2 = 0x00000400;
  S.Fn1 = 0xFFFFFFFF;
  S.Fn4 = 0x44332211;
  S.Fn6 = 0x00C0FFEE;
  S.Trace = true;
  Emulator E{S};
  E.Activate();
  VornEwlReportStateError();

  const RunReport R = E.Snapshot();
  ASSERT_EQ(R.StatusCodes.size(), 1u);
  Bytes Expected{0x10, 0, 0, 0, 38, 0, 2, 0, 0, 0, 0x01, 0x01, 0x02, 0x00, 0, 0, 0, 0};
  for (uint32_t V : {0x00000002u, 0x00000400u, 0xFFFFFFFFu, 0x44332211u, 0x00C0FFEEu}) Put32(Expected, V);
  EXPECT_EQ(RecordOf(R.StatusCodes[0]), Expected);
  EXPECT_EQ(R.StatusCodes[0].Data[2], 38) << "wrapper Size";
  EXPECT_EQ(R.Records, (std::vector<std::string>{"state"}));
}

TEST(VornEwlReportStateError, RegistersAreTheValuesAtTheMomentOfTheReport) {
  Scenario S;
  S.Fs1 = 0x00000002;
  Emulator E{S};
  E.Activate();
  E.Vorn().Write(VornDevice::Register::Fs1, 0x00100005);
  E.Vorn().Write(VornDevice::Register::Fn1, 0x0000ABCD);
  VornEwlReportStateError();
  ASSERT_EQ(E.Core().StatusCodes().size(), 1u);
  const Bytes Record = RecordOf(E.Core().StatusCodes()[0]);
  EXPECT_EQ(Bytes(Record.begin() + 18, Record.begin() + 22), (Bytes{0x05, 0x00, 0x10, 0x00}));
  EXPECT_EQ(Bytes(Record.begin() + 26, Record.begin() + 30), (Bytes{0xCD, 0xAB, 0x00, 0x00}));
}

TEST(VornEwlReportStateError, NothingIsReportedOrReadUnlessQuarnFirmwareRuns) {
  Scenario S;
  S.DwrSts = 0x8000;  // DWR flow: the firmware type is "disabled"
  S.Trace = true;
  Emulator E{S};
  E.Activate();
  VornEwlReportStateError();
  const RunReport R = E.Snapshot();
  EXPECT_TRUE(R.StatusCodes.empty());
  EXPECT_EQ(ReadsOf(R, 0xC1040), 0u);
  EXPECT_EQ(ReadsOf(R, 0xC4040), 0u);
  EXPECT_EQ(ReadsOf(R, 0xC6040), 0u);
}
