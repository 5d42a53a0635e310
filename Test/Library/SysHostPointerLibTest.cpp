// The static pointer table: its HOB and MM7, the validation of a found HOB, slot 9 and
// its PPI, and the move to permanent memory with MM7 reloaded on every processor.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
}
#include <Guid/StaticPointerTableHob.h>
extern "C" {
#include <PiPei.h>
#include <Library/PeiServicesTablePointerLib.h>
#include <Library/SerialPortLib.h>
#include <Ppi/MemoryDiscovered.h>
#include <Ppi/MpServices.h>
}
#include <Library/SysHostPointerLib.h>
#include <Ppi/CpuAndRevision.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"
#include "Emulator/PeiCore/MpServices.h"

using namespace quarn::emu;
using ::testing::HasSubstr;

namespace {

constexpr char kSource[] = "Library/SysHostPointerLib/SysHostPointerLibMm7";
constexpr EFI_GUID kOtherGuid = {0x11111111, 0x2222, 0x3333, {4, 5, 6, 7, 8, 9, 10, 11}};

uint32_t Address(const void *P) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(P)); }

/// A board with the emulated PEI core in place and the seam reaching it.
class StaticPointerTable : public ::testing::Test {
 protected:
  // The console is set up as the constructor list does first, so that assertion lines reach it.
  explicit StaticPointerTable(Scenario S = Scenario{}) : E(std::move(S)) {
    E.Activate();
    SerialPortInitialize();
  }

  uint64_t Mm7(size_t Processor = 0) { return E.GetBoard().Processors()[Processor].Mm[7]; }
  void SetMm7(uint64_t Value, size_t Processor = 0) { E.GetBoard().Processors()[Processor].Mm[7] = Value; }
  std::vector<EFI_HOB_GUID_TYPE *> TableHobs() { return FindGuidHobs(E.Core(), gStaticPointerTableHobGuid); }
  STATIC_POINTER_TABLE *TableOf(EFI_HOB_GUID_TYPE *Hob) {
    return reinterpret_cast<STATIC_POINTER_TABLE *>(reinterpret_cast<uint8_t *>(Hob) + sizeof(EFI_HOB_GUID_TYPE));
  }
  /// A GUID HOB of Length bytes named Name, its data filled with 0x5A.
  STATIC_POINTER_TABLE *MakeHob(const EFI_GUID &Name, uint16_t Length) {
    auto *Hob = static_cast<EFI_HOB_GUID_TYPE *>(E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, Length));
    EXPECT_NE(Hob, nullptr);
    Hob->Name = Name;
    std::memset(TableOf(Hob), 0x5A, Length - sizeof(EFI_HOB_GUID_TYPE));
    return TableOf(Hob);
  }
  /// A record in the PEI pool, as a constructor would allocate it.
  CPU_AND_REVISION_RECORD *PoolRecord() {
    VOID *Buffer = nullptr;
    CONST EFI_PEI_SERVICES **Services = E.Core().Services();
    EXPECT_EQ((*Services)->AllocatePool(Services, sizeof(CPU_AND_REVISION_RECORD), &Buffer), EFI_SUCCESS);
    std::memset(Buffer, 0, sizeof(CPU_AND_REVISION_RECORD));
    return static_cast<CPU_AND_REVISION_RECORD *>(Buffer);
  }
  size_t Breakpoints() { return E.GetBoard().Processors()[0].Breakpoints; }
  std::vector<std::string> Asserts() { return E.Snapshot().Asserts; }
  std::vector<std::string> Messages() { return E.Snapshot().DebugPpi; }
  /// The messages that contain Text.
  size_t MessagesWith(const std::string &Text) {
    auto All = Messages();
    return std::count_if(All.begin(), All.end(),
                         [&](const std::string &M) { return M.find(Text) != std::string::npos; });
  }
  bool DeadLoopSignalled() {
    for (const HaltCode &H : E.GetBoard().HaltCodes()) {
      if (H.Port == Board::kBoardHaltPort && H.Value == 0x4C6F6F70) return true;
    }
    return false;
  }

  Emulator E;
};

// --- creation ---------------------------------------------------------------------

TEST_F(StaticPointerTable, FirstInitBuildsZeroedTableHobAndLoadsMm7) {
  const size_t Notifies = E.Core().NotifyCount();
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);

  auto Hobs = TableHobs();
  ASSERT_EQ(Hobs.size(), 1u);
  EXPECT_EQ(Hobs[0]->Header.HobLength, 288);
  STATIC_POINTER_TABLE *Table = TableOf(Hobs[0]);
  const std::vector<uint8_t> Zero(sizeof(STATIC_POINTER_TABLE), 0);
  EXPECT_EQ(std::memcmp(Table, Zero.data(), Zero.size()), 0);
  EXPECT_EQ(Mm7(), uint64_t{Address(Table)});
  EXPECT_EQ(GetStaticPointerTable(), Table);
  EXPECT_EQ(E.Core().NotifyCount(), Notifies + 1);
  EXPECT_EQ(Breakpoints(), 0u);
}

TEST_F(StaticPointerTable, SecondInitReusesTheTableAndRegistersNothing) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  STATIC_POINTER_TABLE *Table = GetStaticPointerTable();
  const size_t Notifies = E.Core().NotifyCount();
  const uint32_t HobBytes = E.Core().HobBytesUsed();

  SetMm7(0);  // as if the register had been lost: the next init reloads it from the HOB
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);

  EXPECT_EQ(TableHobs().size(), 1u);
  EXPECT_EQ(E.Core().HobBytesUsed(), HobBytes);
  EXPECT_EQ(E.Core().NotifyCount(), Notifies);
  EXPECT_EQ(Mm7(), uint64_t{Address(Table)});
  EXPECT_EQ(Breakpoints(), 0u);
}

TEST_F(StaticPointerTable, ReadingTheAddressIsOneRegisterMoveAndNothingElse) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  const uint64_t Accesses = E.GetBoard().AccessCount();
  STATIC_POINTER_TABLE *Table = GetStaticPointerTable();
  // No HOB walk and no PPI lookup: either would read the IDTR for the services table first.
  EXPECT_EQ(E.GetBoard().AccessCount(), Accesses + 1);
  EXPECT_EQ(Table, TableOf(TableHobs()[0]));
}

TEST_F(StaticPointerTable, HobThatCannotBeBuiltLeavesMm7AloneAndReportsIt) {
  E.GetBoard().Faults().FailCall("CreateHob", 1);
  SetMm7(0);

  EXPECT_EQ(StaticPointerTableInit(), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(Mm7(), 0u);
  EXPECT_EQ(GetStaticPointerTable(), nullptr);
  EXPECT_TRUE(TableHobs().empty());
  EXPECT_GE(Breakpoints(), 1u);
}

TEST_F(StaticPointerTable, UnreadableHobListBuildsNoSecondTable) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);  // GetHobList call 1
  STATIC_POINTER_TABLE *Table = GetStaticPointerTable();
  const size_t Notifies = E.Core().NotifyCount();
  const size_t Ppis = E.Core().InstalledPpiCount();
  CPU_AND_REVISION_RECORD *Record = PoolRecord();
  E.GetBoard().Faults().FailCall("GetHobList", 2);

  SetCpuAndRevisionPointer(Record);  // its init cannot see the table

  EXPECT_EQ(TableHobs().size(), 1u);
  EXPECT_EQ(E.Core().NotifyCount(), Notifies);
  EXPECT_EQ(E.Core().InstalledPpiCount(), Ppis);
  EXPECT_EQ(Mm7(), uint64_t{Address(Table)});
  EXPECT_EQ(Table->Pointer[POINTER_TYPE_CPU_AND_REVISION], 0u);
  EXPECT_GE(Breakpoints(), 1u);
}

TEST_F(StaticPointerTable, UnreadableHobListAtFirstInitBuildsNothing) {
  E.GetBoard().Faults().FailCall("GetHobList", 1);
  EXPECT_EQ(StaticPointerTableInit(), EFI_NOT_READY);
  EXPECT_TRUE(TableHobs().empty());
  EXPECT_EQ(Mm7(), 0u);
}

TEST_F(StaticPointerTable, FailingNotificationIsReportedAndTheTableStillLoaded) {
  E.GetBoard().Faults().FailCall("NotifyPpi", 1);

  EXPECT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  ASSERT_EQ(TableHobs().size(), 1u);
  EXPECT_EQ(Mm7(), uint64_t{Address(TableOf(TableHobs()[0]))});
  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_EQ(MessagesWith("ASSERT_EFI_ERROR (Status = Out of Resources)"), 1u);
}

// --- validation ---------------------------------------------------------------------

TEST_F(StaticPointerTable, RightNameAndLengthPassSilently) {
  ValidateStaticPointerTable(MakeHob(gStaticPointerTableHobGuid, 288));
  EXPECT_EQ(Breakpoints(), 0u);
}

TEST_F(StaticPointerTable, WrongNameAloneIsReportedAndValidationReturns) {
  ValidateStaticPointerTable(MakeHob(kOtherGuid, 288));
  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_FALSE(DeadLoopSignalled());
  ASSERT_EQ(Asserts().size(), 1u);
  EXPECT_THAT(Asserts()[0], HasSubstr(std::string(kSource) + "("));
  EXPECT_THAT(Asserts()[0], HasSubstr("DoesGuidMatch && DoesSizeMatch"));
}

TEST_F(StaticPointerTable, LongerHobWithTheRightNameIsReportedAndUsed) {
  // The table fits; only the length is unexpected.
  STATIC_POINTER_TABLE *Table = MakeHob(gStaticPointerTableHobGuid, 296);
  ValidateStaticPointerTable(Table);
  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_FALSE(DeadLoopSignalled());

  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  EXPECT_EQ(GetStaticPointerTable(), Table);
}

TEST_F(StaticPointerTable, NameAndLengthBothWrongEndInTheDeadLoop) {
  STATIC_POINTER_TABLE *Table = MakeHob(kOtherGuid, 296);
  EXPECT_THROW(ValidateStaticPointerTable(Table), RunStopped);
  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_TRUE(DeadLoopSignalled());
}

TEST_F(StaticPointerTable, NullTableOrHobAtZeroEndInTheDeadLoop) {
  EXPECT_THROW(ValidateStaticPointerTable(nullptr), RunStopped);
  EXPECT_TRUE(DeadLoopSignalled());
}

TEST_F(StaticPointerTable, TableAddressThatPutsItsHobAtZeroEndsInTheDeadLoopUnread) {
  // Nothing is read at address 0: the HOB address is refused before.
  EXPECT_THROW(ValidateStaticPointerTable(reinterpret_cast<STATIC_POINTER_TABLE *>(uintptr_t{24})), RunStopped);
  EXPECT_EQ(Breakpoints(), 1u);
}

TEST_F(StaticPointerTable, ShortHobWithTheTableNameIsNeverUsed) {
  // 32 bytes: a slot-9 write would land 72 bytes into data that holds 8.
  STATIC_POINTER_TABLE *Short = MakeHob(gStaticPointerTableHobGuid, 32);
  const uint32_t HobBytes = E.Core().HobBytesUsed();
  EXPECT_THROW(ValidateStaticPointerTable(Short), RunStopped);
  EXPECT_TRUE(DeadLoopSignalled());

  // Through the constructor, too: the short HOB is found first and stops it before MM7 is loaded.
  SetMm7(0);
  EXPECT_THROW(StaticPointerTableInit(), RunStopped);
  EXPECT_EQ(Mm7(), 0u);
  EXPECT_EQ(E.Core().HobBytesUsed(), HobBytes);
}

TEST_F(StaticPointerTable, ShortHobIsNotWrittenBySetCpuAndRevisionPointer) {
  MakeHob(gStaticPointerTableHobGuid, 32);
  auto *End = static_cast<uint8_t *>(E.Core().HobList()) + E.Core().HobBytesUsed() - sizeof(EFI_HOB_GENERIC_HEADER);
  std::vector<uint8_t> After(End, End + 64);

  CPU_AND_REVISION_RECORD *Record = PoolRecord();
  EXPECT_THROW(SetCpuAndRevisionPointer(Record), RunStopped);
  EXPECT_EQ(std::memcmp(End, After.data(), After.size()), 0);
  EXPECT_EQ(E.Core().LocatePpi(gCpuAndRevisionPpiGuid, 0, nullptr, nullptr), EFI_NOT_FOUND);
}

// --- slot 9 -------------------------------------------------------------------------

TEST_F(StaticPointerTable, FirstRecordFillsSlotDescriptorAndInstallsThePpi) {
  CPU_AND_REVISION_RECORD *Record = PoolRecord();
  const size_t Ppis = E.Core().InstalledPpiCount();

  SetCpuAndRevisionPointer(Record);  // creates the table on the way

  STATIC_POINTER_TABLE *Table = GetStaticPointerTable();
  ASSERT_NE(Table, nullptr);
  EXPECT_EQ(Table->Pointer[POINTER_TYPE_CPU_AND_REVISION], uint64_t{Address(Record)});
  const EFI_PEI_PPI_DESCRIPTOR &Descriptor = Table->PpiDescriptor[POINTER_TYPE_CPU_AND_REVISION];
  EXPECT_EQ(Descriptor.Flags, 0x80000010u);
  EXPECT_EQ(std::memcmp(Descriptor.Guid, &gCpuAndRevisionPpiGuid, sizeof(EFI_GUID)), 0);
  EXPECT_EQ(Descriptor.Ppi, Record);
  EXPECT_EQ(E.Core().InstalledPpiCount(), Ppis + 1);

  EFI_PEI_PPI_DESCRIPTOR *Found = nullptr;
  void *Ppi = nullptr;
  ASSERT_EQ(E.Core().LocatePpi(gCpuAndRevisionPpiGuid, 0, &Found, &Ppi), EFI_SUCCESS);
  EXPECT_EQ(Found, &Descriptor);  // the installed descriptor is the one inside the HOB
  EXPECT_EQ(Ppi, Record);
  EXPECT_EQ(Breakpoints(), 0u);
}

TEST_F(StaticPointerTable, SetSlotIsRewrittenWithoutASecondInstall) {
  CPU_AND_REVISION_RECORD *First = PoolRecord();
  CPU_AND_REVISION_RECORD *Second = PoolRecord();
  SetCpuAndRevisionPointer(First);
  const size_t Ppis = E.Core().InstalledPpiCount();

  SetCpuAndRevisionPointer(Second);

  STATIC_POINTER_TABLE *Table = GetStaticPointerTable();
  EXPECT_EQ(Table->Pointer[POINTER_TYPE_CPU_AND_REVISION], uint64_t{Address(Second)});
  EXPECT_EQ(Table->PpiDescriptor[POINTER_TYPE_CPU_AND_REVISION].Ppi, Second);
  EXPECT_EQ(E.Core().InstalledPpiCount(), Ppis);
  void *Ppi = nullptr;
  ASSERT_EQ(E.Core().LocatePpi(gCpuAndRevisionPpiGuid, 0, nullptr, &Ppi), EFI_SUCCESS);
  EXPECT_EQ(Ppi, Second);
  EXPECT_EQ(E.Core().LocatePpi(gCpuAndRevisionPpiGuid, 1, nullptr, &Ppi), EFI_NOT_FOUND);
}

TEST_F(StaticPointerTable, SlotWithOnlyHighBitsCountsAsSetForTheInstall) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  GetStaticPointerTable()->Pointer[POINTER_TYPE_CPU_AND_REVISION] = 0x0000000100000000ull;
  const size_t Ppis = E.Core().InstalledPpiCount();

  SetCpuAndRevisionPointer(PoolRecord());
  EXPECT_EQ(E.Core().InstalledPpiCount(), Ppis);
}

TEST_F(StaticPointerTable, NullRecordIsReportedAndNeverPublished) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  const size_t Ppis = E.Core().InstalledPpiCount();

  SetCpuAndRevisionPointer(nullptr);

  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_EQ(E.Core().InstalledPpiCount(), Ppis);
  EXPECT_EQ(GetStaticPointerTable()->Pointer[POINTER_TYPE_CPU_AND_REVISION], 0u);
  EXPECT_EQ(GetStaticPointerTable()->PpiDescriptor[POINTER_TYPE_CPU_AND_REVISION].Ppi, nullptr);
}

TEST_F(StaticPointerTable, NoTableMeansNothingIsWrittenAndTheCallerGoesOn) {
  SetMm7(0);
  CPU_AND_REVISION_RECORD *Record = PoolRecord();
  E.GetBoard().Faults().FailCall("CreateHob", 1);
  const size_t Ppis = E.Core().InstalledPpiCount();

  SetCpuAndRevisionPointer(Record);  // returns: no dead loop, no write through address 0

  EXPECT_EQ(Mm7(), 0u);
  EXPECT_EQ(E.Core().InstalledPpiCount(), Ppis);
  EXPECT_GE(Breakpoints(), 1u);
  EXPECT_FALSE(DeadLoopSignalled());
}

// --- the move to permanent memory ------------------------------------------------------

/// Fills slot Type the way an owning module does: record in the pool, installed through its descriptor.
void *PublishInSlot(STATIC_POINTER_TABLE *Table, size_t Type, void *Record, PeiCore &Core) {
  Table->PpiDescriptor[Type] = {EFI_PEI_PPI_DESCRIPTOR_PPI | EFI_PEI_PPI_DESCRIPTOR_TERMINATE_LIST,
                                const_cast<EFI_GUID *>(&kOtherGuid), Record};
  EXPECT_EQ(Core.InstallPpi(&Table->PpiDescriptor[Type]), EFI_SUCCESS);
  Table->Pointer[Type] = Address(Record);
  return Record;
}

TEST_F(StaticPointerTable, MoveReloadsMm7AndFollowsEveryFilledSlot) {
  CPU_AND_REVISION_RECORD *Record = PoolRecord();
  Record->CpuType = 7;
  SetCpuAndRevisionPointer(Record);
  STATIC_POINTER_TABLE *OldTable = GetStaticPointerTable();
  CPU_AND_REVISION_RECORD *Other = PoolRecord();
  Other->Stepping = 3;
  PublishInSlot(OldTable, 2, Other, E.Core());

  E.Core().MigrateToPermanentMemory();

  auto Hobs = TableHobs();
  ASSERT_EQ(Hobs.size(), 1u);
  STATIC_POINTER_TABLE *Table = TableOf(Hobs[0]);
  ASSERT_NE(Table, OldTable);
  EXPECT_EQ(Mm7(), uint64_t{Address(Table)});
  EXPECT_EQ(GetStaticPointerTable(), Table);

  auto *Moved = reinterpret_cast<CPU_AND_REVISION_RECORD *>(uintptr_t(Table->Pointer[POINTER_TYPE_CPU_AND_REVISION]));
  ASSERT_TRUE(E.Core().InTemporaryMemory(Moved));  // now the permanent copy
  EXPECT_NE(Moved, Record);
  EXPECT_EQ(Moved->CpuType, 7);
  auto *MovedOther = reinterpret_cast<CPU_AND_REVISION_RECORD *>(uintptr_t(Table->Pointer[2]));
  EXPECT_EQ(MovedOther->Stepping, 3);
  for (size_t Type : {0, 1, 3, 4, 5, 6, 7, 8, 10, 11, 12}) EXPECT_EQ(Table->Pointer[Type], 0u) << Type;

  void *Ppi = nullptr;
  ASSERT_EQ(E.Core().LocatePpi(gCpuAndRevisionPpiGuid, 0, nullptr, &Ppi), EFI_SUCCESS);
  EXPECT_EQ(Ppi, Moved);

  char Reload[80];
  std::snprintf(Reload, sizeof Reload, "Reload MM7 with new pointer: %X => %X\r\n", Address(OldTable), Address(Table));
  EXPECT_EQ(MessagesWith(Reload), 1u);
  EXPECT_EQ(MessagesWith("Migration pointer type 2: "), 1u);
  EXPECT_EQ(MessagesWith("Migration pointer type 9: "), 1u);
  EXPECT_EQ(MessagesWith("Migration pointer type"), 2u);
  EXPECT_EQ(Breakpoints(), 0u);
}

TEST_F(StaticPointerTable, AllThirteenSlotsFollowTheirRecordsThroughTheMove) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  STATIC_POINTER_TABLE *OldTable = GetStaticPointerTable();
  CPU_AND_REVISION_RECORD *Records[13];
  for (size_t Type = 0; Type < 13; Type++) {
    Records[Type] = PoolRecord();
    Records[Type]->Stepping = static_cast<UINT8>(0xA0 + Type);
    PublishInSlot(OldTable, Type, Records[Type], E.Core());
  }

  E.Core().MigrateToPermanentMemory();

  STATIC_POINTER_TABLE *Table = GetStaticPointerTable();
  ASSERT_NE(Table, OldTable);
  const char *Digits = "0123456789ABC";
  for (size_t Type = 0; Type < 13; Type++) {
    SCOPED_TRACE("slot " + std::to_string(Type));
    auto *Moved = reinterpret_cast<CPU_AND_REVISION_RECORD *>(uintptr_t(Table->Pointer[Type]));
    EXPECT_NE(Moved, Records[Type]);
    EXPECT_TRUE(E.Core().InTemporaryMemory(Moved));  // the permanent copy
    EXPECT_EQ(Moved->Stepping, 0xA0 + Type);
    EXPECT_EQ(MessagesWith(std::string("Migration pointer type ") + Digits[Type] + ": "), 1u);
  }
  EXPECT_EQ(MessagesWith("Migration pointer type"), 13u);
  EXPECT_EQ(Breakpoints(), 0u);
}

TEST_F(StaticPointerTable, EmptySlotStaysEmptyWhateverItsDescriptorHolds) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  STATIC_POINTER_TABLE *OldTable = GetStaticPointerTable();
  static int Elsewhere;
  OldTable->PpiDescriptor[4].Ppi = &Elsewhere;

  E.Core().MigrateToPermanentMemory();

  EXPECT_EQ(GetStaticPointerTable()->Pointer[4], 0u);
  EXPECT_EQ(MessagesWith("Migration pointer type"), 0u);
}

TEST_F(StaticPointerTable, SlotWithOnlyHighBitsIsMigrated) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  STATIC_POINTER_TABLE *OldTable = GetStaticPointerTable();
  void *Record = PoolRecord();
  PublishInSlot(OldTable, 5, Record, E.Core());
  OldTable->Pointer[5] = 0xABCD000000000000ull;

  E.Core().MigrateToPermanentMemory();

  const uint64_t Slot = GetStaticPointerTable()->Pointer[5];
  EXPECT_EQ(Slot >> 32, 0u);
  EXPECT_NE(Slot, 0u);
  EXPECT_EQ(Slot, uint64_t{Address(GetStaticPointerTable()->PpiDescriptor[5].Ppi)});
  EXPECT_NE(Slot, uint64_t{Address(Record)});
  EXPECT_EQ(MessagesWith("Migration pointer type 5: 0 => "), 1u);
}

TEST_F(StaticPointerTable, SlotTakesItsDescriptorValueEvenWhenUnmoved) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  static int Outside;  // not in PEI memory: the core does not move it
  PublishInSlot(GetStaticPointerTable(), 11, &Outside, E.Core());

  E.Core().MigrateToPermanentMemory();

  EXPECT_EQ(GetStaticPointerTable()->Pointer[11], uint64_t{Address(&Outside)});
  EXPECT_EQ(MessagesWith("Migration pointer type B: "), 1u);
}

TEST_F(StaticPointerTable, MissingHobAtMemoryDiscoveryChangesNothing) {
  SetMm7(0x1234);
  EFI_STATUS Status =
      StaticPointerTableOnMemoryDiscovered(const_cast<EFI_PEI_SERVICES **>(E.Core().Services()), nullptr, nullptr);
  EXPECT_EQ(Status, EFI_INVALID_PARAMETER);
  EXPECT_EQ(Mm7(), 0x1234u);
  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_EQ(E.Mp().StartupAllApsCalls(), 0u);
  EXPECT_EQ(MessagesWith("Reload MM7"), 0u);
}

// --- MM7 on the application processors ----------------------------------------------

Scenario WithMp(MpServicesWhen When, unsigned Processors = 4) {
  Scenario S;
  S.MpServices = When;
  S.Processors = Processors;
  return S;
}

class StaticPointerTableMpBeforeMove : public StaticPointerTable {
 protected:
  StaticPointerTableMpBeforeMove() : StaticPointerTable(WithMp(MpServicesWhen::BeforeEntry)) {}
};

class StaticPointerTableMpAfterMove : public StaticPointerTable {
 protected:
  StaticPointerTableMpAfterMove() : StaticPointerTable(WithMp(MpServicesWhen::AfterMemory)) {}
};

TEST_F(StaticPointerTableMpBeforeMove, EveryProcessorHoldsTheMovedTableAfterTheMove) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  const size_t Notifies = E.Core().NotifyCount();

  E.Core().MigrateToPermanentMemory();

  const uint64_t Table = Address(GetStaticPointerTable());
  for (size_t P = 0; P < 4; P++) EXPECT_EQ(Mm7(P), Table) << "processor " << P;
  ASSERT_EQ(E.Mp().Calls().size(), 1u);
  const StartupAllApsCall &Call = E.Mp().Calls()[0];
  EXPECT_EQ(Call.Procedure, &LoadMm7OnAp);
  EXPECT_FALSE(Call.SingleThread) << "the APs may run at once";
  EXPECT_EQ(Call.TimeoutInMicroSeconds, 0u) << "no timeout: every AP must finish";
  EXPECT_NE(Call.Argument, nullptr) << "the APs read MM7's value through it (checked above)";
  EXPECT_EQ(E.Core().NotifyCount(), Notifies);  // synchronised at once, nothing deferred
  EXPECT_EQ(E.GetBoard().CurrentProcessorIndex(), 0u);

  char Sync[40];
  std::snprintf(Sync, sizeof Sync, "Sync MM7: %X\r\n", static_cast<unsigned>(Table));
  auto All = Messages();
  ASSERT_EQ(std::count(All.begin(), All.end(), std::string(Sync)), 1);
  // Printed inside the memory-discovered notification: after the reload, before it returned.
  auto Reload = std::find_if(All.begin(), All.end(), [](auto &M) { return M.starts_with("Reload MM7"); });
  EXPECT_LT(Reload - All.begin(), std::find(All.begin(), All.end(), std::string(Sync)) - All.begin());
}

TEST_F(StaticPointerTableMpAfterMove, ProcessorsFollowWhenMpServicesArrive) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  const uint64_t OldTable = Mm7();
  for (size_t P = 1; P < 4; P++) SetMm7(OldTable, P);

  E.Core().MigrateToPermanentMemory();
  const uint64_t Table = Address(GetStaticPointerTable());
  ASSERT_NE(Table, OldTable);
  EXPECT_EQ(Mm7(0), Table);
  for (size_t P = 1; P < 4; P++) EXPECT_EQ(Mm7(P), OldTable) << "processor " << P;
  EXPECT_EQ(MessagesWith("Sync MM7"), 0u);
  EXPECT_EQ(E.Mp().StartupAllApsCalls(), 0u);

  E.InstallMpServices();

  for (size_t P = 0; P < 4; P++) EXPECT_EQ(Mm7(P), Table) << "processor " << P;
  ASSERT_EQ(E.Mp().Calls().size(), 1u);
  EXPECT_EQ(E.Mp().Calls()[0].Procedure, &LoadMm7OnAp);
  EXPECT_FALSE(E.Mp().Calls()[0].SingleThread);
  EXPECT_EQ(E.Mp().Calls()[0].TimeoutInMicroSeconds, 0u);
  EXPECT_NE(E.Mp().Calls()[0].Argument, nullptr);
  EXPECT_EQ(MessagesWith("Sync MM7: "), 1u);
}

TEST_F(StaticPointerTableMpAfterMove, SyncCopiesAll64BitsAndReturnsTheMpStatus) {
  SetMm7(0xFEDCBA9876543210ull);
  auto **Services = const_cast<EFI_PEI_SERVICES **>(E.Core().Services());
  EXPECT_EQ(SyncMm7OnAps(Services, nullptr, E.Mp().Ppi()), EFI_SUCCESS);
  for (size_t P = 1; P < 4; P++) EXPECT_EQ(Mm7(P), 0xFEDCBA9876543210ull);
  ASSERT_EQ(E.Mp().Calls().size(), 1u);
  EXPECT_EQ(E.Mp().Calls()[0].Procedure, &LoadMm7OnAp);
  EXPECT_FALSE(E.Mp().Calls()[0].SingleThread);
  EXPECT_EQ(E.Mp().Calls()[0].TimeoutInMicroSeconds, 0u);
  EXPECT_NE(E.Mp().Calls()[0].Argument, nullptr);
  EXPECT_EQ(MessagesWith("Sync MM7: 76543210\r\n"), 1u);

  E.GetBoard().Faults().FailCall("StartupAllAPs", 2);
  EXPECT_EQ(SyncMm7OnAps(Services, nullptr, E.Mp().Ppi()), EFI_DEVICE_ERROR);
  EXPECT_EQ(SyncMm7OnAps(Services, nullptr, nullptr), EFI_INVALID_PARAMETER);
}

TEST_F(StaticPointerTableMpAfterMove, FailingDeferredNotificationIsReported) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  E.GetBoard().Faults().FailCall("NotifyPpi", 2);  // the first registered the memory-discovered one

  E.Core().MigrateToPermanentMemory();

  EXPECT_EQ(Mm7(), uint64_t{Address(GetStaticPointerTable())});
  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_EQ(MessagesWith("ASSERT_EFI_ERROR (Status = Out of Resources)"), 1u);
  E.InstallMpServices();
  EXPECT_EQ(E.Mp().StartupAllApsCalls(), 0u);
}

TEST(StaticPointerTableRun, WholeBootLeavesEveryProcessorOnTheMovedTable) {
  for (MpServicesWhen When : {MpServicesWhen::BeforeEntry, MpServicesWhen::AfterMemory}) {
    Emulator E{WithMp(When)};
    RunReport R = E.Run();
    ASSERT_EQ(R.Outcome, "returned");
    ASSERT_TRUE(R.StaticPointerTable.has_value());
    ASSERT_EQ(R.Mm7.size(), 4u);
    for (uint64_t Mm7 : R.Mm7) EXPECT_EQ(Mm7, uint64_t{R.StaticPointerTable->Address});
    ASSERT_TRUE(R.CpuAndRevision.has_value());
    EXPECT_EQ(R.StaticPointerTable->Slots[POINTER_TYPE_CPU_AND_REVISION] >> 32, 0u);
  }
}

}  // namespace
