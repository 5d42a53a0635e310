// The emulated PEI core's move to permanent memory, and the emulated MP services.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesTablePointerLib.h>
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>
}

#include <cstring>

#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"
#include "Emulator/PeiCore/MpServices.h"

using namespace quarn::emu;

namespace {

constexpr EFI_GUID kProbeGuid = {0xA1A2A3A4, 0xB1B2, 0xC1C2, {1, 2, 3, 4, 5, 6, 7, 8}};
constexpr EFI_GUID kTriggerGuid = {0xD1D2D3D4, 0xE1E2, 0xF1F2, {8, 7, 6, 5, 4, 3, 2, 1}};

/// Pool memory of the PEI core, as a module would get it.
void *Pool(PeiCore &Core, UINTN Size) {
  VOID *Buffer = nullptr;
  CONST EFI_PEI_SERVICES **Services = Core.Services();
  EXPECT_EQ((*Services)->AllocatePool(Services, Size, &Buffer), EFI_SUCCESS);
  return Buffer;
}

/// What the notification callbacks of these tests saw.
struct Calls {
  int Count = 0;
  EFI_PEI_NOTIFY_DESCRIPTOR *Descriptor = nullptr;
  void *Ppi = nullptr;
};
Calls gSeen;  // test-side record only; the callbacks carry no context

EFI_STATUS EFIAPI Record(EFI_PEI_SERVICES **, EFI_PEI_NOTIFY_DESCRIPTOR *Descriptor, VOID *Ppi) {
  gSeen.Count++;
  gSeen.Descriptor = Descriptor;
  gSeen.Ppi = Ppi;
  return EFI_SUCCESS;
}

class Migration : public ::testing::Test {
 protected:
  Migration() : E(Scenario{}) {
    E.Activate();
    gSeen = {};
  }
  Emulator E;
};

TEST_F(Migration, HobListAndPoolAreCopiedAndTheOldMemoryPoisoned) {
  PeiCore &Core = E.Core();
  auto *Data = static_cast<uint8_t *>(BuildGuidHob(&kProbeGuid, 16));
  ASSERT_NE(Data, nullptr);
  std::memset(Data, 0x42, 16);
  auto *Bytes = static_cast<uint8_t *>(Pool(Core, 8));
  std::memset(Bytes, 0x17, 8);
  uint8_t *OldBase = Core.MemoryBase();
  const uint32_t Used = Core.HobBytesUsed();

  Core.MigrateToPermanentMemory();

  ASSERT_NE(Core.MemoryBase(), OldBase);
  EXPECT_EQ(Core.HobBytesUsed(), Used);
  auto Hobs = FindGuidHobs(Core, kProbeGuid);
  ASSERT_EQ(Hobs.size(), 1u);
  const uint8_t *Moved = reinterpret_cast<uint8_t *>(Hobs[0]) + sizeof(EFI_HOB_GUID_TYPE);
  EXPECT_EQ(Moved - Core.MemoryBase(), Data - OldBase);
  EXPECT_EQ(Moved[15], 0x42);
  EXPECT_EQ(Core.MemoryBase()[Bytes - OldBase], 0x17);
  EXPECT_EQ(Data[0], PeiCore::kPoison);
  EXPECT_EQ(Bytes[0], PeiCore::kPoison);

  // The module's own walk finds the moved HOB, through the moved services word.
  EXPECT_EQ(GetFirstGuidHob(&kProbeGuid), Hobs[0]);
  // New pool comes from permanent memory.
  EXPECT_TRUE(Core.InTemporaryMemory(Pool(Core, 8)));
}

TEST_F(Migration, ServicesWordIdtAndHandoffFollowTheMove) {
  PeiCore &Core = E.Core();
  Core.MigrateToPermanentMemory();

  EXPECT_EQ(GetPeiServicesTablePointer(), Core.Services());
  const uintptr_t Idt = reinterpret_cast<uintptr_t>(Core.MemoryBase()) + PeiCore::kIdtOffset;
  for (const Processor &P : E.GetBoard().Processors()) EXPECT_EQ(P.IdtBase, Idt);

  auto *Phit = static_cast<EFI_HOB_HANDOFF_INFO_TABLE *>(Core.HobList());
  const uintptr_t Base = reinterpret_cast<uintptr_t>(Core.MemoryBase());
  EXPECT_EQ(Phit->EfiMemoryBottom, Base);
  EXPECT_EQ(Phit->EfiMemoryTop, Base + Core.MemorySize());
  EXPECT_EQ(Phit->EfiEndOfHobList,
            reinterpret_cast<uintptr_t>(Core.HobList()) + Core.HobBytesUsed() - sizeof(EFI_HOB_GENERIC_HEADER));
  EXPECT_EQ(static_cast<EFI_HOB_GENERIC_HEADER *>(reinterpret_cast<void *>(uintptr_t(Phit->EfiEndOfHobList)))->HobType,
            EFI_HOB_TYPE_END_OF_HOB_LIST);
}

TEST_F(Migration, PpiDescriptorsAndTheirPointersIntoMovedMemoryAreRepointed) {
  PeiCore &Core = E.Core();
  // A descriptor in the pool with its GUID and its PPI there too.
  auto *Guid = static_cast<EFI_GUID *>(Pool(Core, sizeof(EFI_GUID)));
  *Guid = kProbeGuid;
  void *Interface = Pool(Core, 16);
  auto *InPool = static_cast<EFI_PEI_PPI_DESCRIPTOR *>(Pool(Core, sizeof(EFI_PEI_PPI_DESCRIPTOR)));
  *InPool = {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, Guid, Interface};
  ASSERT_EQ(Core.InstallPpi(InPool), EFI_SUCCESS);
  // A descriptor outside PEI memory whose PPI lies in the pool.
  void *Interface2 = Pool(Core, 16);
  EFI_PEI_PPI_DESCRIPTOR Outside = {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                    const_cast<EFI_GUID *>(&kTriggerGuid), Interface2};
  ASSERT_EQ(Core.InstallPpi(&Outside), EFI_SUCCESS);
  const ptrdiff_t InterfaceOffset = static_cast<uint8_t *>(Interface) - Core.MemoryBase();
  const ptrdiff_t Interface2Offset = static_cast<uint8_t *>(Interface2) - Core.MemoryBase();
  const ptrdiff_t DescriptorOffset = reinterpret_cast<uint8_t *>(InPool) - Core.MemoryBase();

  Core.MigrateToPermanentMemory();

  EFI_PEI_PPI_DESCRIPTOR *Found = nullptr;
  void *Ppi = nullptr;
  ASSERT_EQ(Core.LocatePpi(kProbeGuid, 0, &Found, &Ppi), EFI_SUCCESS);
  EXPECT_EQ(reinterpret_cast<uint8_t *>(Found), Core.MemoryBase() + DescriptorOffset);
  EXPECT_EQ(Ppi, Core.MemoryBase() + InterfaceOffset);
  EXPECT_TRUE(Core.InTemporaryMemory(Found->Guid));
  ASSERT_EQ(Core.LocatePpi(kTriggerGuid, 0, &Found, &Ppi), EFI_SUCCESS);
  EXPECT_EQ(Found, &Outside);
  EXPECT_EQ(Ppi, Core.MemoryBase() + Interface2Offset);
}

// A constant descriptor list, as a module keeps it in flash: the move must not write it.
int gOutsideInterface;
const EFI_PEI_PPI_DESCRIPTOR kReadOnlyList[] = {
    {EFI_PEI_PPI_DESCRIPTOR_PPI, const_cast<EFI_GUID *>(&kProbeGuid), &gOutsideInterface},
    {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, const_cast<EFI_GUID *>(&kTriggerGuid),
     &gOutsideInterface}};
const EFI_PEI_NOTIFY_DESCRIPTOR kReadOnlyNotify = {
    EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
    const_cast<EFI_GUID *>(&gEfiPeiMemoryDiscoveredPpiGuid), Record};

TEST_F(Migration, ReadOnlyDescriptorsPointingElsewhereAreLeftUntouched) {
  PeiCore &Core = E.Core();
  ASSERT_EQ(Core.InstallPpi(kReadOnlyList), EFI_SUCCESS);
  CONST EFI_PEI_SERVICES **Services = Core.Services();
  ASSERT_EQ((*Services)->NotifyPpi(Services, &kReadOnlyNotify), EFI_SUCCESS);

  Core.MigrateToPermanentMemory();  // would fault writing .rodata

  void *Ppi = nullptr;
  ASSERT_EQ(Core.LocatePpi(kTriggerGuid, 0, nullptr, &Ppi), EFI_SUCCESS);
  EXPECT_EQ(Ppi, &gOutsideInterface);
  EXPECT_EQ(gSeen.Count, 1);
  EXPECT_EQ(gSeen.Descriptor, &kReadOnlyNotify);
}

TEST_F(Migration, NotifyDescriptorInMovedMemoryStillRunsFromItsNewPlace) {
  PeiCore &Core = E.Core();
  auto *Guid = static_cast<EFI_GUID *>(Pool(Core, sizeof(EFI_GUID)));
  *Guid = kTriggerGuid;
  auto *Notify = static_cast<EFI_PEI_NOTIFY_DESCRIPTOR *>(Pool(Core, sizeof(EFI_PEI_NOTIFY_DESCRIPTOR)));
  *Notify = {EFI_PEI_PPI_DESCRIPTOR_NOTIFY_CALLBACK | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST, Guid, Record};
  CONST EFI_PEI_SERVICES **Services = Core.Services();
  ASSERT_EQ((*Services)->NotifyPpi(Services, Notify), EFI_SUCCESS);
  const ptrdiff_t Offset = reinterpret_cast<uint8_t *>(Notify) - Core.MemoryBase();

  Core.MigrateToPermanentMemory();
  EXPECT_EQ(reinterpret_cast<uint8_t *>(Notify)[0], PeiCore::kPoison);  // only the moved copy is left
  int Interface = 0;
  ASSERT_EQ(Core.InstallPpi(kTriggerGuid, &Interface), EFI_SUCCESS);

  EXPECT_EQ(gSeen.Count, 1);
  EXPECT_EQ(reinterpret_cast<uint8_t *>(gSeen.Descriptor), Core.MemoryBase() + Offset);
  EXPECT_EQ(gSeen.Ppi, &Interface);
}

TEST_F(Migration, MemoryDiscoveredIsInstalledOnceAndNotifiesOnce) {
  PeiCore &Core = E.Core();
  CONST EFI_PEI_SERVICES **Services = Core.Services();
  ASSERT_EQ((*Services)->NotifyPpi(Services, &kReadOnlyNotify), EFI_SUCCESS);
  EXPECT_EQ(Core.LocatePpi(gEfiPeiMemoryDiscoveredPpiGuid, 0, nullptr, nullptr), EFI_NOT_FOUND);

  Core.MigrateToPermanentMemory();
  uint8_t *Base = Core.MemoryBase();
  Core.MigrateToPermanentMemory();

  EXPECT_TRUE(Core.Migrated());
  EXPECT_EQ(Core.MemoryBase(), Base);
  EXPECT_EQ(gSeen.Count, 1);
  EXPECT_EQ(gSeen.Ppi, nullptr);
  void *Ppi = reinterpret_cast<void *>(1);
  EXPECT_EQ(Core.LocatePpi(gEfiPeiMemoryDiscoveredPpiGuid, 0, nullptr, &Ppi), EFI_SUCCESS);
  EXPECT_EQ(Core.LocatePpi(gEfiPeiMemoryDiscoveredPpiGuid, 1, nullptr, &Ppi), EFI_NOT_FOUND);
}

// --- MP services ------------------------------------------------------------------------

VOID EFIAPI StoreProcessorNumberInMm7(VOID *Buffer) {
  auto *B = dynamic_cast<Board *>(GetCpuIntrinsicsBackend());
  B->CurrentProcessor().Mm[7] = B->CurrentProcessorIndex() * 0x100 + *static_cast<uint8_t *>(Buffer);
}

VOID EFIAPI StopTheRun(VOID *) { throw RunStopped("dead-loop", "procedure on an AP"); }

class MpServicesPpi : public ::testing::Test {
 protected:
  explicit MpServicesPpi(unsigned Processors = 4)
      : E([&] {
          Scenario S;
          S.Processors = Processors;
          return S;
        }()) {
    E.Activate();
  }
  EFI_STATUS StartupAllAps(EFI_AP_PROCEDURE Procedure, void *Argument) {
    EFI_PEI_MP_SERVICES_PPI *Mp = E.Mp().Ppi();
    return Mp->StartupAllAPs(E.Core().Services(), Mp, Procedure, FALSE, 0, Argument);
  }
  Emulator E;
};

TEST_F(MpServicesPpi, RunsTheProcedureOnEachApWithItsOwnRegisters) {
  uint8_t Argument = 0x5;
  EXPECT_EQ(StartupAllAps(StoreProcessorNumberInMm7, &Argument), EFI_SUCCESS);
  auto &Processors = E.GetBoard().Processors();
  EXPECT_EQ(Processors[0].Mm[7], 0u);  // the boot processor does not run it
  for (size_t P = 1; P < 4; P++) EXPECT_EQ(Processors[P].Mm[7], P * 0x100 + 5);
  EXPECT_EQ(E.GetBoard().CurrentProcessorIndex(), 0u);
  EXPECT_EQ(E.Mp().StartupAllApsCalls(), 1u);
}

TEST_F(MpServicesPpi, EveryCallIsRecordedWithItsArguments) {
  uint64_t Argument = 0x1122334455667788ull;
  EFI_PEI_MP_SERVICES_PPI *Mp = E.Mp().Ppi();
  EXPECT_EQ(Mp->StartupAllAPs(E.Core().Services(), Mp, StoreProcessorNumberInMm7, TRUE, 250, &Argument), EFI_SUCCESS);
  EXPECT_EQ(Mp->StartupAllAPs(E.Core().Services(), Mp, nullptr, FALSE, 0, nullptr), EFI_INVALID_PARAMETER);
  ASSERT_EQ(E.Mp().Calls().size(), 2u);
  const StartupAllApsCall &First = E.Mp().Calls()[0];
  EXPECT_EQ(First.Procedure, &StoreProcessorNumberInMm7);
  EXPECT_TRUE(First.SingleThread);
  EXPECT_EQ(First.TimeoutInMicroSeconds, 250u);
  EXPECT_EQ(First.Argument, &Argument);
  const StartupAllApsCall &Second = E.Mp().Calls()[1];
  EXPECT_EQ(Second.Procedure, nullptr);  // refused calls are recorded too
  EXPECT_FALSE(Second.SingleThread);
  EXPECT_EQ(Second.TimeoutInMicroSeconds, 0u);
  EXPECT_EQ(Second.Argument, nullptr);
}

TEST_F(MpServicesPpi, RefusesWhatThePpiRefuses) {
  uint8_t Argument = 0;
  EXPECT_EQ(StartupAllAps(nullptr, &Argument), EFI_INVALID_PARAMETER);
  E.GetBoard().SelectProcessor(2);
  EXPECT_EQ(StartupAllAps(StoreProcessorNumberInMm7, &Argument), EFI_DEVICE_ERROR);
  E.GetBoard().SelectProcessor(0);
  for (const Processor &P : E.GetBoard().Processors()) EXPECT_EQ(P.Mm[7], 0u);
}

TEST_F(MpServicesPpi, BootProcessorIsSelectedAgainWhenAProcedureIsStopped) {
  EXPECT_THROW(StartupAllAps(StopTheRun, nullptr), RunStopped);
  EXPECT_EQ(E.GetBoard().CurrentProcessorIndex(), 0u);
}

class MpServicesSingleProcessor : public MpServicesPpi {
 protected:
  MpServicesSingleProcessor() : MpServicesPpi(1) {}
};

TEST_F(MpServicesSingleProcessor, NoApsMeansNotStarted) {
  uint8_t Argument = 0;
  EXPECT_EQ(StartupAllAps(StoreProcessorNumberInMm7, &Argument), EFI_NOT_STARTED);
}

TEST(MpServicesInstall, ScenarioDecidesWhenThePpiAppears) {
  struct Case {
    MpServicesWhen When;
    bool AtEntry, AfterRun;
  };
  for (Case C : {Case{MpServicesWhen::BeforeEntry, true, true}, Case{MpServicesWhen::AfterMemory, false, true},
                 Case{MpServicesWhen::Never, false, false}}) {
    Scenario S;
    S.MpServices = C.When;
    Emulator E{S};
    void *Ppi = nullptr;
    EXPECT_EQ(E.Core().LocatePpi(gEfiPeiMpServicesPpiGuid, 0, nullptr, &Ppi) == EFI_SUCCESS, C.AtEntry);
    E.Run();
    EXPECT_EQ(E.Core().LocatePpi(gEfiPeiMpServicesPpiGuid, 0, nullptr, &Ppi) == EFI_SUCCESS, C.AfterRun);
  }
}

}  // namespace
