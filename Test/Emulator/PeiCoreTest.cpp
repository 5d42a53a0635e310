// The emulated PEI core as the module meets it: bounded HOB and pool space, PPI lookup
// and notifications, boot mode, status codes.
#include <gtest/gtest.h>

#include <cstring>

#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"

using namespace quarn::emu;

namespace {

constexpr EFI_GUID kGuid = {0xA1, 0xB2, 0xC3, {1, 2, 3, 4, 5, 6, 7, 8}};

struct Seen {
  static inline int Calls = 0;
  static inline void *LastPpi = nullptr;
  static EFI_STATUS EFIAPI Callback(EFI_PEI_SERVICES **, EFI_PEI_NOTIFY_DESCRIPTOR *, VOID *Ppi) {
    Calls++;
    LastPpi = Ppi;
    return EFI_SUCCESS;
  }
};

}  // namespace

TEST(PeiCore, HobListOpensWithThePhitAndEndsWithTheEndHob) {
  Emulator E{Scenario{}};
  auto Hobs = ListHobs(E.Core());
  ASSERT_EQ(Hobs.size(), 1u);
  EXPECT_EQ(Hobs[0]->HobType, EFI_HOB_TYPE_HANDOFF);
  auto *End = reinterpret_cast<EFI_HOB_GENERIC_HEADER *>(reinterpret_cast<uint8_t *>(Hobs[0]) + Hobs[0]->HobLength);
  EXPECT_EQ(End->HobType, EFI_HOB_TYPE_END_OF_HOB_LIST);
}

TEST(PeiCore, CreateHobRoundsUpAppendsAndFailsPastTheSpace) {
  Scenario S;
  S.HobSpace = 56 + 8 + 32 + 8;
  Emulator E{S};
  CONST EFI_PEI_SERVICES **Services = E.Core().Services();
  VOID *Hob = nullptr;
  EXPECT_EQ((*Services)->CreateHob(Services, EFI_HOB_TYPE_GUID_EXTENSION, 30, &Hob), EFI_SUCCESS);
  ASSERT_NE(Hob, nullptr);
  EXPECT_EQ(static_cast<EFI_HOB_GENERIC_HEADER *>(Hob)->HobLength, 32);
  EXPECT_EQ((*Services)->CreateHob(Services, EFI_HOB_TYPE_GUID_EXTENSION, 24, &Hob), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(ListHobs(E.Core()).size(), 2u);
}

TEST(PeiCore, LocatePpiFindsInstancesAndReportsAbsence) {
  Emulator E{Scenario{}};
  int First = 1, Second = 2;
  E.Core().InstallPpi(kGuid, &First);
  E.Core().InstallPpi(kGuid, &Second);
  CONST EFI_PEI_SERVICES **Services = E.Core().Services();
  VOID *Ppi = nullptr;
  EXPECT_EQ((*Services)->LocatePpi(Services, &kGuid, 1, nullptr, &Ppi), EFI_SUCCESS);
  EXPECT_EQ(Ppi, &Second);
  EXPECT_EQ((*Services)->LocatePpi(Services, &kGuid, 2, nullptr, &Ppi), EFI_NOT_FOUND);
  constexpr EFI_GUID Other = {9, 9, 9, {9}};
  EXPECT_EQ((*Services)->LocatePpi(Services, &Other, 0, nullptr, &Ppi), EFI_NOT_FOUND);
}

TEST(PeiCore, NotificationRunsOnInstallAndAtOnceForAnInstalledPpi) {
  Seen::Calls = 0;
  const EFI_PEI_NOTIFY_DESCRIPTOR Notify = {
      EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, const_cast<EFI_GUID *>(&kGuid),
      Seen::Callback};
  int Value = 7;
  {
    Emulator E{Scenario{}};
    CONST EFI_PEI_SERVICES **Services = E.Core().Services();
    EXPECT_EQ((*Services)->NotifyPpi(Services, &Notify), EFI_SUCCESS);
    EXPECT_EQ(Seen::Calls, 0);
    E.Core().InstallPpi(kGuid, &Value);
    EXPECT_EQ(Seen::Calls, 1);
    EXPECT_EQ(Seen::LastPpi, &Value);
  }

  Emulator Late{Scenario{}};
  Seen::Calls = 0;
  Late.Core().InstallPpi(kGuid, &Value);
  CONST EFI_PEI_SERVICES **LateServices = Late.Core().Services();
  (*LateServices)->NotifyPpi(LateServices, &Notify);
  EXPECT_EQ(Seen::Calls, 1);
}

TEST(PeiCore, BootModeAndItsFailure) {
  Scenario S;
  S.BootMode = BOOT_ON_S3_RESUME;
  EFI_BOOT_MODE Mode = 0;
  {
    Emulator E{S};
    CONST EFI_PEI_SERVICES **Services = E.Core().Services();
    EXPECT_EQ((*Services)->GetBootMode(Services, &Mode), EFI_SUCCESS);
    EXPECT_EQ(Mode, BOOT_ON_S3_RESUME);
  }

  Scenario Broken;
  Broken.GetBootModeStatus = EFI_DEVICE_ERROR;
  Emulator F{Broken};
  CONST EFI_PEI_SERVICES **BrokenServices = F.Core().Services();
  Mode = 0x77;
  EXPECT_EQ((*BrokenServices)->GetBootMode(BrokenServices, &Mode), EFI_DEVICE_ERROR);
  EXPECT_EQ(Mode, 0x77u);
}

TEST(PeiCore, PoolIsBounded) {
  Scenario S;
  S.PoolSpace = 64;
  Emulator E{S};
  CONST EFI_PEI_SERVICES **Services = E.Core().Services();
  VOID *A = nullptr, *B = nullptr;
  EXPECT_EQ((*Services)->AllocatePool(Services, 31, &A), EFI_SUCCESS);
  EXPECT_EQ((*Services)->AllocatePool(Services, 31, &B), EFI_SUCCESS);
  EXPECT_NE(A, B);
  EXPECT_EQ((*Services)->AllocatePool(Services, 1, &B), EFI_OUT_OF_RESOURCES);
}

TEST(PeiCore, StatusCodesAreKeptWholeAndAnsweredAsScripted) {
  Scenario S;
  S.StatusCodeHandler = false;
  Emulator E{S};
  CONST EFI_PEI_SERVICES **Services = E.Core().Services();
  alignas(4) uint8_t Buffer[24] = {20, 0, 4, 0};
  std::memcpy(Buffer + 20, "\x10\x00\x00\x00", 4);
  EXPECT_EQ((*Services)->ReportStatusCode(Services, 0x40000002, 0x00020000, 0, &kGuid,
                                          reinterpret_cast<EFI_STATUS_CODE_DATA *>(Buffer)),
            EFI_NOT_AVAILABLE_YET);
  ASSERT_EQ(E.Core().StatusCodes().size(), 1u);
  const StatusCodeRecord &Record = E.Core().StatusCodes()[0];
  EXPECT_EQ(Record.Type, 0x40000002u);
  EXPECT_EQ(Record.Value, 0x00020000u);
  EXPECT_TRUE(Record.HasCallerId);
  EXPECT_EQ(Record.Data.size(), 24u);
}

TEST(PeiCore, FaultPlanFailsTheChosenCall) {
  Emulator E{Scenario{}};
  E.GetBoard().Faults().FailCall("CreateHob", 2);
  CONST EFI_PEI_SERVICES **Services = E.Core().Services();
  VOID *Hob = nullptr;
  EXPECT_EQ((*Services)->CreateHob(Services, 4, 32, &Hob), EFI_SUCCESS);
  EXPECT_FALSE(E.GetBoard().Faults().Fired().has_value());
  E.GetBoard().Clock().Advance(5000);
  EXPECT_EQ((*Services)->GetHobList(Services, &Hob), EFI_SUCCESS);
  const uint64_t At = E.GetBoard().NowNs();
  EXPECT_GE(At, 5000u);
  EXPECT_EQ((*Services)->CreateHob(Services, 4, 32, &Hob), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ((*Services)->CreateHob(Services, 4, 32, &Hob), EFI_SUCCESS);
  // What failed is kept as it was answered: the name, its count, the run's count, the time.
  const std::optional<FiredFault> &Fired = E.GetBoard().Faults().Fired();
  ASSERT_TRUE(Fired.has_value());
  EXPECT_EQ(Fired->Call, "CreateHob");
  EXPECT_EQ(Fired->Nth, 2u);
  EXPECT_EQ(Fired->Point, 3u) << "CreateHob, GetHobList, CreateHob";
  EXPECT_EQ(Fired->TimeNs, At);
  EXPECT_EQ(Fired->Status, EFI_OUT_OF_RESOURCES);
}
