// Firmware type detection on the emulated board: the first and later queries, the type
// values the firmware may report, the disabled conditions, the downgrade of a stored
// type, wrong answers, and type HOBs that are too short or out of reach.
#include <gtest/gtest.h>

#include <Library/VornTypeGetLib.h>

#include "Library/VornFixture.h"

using namespace quarn;
using test::UnusableDrux;
using test::VornBoard;
using test::Words;

namespace {

emu::Scenario Firmware(uint8_t FwType, uint8_t FwSubType) {
  emu::Scenario S;
  S.FwType = FwType;
  S.FwSubType = FwSubType;
  return S;
}

constexpr char kFirstQuarnQuery[] =
    "DRUX: PeiDruxGetVornType start\n"
    "DRUX: PeiDruxGetVornType() - OK: FwType = 1, FwSubType = 0\n"
    "DRUX: PeiDruxGetVornType Status is Success, returns 1\n"
    "DRUX: GetVornTypeFromHob returns 1\n"
    "[DRUX] [VORN] (VornType is VORN_TYPE_QUARN)\n"
    "DRUX: GetVornTypeFromHob returns 1\n";

}  // namespace

// --- first and later queries ------------------------------------------------------------

TEST(VornTypeQuery, FirstQueryOnQuarnAsksOncePrintsInOrderAndStoresTheHob) {
  VornBoard V;
  V.StartConsole();
  EXPECT_EQ(GetVornType(), VORN_TYPE_QUARN);
  EXPECT_EQ(V.Printed(), kFirstQuarnQuery);
  EXPECT_EQ(V.Console(), kFirstQuarnQuery);  // the default level shows info and error lines

  ASSERT_EQ(V.Exchanges().size(), 1u);
  const emu::MessageExchange &X = V.Exchanges()[0];
  EXPECT_EQ(X.Kind, "type");
  EXPECT_EQ(X.Client, 7);
  EXPECT_EQ(X.Request, Words({0x000011F0}));
  EXPECT_EQ(X.RequestLength, 4u);
  EXPECT_EQ(X.Capacity, 8u);
  EXPECT_EQ(V.E.Firmware().StatusQueries(), 1u);

  ASSERT_EQ(V.TypeHobs().size(), 1u);
  VORN_TYPE_HOB *Hob = V.TypeHob();
  ASSERT_NE(Hob, nullptr);
  EXPECT_EQ(Hob->VornType, VORN_TYPE_QUARN);
  EXPECT_EQ(Hob->FwType, 1);
  EXPECT_EQ(Hob->FwSubType, 0);
  // The report reads the same HOB.
  ASSERT_TRUE(V.E.Snapshot().VornTypeHob.has_value());
  EXPECT_EQ(V.E.Snapshot().VornTypeHob->VornType, VORN_TYPE_QUARN);
}

TEST(VornTypeQuery, SecondQueryAnswersFromTheHobWithoutAsking) {
  VornBoard V;
  V.StartConsole();
  ASSERT_EQ(GetVornType(), VORN_TYPE_QUARN);
  V.Mark();
  EXPECT_TRUE(VornTypeIsQuarn());
  EXPECT_EQ(V.PrintedSinceMark(), "DRUX: GetVornTypeFromHob returns 1\n");
  EXPECT_EQ(V.Console(), std::string(kFirstQuarnQuery) + "DRUX: GetVornTypeFromHob returns 1\n");
  EXPECT_EQ(V.Exchanges().size(), 1u);
  EXPECT_EQ(V.TypeHobs().size(), 1u);
}

TEST(VornTypeQuery, TypeLineIsThreeErrorPrintsWithTheNameAsFormat) {
  VornBoard V;
  V.PlantTypeHob(VORN_TYPE_DFX, 1, 3);
  PrintVornType();
  const auto Messages = V.Messages();
  ASSERT_EQ(Messages.size(), 4u);  // the returns line of the nested query, then the three prints
  EXPECT_EQ(Messages[0], "DRUX: GetVornTypeFromHob returns 15\n");
  EXPECT_EQ(Messages[1], "[DRUX] [VORN] (VornType is ");
  EXPECT_EQ(Messages[2], "VORN_TYPE_DFX");
  EXPECT_EQ(Messages[3], ")\n");
}

TEST(VornTypeQuery, StoredValueOutsideTheTablePrintsUnknown) {
  VornBoard V;
  V.PlantTypeHob(7);
  PrintVornType();
  EXPECT_NE(V.Printed().find("(VornType is UNKNOWN)\n"), std::string::npos);
}

// --- what the firmware reports ----------------------------------------------------------

TEST(VornTypeAnswers, DfxSubTypeYieldsDfxWhichIsNotQuarn) {
  VornBoard V{Firmware(1, 3)};
  EXPECT_EQ(GetVornType(), VORN_TYPE_DFX);
  EXPECT_FALSE(VornTypeIsQuarn());
  const std::string Text = V.Printed();
  EXPECT_NE(Text.find("DRUX: PeiDruxGetVornType() - OK: FwType = 1, FwSubType = 3\n"
                      "DRUX: PeiDruxGetVornType DFX FW discovered\n"
                      "DRUX: PeiDruxGetVornType Status is Success, returns 15\n"),
            std::string::npos);
  EXPECT_NE(Text.find("(VornType is VORN_TYPE_DFX)\n"), std::string::npos);
  ASSERT_NE(V.TypeHob(), nullptr);
  EXPECT_EQ(V.TypeHob()->VornType, VORN_TYPE_DFX);
  EXPECT_EQ(V.TypeHob()->FwSubType, 3);
}

TEST(VornTypeAnswers, SubTypeIsAllEightBitsOfTheTypeWord) {
  // FwSubType is bits 10:3: only 3 itself is DFX, not 0x83, 0x43 or 0x0B.
  struct Case {
    uint8_t SubType;
    UINT32 Type;
  };
  for (Case C : {Case{0x03, VORN_TYPE_DFX}, Case{0x83, VORN_TYPE_QUARN}, Case{0x43, VORN_TYPE_QUARN},
                 Case{0x0B, VORN_TYPE_QUARN}, Case{0xFF, VORN_TYPE_QUARN}}) {
    SCOPED_TRACE("sub-type " + std::to_string(C.SubType));
    VornBoard V{Firmware(1, C.SubType)};
    EXPECT_EQ(GetVornType(), C.Type);
    ASSERT_NE(V.TypeHob(), nullptr);
    EXPECT_EQ(V.TypeHob()->FwType, 1);
    EXPECT_EQ(V.TypeHob()->FwSubType, C.SubType);
    EXPECT_NE(V.Printed().find("FwType = 1, FwSubType = " + std::to_string(C.SubType) + "\n"), std::string::npos);
  }
}

TEST(VornTypeAnswers, QuarnTavCountsAsQuarnAndTheHobKeepsFwType2) {
  VornBoard V{Firmware(2, 0)};
  EXPECT_TRUE(VornTypeIsQuarn());
  EXPECT_NE(V.Printed().find("DRUX: PeiDruxGetVornType Use VornType QUARN for QUARN-TAV\n"), std::string::npos);
  ASSERT_NE(V.TypeHob(), nullptr);
  EXPECT_EQ(V.TypeHob()->VornType, VORN_TYPE_QUARN);
  EXPECT_EQ(V.TypeHob()->FwType, 2);
}

TEST(VornTypeAnswers, ClientFirmware) {
  VornBoard V{Firmware(3, 0)};
  EXPECT_EQ(GetVornType(), VORN_TYPE_CLIENT);
  EXPECT_NE(V.Printed().find("(VornType is VORN_TYPE_CLIENT)\n"), std::string::npos);
  EXPECT_EQ(V.TypeHob()->VornType, VORN_TYPE_CLIENT);
}

TEST(VornTypeAnswers, UnknownFwTypeIsUndeterminedNeverStoredAndAskedAgain) {
  for (uint8_t FwType : {0, 4, 5, 6, 7}) {
    emu::Scenario S = Firmware(FwType, 9);
    S.Fs2 = 0x00000400;
    VornBoard V{S};
    UINT8 Type = 0xAA, SubType = 0xAA;
    EXPECT_EQ(PeiDruxGetVornType(&Type, &SubType), VORN_TYPE_UNDEF) << int(FwType);
    // The two bytes are stored whatever FwType is.
    EXPECT_EQ(Type, FwType);
    EXPECT_EQ(SubType, 9);
    EXPECT_NE(V.Printed().find("DRUX: PeiDruxGetVornType() Unknown VORN Type reported by VORN\n"), std::string::npos);

    V.Mark();
    EXPECT_EQ(GetVornType(), VORN_TYPE_UNDEF);
    EXPECT_EQ(GetVornType(), VORN_TYPE_UNDEF);
    EXPECT_EQ(V.ExchangeCount("type"), 3u);
    EXPECT_TRUE(V.TypeHobs().empty());
    EXPECT_NE(V.PrintedSinceMark().find("DRUX: GetVornTypeFromHob returns 238\n"
                                        "DRUX: VORN type not recognized (VORNFS1: 0x00000005, VORNFS2: 0x00000400)\n"),
              std::string::npos);
  }
}

TEST(VornTypeAnswers, OutArgumentsMayBeNull) {
  VornBoard V;
  EXPECT_EQ(PeiDruxGetVornType(nullptr, nullptr), VORN_TYPE_QUARN);
}

// --- conditions that settle the type without asking --------------------------------------

TEST(VornTypeDisabled, CurrentState4WithoutHobStoresDisabledWithoutAsking) {
  emu::Scenario S;
  S.Fs1 = 0x00000004;
  VornBoard V{S};
  EXPECT_EQ(GetVornType(), VORN_TYPE_DISABLED);
  EXPECT_TRUE(V.Exchanges().empty());
  EXPECT_EQ(V.E.Firmware().StatusQueries(), 0u);
  ASSERT_NE(V.TypeHob(), nullptr);
  EXPECT_EQ(V.TypeHob()->VornType, VORN_TYPE_DISABLED);
  EXPECT_EQ(V.TypeHob()->FwType, 0xFF);
  EXPECT_EQ(V.TypeHob()->FwSubType, 0);
  EXPECT_EQ(V.Printed(),
            "DRUX: GetVornTypeFromHob returns 255\n"
            "[DRUX] [VORN] (VornType is VORN_TYPE_DISABLED)\n"
            "DRUX: GetVornTypeFromHob returns 255\n");
}

TEST(VornTypeDisabled, CurrentState4DowngradesStoredQuarnOrDfxInPlace) {
  for (uint32_t Stored : {VORN_TYPE_QUARN, VORN_TYPE_DFX}) {
    VornBoard V;
    VORN_TYPE_HOB *Hob = V.PlantTypeHob(Stored, 1, Stored == VORN_TYPE_DFX ? 3 : 0);
    V.SetFs1(0x00000004);
    EXPECT_EQ(GetVornType(), VORN_TYPE_DISABLED) << Stored;
    EXPECT_EQ(Hob->VornType, VORN_TYPE_DISABLED);
    EXPECT_EQ(Hob->FwType, 1);  // FwType and FwSubType stay
    EXPECT_EQ(Hob->FwSubType, Stored == VORN_TYPE_DFX ? 3 : 0);
    EXPECT_TRUE(V.Exchanges().empty());
    EXPECT_EQ(V.Printed(), "DRUX: GetVornTypeFromHob returns 255\n");
  }
}

TEST(VornTypeDisabled, CurrentState4LeavesStoredClientOrDisabledAlone) {
  for (uint32_t Stored : {VORN_TYPE_CLIENT, VORN_TYPE_DISABLED}) {
    VornBoard V;
    VORN_TYPE_HOB *Hob = V.PlantTypeHob(Stored, 3, 0);
    V.SetFs1(0x00000004);
    EXPECT_EQ(GetVornType(), Stored);
    EXPECT_EQ(Hob->VornType, Stored);
  }
}

TEST(VornTypeDisabled, StoredTypeIsNotDowngradedOutsideState4) {
  VornBoard V;
  VORN_TYPE_HOB *Hob = V.PlantTypeHob(VORN_TYPE_QUARN);
  V.SetFs1(0x00000002);
  EXPECT_EQ(GetVornType(), VORN_TYPE_QUARN);
  EXPECT_EQ(Hob->VornType, VORN_TYPE_QUARN);
}

TEST(VornTypeDisabled, DwrFlowAnswersDisabledOnEveryCallWithoutHobOrMessage) {
  emu::Scenario S;
  S.DwrSts = 0x00008000;
  VornBoard V{S};
  for (int Call = 0; Call < 3; Call++) EXPECT_EQ(GetVornType(), VORN_TYPE_DISABLED);
  EXPECT_TRUE(V.TypeHobs().empty());
  EXPECT_TRUE(V.Exchanges().empty());
  EXPECT_EQ(V.Printed(),
            "DRUX: DWR flow return Disabled type\n"
            "DRUX: DWR flow return Disabled type\n"
            "DRUX: DWR flow return Disabled type\n");
}

TEST(VornTypeDisabled, DwrStsOtherBitsDoNotCount) {
  emu::Scenario S;
  S.DwrSts = 0xFFFF7FFF;
  VornBoard V{S};
  EXPECT_EQ(GetVornType(), VORN_TYPE_QUARN);
}

TEST(VornTypeDisabled, LumoFlowAndAbsentInterfaceAnswerDisabledWithoutHob) {
  {
    emu::Scenario S;
    S.Fs1 = 0x00070005;
    VornBoard V{S};
    EXPECT_EQ(GetVornType(), VORN_TYPE_DISABLED);
    EXPECT_EQ(V.Printed(), "DRUX: QUARN Lumo flow return Disabled type\n");
    EXPECT_TRUE(V.TypeHobs().empty());
  }
  {
    emu::Scenario S;
    S.VornPresent = false;
    VornBoard V{S};
    EXPECT_EQ(GetVornType(), VORN_TYPE_DISABLED);
    EXPECT_EQ(V.Printed(),
              "ERROR: DRUX interface is disabled\n"
              "DRUX: QUARN Lumo flow return Disabled type\n");
    EXPECT_TRUE(V.Exchanges().empty());
  }
}

TEST(VornTypeDisabled, QueryInLumoFlowReturnsDisabledAndLeavesOutArguments) {
  emu::Scenario S;
  S.Fs1 = 0x00070005;
  VornBoard V{S};
  UINT8 Type = 0xAA, SubType = 0xBB;
  EXPECT_EQ(PeiDruxGetVornType(&Type, &SubType), VORN_TYPE_DISABLED);
  EXPECT_EQ(Type, 0xAA);
  EXPECT_EQ(SubType, 0xBB);
  EXPECT_EQ(V.Printed(), "DRUX: PeiDruxGetVornType start\n");
  EXPECT_TRUE(V.Exchanges().empty());
}

// --- wrong or missing answers --------------------------------------------------------------

TEST(VornTypeFailures, HeaderOnlyResponseIsAWrongLength) {
  emu::Scenario S;
  S.TypeOverride.Response = Words({0x000091F0});
  VornBoard V{S};
  EXPECT_EQ(GetVornType(), VORN_TYPE_UNDEF);
  EXPECT_EQ(V.Printed(),
            "DRUX: PeiDruxGetVornType start\n"
            "DRUX: PeiDruxGetVornType - Response: wrong length = 4\n"
            "DRUX: PeiDruxGetVornType Status is Success, returns 238\n"
            "DRUX: GetVornTypeFromHob returns 238\n"
            "DRUX: VORN type not recognized (VORNFS1: 0x00000005, VORNFS2: 0x00000000)\n");
  EXPECT_TRUE(V.TypeHobs().empty());
}

TEST(VornTypeFailures, WrongCommandInTheAnswerHeader) {
  emu::Scenario S;
  S.TypeOverride.Response = Words({0x000092F0, 0x00000001});
  VornBoard V{S};
  EXPECT_EQ(GetVornType(), VORN_TYPE_UNDEF);
  EXPECT_EQ(V.Printed(),
            "DRUX: PeiDruxGetVornType start\n"
            "DRUX: PeiDruxGetVornType Status is Success, returns 238\n"
            "DRUX: GetVornTypeFromHob returns 238\n"
            "DRUX: VORN type not recognized (VORNFS1: 0x00000005, VORNFS2: 0x00000000)\n");
}

TEST(VornTypeFailures, HeaderWithoutResponseBitOrWithOtherGroup) {
  for (uint32_t Header : {0x000011F0u, 0x000091F1u}) {
    emu::Scenario S;
    S.TypeOverride.Response = Words({Header, 0x00000001});
    VornBoard V{S};
    EXPECT_EQ(PeiDruxGetVornType(nullptr, nullptr), VORN_TYPE_UNDEF) << std::hex << Header;
  }
}

TEST(VornTypeFailures, HighHeaderBitsAreNotLookedAt) {
  emu::Scenario S;
  S.TypeOverride.Response = Words({0xABCD91F0, 0xFFFFF801});  // FwType 1, FwSubType 0
  VornBoard V{S};
  UINT8 Type = 0, SubType = 0xAA;
  EXPECT_EQ(PeiDruxGetVornType(&Type, &SubType), VORN_TYPE_QUARN);
  EXPECT_EQ(Type, 1);
  EXPECT_EQ(SubType, 0);
}

TEST(VornTypeFailures, ReportedLengthBeyondTheBufferIsRefusedNotRead) {
  emu::Scenario S;
  S.TypeOverride.ResponseLength = 4096;
  VornBoard V{S};
  EXPECT_EQ(GetVornType(), VORN_TYPE_UNDEF);
  EXPECT_NE(V.Printed().find("wrong length = 4096\n"), std::string::npos);
}

TEST(VornTypeFailures, FailedSendOrRefusedStatusEndsUndetermined) {
  {
    emu::Scenario S;
    S.TypeOverride.Result = EFI_TIMEOUT;
    VornBoard V{S};
    EXPECT_EQ(PeiDruxGetVornType(nullptr, nullptr), VORN_TYPE_UNDEF);
    EXPECT_EQ(V.Printed(),
              "DRUX: PeiDruxGetVornType start\n"
              "DRUX: PeiDruxGetVornType Status is Time out, returns 238\n");
  }
  for (auto [Word, Result] : {std::pair{3u, EFI_SUCCESS}, std::pair{0u, EFI_DEVICE_ERROR}}) {
    emu::Scenario S;
    S.VornStatus = Word;
    S.VornStatusResult = Result;
    VornBoard V{S};
    EXPECT_EQ(PeiDruxGetVornType(nullptr, nullptr), VORN_TYPE_UNDEF);
    EXPECT_TRUE(V.Exchanges().empty());
    EXPECT_EQ(V.Printed(), "DRUX: PeiDruxGetVornType start\n");  // no message of its own
  }
  {
    emu::Scenario S;
    S.VornStatus = 5;
    VornBoard V{S};
    EXPECT_EQ(PeiDruxGetVornType(nullptr, nullptr), VORN_TYPE_QUARN);
  }
}

TEST(VornTypeFailures, MissingPpiAssertsAtItsLineAndEndsUndetermined) {
  // Missing, or installed with a NULL interface or a NULL entry: the same assertion and
  // answer, and nothing is called through the PPI.
  for (UnusableDrux How : {UnusableDrux::NotInstalled, UnusableDrux::NullPpi, UnusableDrux::NullSendWithAck,
                           UnusableDrux::NullGetVornStatus}) {
    SCOPED_TRACE(Describe(How));
    VornBoard V{test::WithUnusableDrux(How)};
    V.StartConsole();
    EXPECT_EQ(PeiDruxGetVornType(nullptr, nullptr), VORN_TYPE_UNDEF);
    EXPECT_EQ(V.Breakpoints(), 1u);
    ASSERT_FALSE(V.E.GetBoard().HaltCodes().empty());
    EXPECT_EQ(V.E.GetBoard().HaltCodes().back().Value, 0xD2u);
    EXPECT_EQ(V.Printed(),
              "DRUX: PeiDruxGetVornType start\n"
              "ERROR: DRUX PPI not installed\n"
              "\nASSERT_EFI_ERROR (Status = Not Found)\n");
    EXPECT_EQ(V.E.Snapshot().Asserts,
              std::vector<std::string>{
                  "ASSERT [QuarnPeiPreMem] Library/VornTypeGetLib/VornTypePeiDruxLib(90): !EFI_ERROR (Status)"});
    EXPECT_TRUE(V.Exchanges().empty());
    EXPECT_EQ(V.E.Firmware().StatusQueries(), 0u);
  }
}

TEST(VornTypeFailures, FailedCreateHobReturnsUndeterminedEvenWhenTheTypeWasKnown) {
  VornBoard V;
  V.E.GetBoard().Faults().FailCall("CreateHob", 1);
  EXPECT_EQ(GetVornTypeFromHob(), VORN_TYPE_UNDEF);
  EXPECT_EQ(V.ExchangeCount("type"), 1u);
  EXPECT_TRUE(V.TypeHobs().empty());
  EXPECT_EQ(V.Printed().find("(VornType is"), std::string::npos);
  // The next query asks again and stores the answer.
  EXPECT_EQ(GetVornTypeFromHob(), VORN_TYPE_QUARN);
  EXPECT_EQ(V.ExchangeCount("type"), 2u);
}

// --- type HOBs that cannot be used ----------------------------------------------------------

TEST(VornTypeShortHob, ShortHobIsSkippedAndAWellFormedOneCreated) {
  VornBoard V;
  // A GUID HOB with the type's name but no room for the record, then an unrelated HOB
  // right behind it, where the record's fields would lie.
  auto *Short = static_cast<EFI_HOB_GUID_TYPE *>(V.E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, 24));
  std::memcpy(&Short->Name, &gVornTypeHobGuid, sizeof(EFI_GUID));
  auto *Behind = static_cast<EFI_HOB_GENERIC_HEADER *>(V.E.Core().AppendHob(0x0003, 16));
  const EFI_HOB_GENERIC_HEADER Before = *Behind;

  EXPECT_EQ(GetVornType(), VORN_TYPE_QUARN);
  EXPECT_EQ(V.Printed(), kFirstQuarnQuery);
  EXPECT_EQ(std::memcmp(Behind, &Before, sizeof Before), 0);
  EXPECT_EQ(Short->Header.HobLength, 24);
  ASSERT_EQ(V.TypeHobs().size(), 2u);
  ASSERT_NE(V.TypeHob(), nullptr);
  EXPECT_NE(reinterpret_cast<void *>(V.TypeHob()), reinterpret_cast<void *>(Short));
  EXPECT_EQ(V.TypeHob()->VornType, VORN_TYPE_QUARN);

  // From now on the well-formed HOB answers.
  V.Mark();
  EXPECT_EQ(GetVornType(), VORN_TYPE_QUARN);
  EXPECT_EQ(V.PrintedSinceMark(), "DRUX: GetVornTypeFromHob returns 1\n");
  EXPECT_EQ(V.Exchanges().size(), 1u);
}

TEST(VornTypeShortHob, DowngradeWritesTheWellFormedHobNeverPastTheShortOne) {
  VornBoard V;
  auto *Short = static_cast<EFI_HOB_GUID_TYPE *>(V.E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, 24));
  std::memcpy(&Short->Name, &gVornTypeHobGuid, sizeof(EFI_GUID));
  VORN_TYPE_HOB *Good = V.PlantTypeHob(VORN_TYPE_QUARN);
  const EFI_HOB_GENERIC_HEADER GoodHeader = Good->Header.Header;
  V.SetFs1(0x00000004);

  EXPECT_EQ(GetVornType(), VORN_TYPE_DISABLED);
  EXPECT_EQ(Good->VornType, VORN_TYPE_DISABLED);
  EXPECT_EQ(std::memcmp(&Good->Header.Header, &GoodHeader, sizeof GoodHeader), 0);
  EXPECT_EQ(V.TypeHobs().size(), 2u);
}

TEST(VornTypeShortHob, OnlyShortHobsCountAsNoHob) {
  emu::Scenario S;
  S.Fs1 = 0x00000004;
  VornBoard V{S};
  for (int I = 0; I < 2; I++) {
    auto *Short = static_cast<EFI_HOB_GUID_TYPE *>(V.E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, 24));
    std::memcpy(&Short->Name, &gVornTypeHobGuid, sizeof(EFI_GUID));
  }
  EXPECT_EQ(GetVornType(), VORN_TYPE_DISABLED);
  ASSERT_EQ(V.TypeHobs().size(), 3u);
  EXPECT_EQ(V.TypeHob()->FwType, 0xFF);
  ASSERT_TRUE(V.E.Snapshot().VornTypeHob.has_value());
  EXPECT_EQ(V.E.Snapshot().VornTypeHob->VornType, VORN_TYPE_DISABLED);
}

TEST(VornTypeShortHob, HobOutOfReachOfTheWalkEndsUndeterminedWithoutRecursion) {
  VornBoard V;
  // A HOB of length 0 ends every walk: whatever is created behind it is never found.
  auto *Broken = static_cast<EFI_HOB_GENERIC_HEADER *>(V.E.Core().AppendHob(0x0003, 8));
  Broken->HobLength = 0;
  EXPECT_EQ(GetVornType(), VORN_TYPE_UNDEF);
  EXPECT_EQ(V.ExchangeCount("type"), 1u);
  EXPECT_EQ(V.Printed().find("(VornType is"), std::string::npos);
}
