// HOB walks over lists built by hand and by the emulated PEI core: end of list, first of
// two names, names differing in one byte, malformed lengths, odd GUID addresses, and
// GUID HOB creation.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/HobLib.h>
#include <Library/PeiServicesTablePointerLib.h>
}
#include <Library/SysHostPointerLib.h>
#include <Library/VornTypeGetLib.h>
#include <Pei/QuarnPeiPreMem/QuarnPeiPreMem.h>

#include <cstring>
#include <vector>

#include "BoardFixture.h"
#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"

using namespace quarn;
using test::ActiveBoard;
using test::RawHobList;

namespace {

constexpr EFI_GUID kWanted = {0x11223344, 0x5566, 0x7788, {0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xF0, 0x01}};

EFI_GUID Differing(size_t Byte) {
  EFI_GUID Guid = kWanted;
  reinterpret_cast<uint8_t *>(&Guid)[Byte] ^= 0x01;
  return Guid;
}

EFI_HOB_GUID_TYPE *GuidHob(emu::Emulator &E, const EFI_GUID &Name, uint16_t DataLength = 8) {
  auto *Hob = static_cast<EFI_HOB_GUID_TYPE *>(E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, 24 + DataLength));
  std::memcpy(&Hob->Name, &Name, sizeof Name);
  return Hob;
}

}  // namespace

TEST(HobWalk, ListThatStartsWithTheEndHobHasNoGuidHob) {
  ActiveBoard Board;
  RawHobList List;
  List.End();
  List.Add(EFI_HOB_TYPE_GUID_EXTENSION, 32, &kWanted);
  uint8_t *Data = List.Data();
  EXPECT_EQ(GetNextHob(EFI_HOB_TYPE_GUID_EXTENSION, Data), nullptr);
  EXPECT_EQ(GetNextGuidHob(&kWanted, Data), nullptr);
}

TEST(HobWalk, TheHobAtTheStartCounts) {
  ActiveBoard Board;
  RawHobList List;
  List.Add(EFI_HOB_TYPE_GUID_EXTENSION, 32, &kWanted);
  List.End();
  uint8_t *Data = List.Data();
  EXPECT_EQ(GetNextHob(EFI_HOB_TYPE_GUID_EXTENSION, Data), Data);
}

TEST(HobWalk, ZeroOrShortLengthEndsTheWalkLikeTheEndOfTheList) {
  ActiveBoard Board;
  for (uint16_t Length : {0, 1, 7}) {
    RawHobList List;
    List.Add(EFI_HOB_TYPE_HANDOFF, 56);
    List.Add(0x0003, Length);  // malformed: cannot be stepped over
    List.Add(EFI_HOB_TYPE_GUID_EXTENSION, 32, &kWanted);
    List.End();
    uint8_t *Data = List.Data();
    EXPECT_EQ(GetNextHob(EFI_HOB_TYPE_GUID_EXTENSION, Data), nullptr) << "length " << Length;
    EXPECT_EQ(GetNextGuidHob(&kWanted, Data), nullptr) << "length " << Length;
  }
}

TEST(HobWalk, GuidHobTooShortForItsNameIsNotMatched) {
  ActiveBoard Board;
  RawHobList List;
  const size_t Short = List.Add(EFI_HOB_TYPE_GUID_EXTENSION, 16);
  const size_t Good = List.Add(EFI_HOB_TYPE_GUID_EXTENSION, 24, &kWanted);  // its name and no data
  List.End();
  uint8_t *Data = List.Data();
  // The short HOB's would-be name overlaps the next HOB: it must not be taken for a match.
  std::memcpy(Data + Short + 8, &kWanted, 8);
  EXPECT_EQ(GetNextGuidHob(&kWanted, Data), Data + Good);
}

TEST(GetFirstGuidHob, ReturnsTheFirstOfTwoWithTheSameName) {
  emu::Emulator E{emu::Scenario{}};
  E.Activate();
  GuidHob(E, Differing(3));
  EFI_HOB_GUID_TYPE *First = GuidHob(E, kWanted);
  GuidHob(E, kWanted);
  EXPECT_EQ(GetFirstGuidHob(&kWanted), First);
}

TEST(GetFirstGuidHob, NamesDifferingInTheFirstOrLastByteDoNotMatch) {
  emu::Emulator E{emu::Scenario{}};
  E.Activate();
  GuidHob(E, Differing(0));
  GuidHob(E, Differing(15));
  EXPECT_EQ(GetFirstGuidHob(&kWanted), nullptr);
  EFI_HOB_GUID_TYPE *Exact = GuidHob(E, kWanted);
  EXPECT_EQ(GetFirstGuidHob(&kWanted), Exact);
}

TEST(GuidHelpers, CompareAndCopyWorkAtOddAddresses) {
  ActiveBoard Board;
  alignas(8) uint8_t Storage[48] = {};
  auto *A = reinterpret_cast<EFI_GUID *>(Storage + 1);
  auto *B = reinterpret_cast<EFI_GUID *>(Storage + 19);
  EXPECT_EQ(CopyGuid(A, &kWanted), A);
  EXPECT_EQ(std::memcmp(Storage + 1, &kWanted, 16), 0);
  CopyGuid(B, A);
  EXPECT_TRUE(CompareGuid(A, B));
  Storage[19 + 15] ^= 0x80;
  EXPECT_FALSE(CompareGuid(A, B));
  Storage[19 + 15] ^= 0x80;
  Storage[19] ^= 0x01;
  EXPECT_FALSE(CompareGuid(A, B));
  EXPECT_EQ(Board.Breakpoints(), 0u);
}

TEST(BuildGuidHob, AsksForHeaderPlusDataAndReturnsTheData) {
  emu::Emulator E{emu::Scenario{}};
  E.Activate();
  E.GetBoard().EnableTrace(true);
  auto *Data = static_cast<uint8_t *>(BuildGuidHob(&kWanted, 264));
  ASSERT_NE(Data, nullptr);
  auto *Hob = reinterpret_cast<EFI_HOB_GUID_TYPE *>(Data - 24);
  EXPECT_EQ(Hob->Header.HobType, EFI_HOB_TYPE_GUID_EXTENSION);
  EXPECT_EQ(Hob->Header.HobLength, 288);
  EXPECT_EQ(std::memcmp(&Hob->Name, &kWanted, 16), 0);
  bool Asked288 = false;
  for (const auto &Entry : E.GetBoard().Trace()) Asked288 |= (Entry.Device == "CreateHob" && Entry.Value == 288);
  EXPECT_TRUE(Asked288);
  EXPECT_EQ(GetFirstGuidHob(&kWanted), Hob);
}

TEST(BuildGuidHob, FailingCreateHobAssertsAndYieldsNull) {
  emu::Scenario S;
  S.HobSpace = 128;  // PHIT and end HOB leave too little room
  emu::Emulator E{S};
  E.Activate();
  EXPECT_EQ(BuildGuidHob(&kWanted, 264), nullptr);
  EXPECT_EQ(E.GetBoard().Processors()[0].Breakpoints, 1u);
}

TEST(BuildGuidHob, DataTooLongForTheHobLengthIsRefused) {
  emu::Emulator E{emu::Scenario{}};
  E.Activate();
  const uint32_t HobsBefore = E.Core().HobBytesUsed();
  EXPECT_EQ(BuildGuidHob(&kWanted, 0xFFF0), nullptr);
  EXPECT_EQ(E.Core().HobBytesUsed(), HobsBefore) << "no truncated HOB may be created";
  EXPECT_GE(E.GetBoard().Processors()[0].Breakpoints, 1u);
}

TEST(PeiServicesPointer, ComesFromTheWordBelowTheIdt) {
  emu::Emulator E{emu::Scenario{}};
  E.Activate();
  EXPECT_EQ(GetPeiServicesTablePointer(), E.Core().Services());
  EXPECT_EQ((*GetPeiServicesTablePointer())->Hdr.Signature, PEI_SERVICES_SIGNATURE);
}

TEST(PeiServicesPointer, FollowsTheIdtBaseOnEveryCall) {
  emu::Emulator E{emu::Scenario{}};
  E.Activate();
  alignas(8) uint32_t FakeIdt[4] = {0, 0, 0, 0};
  const EFI_PEI_SERVICES *Table = *E.Core().Services();
  const EFI_PEI_SERVICES **Pointer = &Table;
  FakeIdt[1] = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Pointer));
  E.GetBoard().Processors()[0].IdtBase = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(&FakeIdt[2]));
  EXPECT_EQ(GetPeiServicesTablePointer(), Pointer);
  FakeIdt[1] = 0;
  EXPECT_EQ(GetPeiServicesTablePointer(), nullptr);
  EXPECT_EQ(E.GetBoard().Processors()[0].Breakpoints, 1u) << "a zero word is reported";
}

// --- readers above the library, on a list whose HOBs start at odd addresses ---------------

/// A core that does not round HOB lengths: after a 9-byte HOB every later one is odd.
struct OddHobList {
  OddHobList()
      : E([] {
          emu::Scenario S;
          S.RoundHobLengths = false;
          S.Fs1 = 0x00000004;  // CurrentState 4: a stored QUARN type is downgraded in place
          return S;
        }()) {
    E.Activate();
    EXPECT_NE(E.Core().AppendHob(EFI_HOB_TYPE_UNUSED, 9), nullptr);
  }
  /// A GUID HOB of Length bytes named Name, its data zeroed; its start is odd.
  uint8_t *Add(const EFI_GUID &Name, uint16_t Length) {
    auto *Hob = static_cast<uint8_t *>(E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, Length));
    EXPECT_NE(Hob, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(Hob) & 1, 1u);
    std::memset(Hob + 8, 0, Length - 8);
    std::memcpy(Hob + 8, &Name, sizeof Name);
    return Hob;
  }
  emu::Emulator E;
};

TEST(OddHobStarts, TypeInfoAndTableHobsAreReadAndWrittenWhereTheyLie) {
  OddHobList List;
  uint8_t *Type = List.Add(gVornTypeHobGuid, sizeof(VORN_TYPE_HOB));
  const UINT32 Quarn = VORN_TYPE_QUARN;
  std::memcpy(Type + 24, &Quarn, 4);
  Type[28] = 1;
  uint8_t *Info = List.Add(gQuarnInfoHobGuid, 40);
  std::memset(Info + 24, 0x77, 16);
  uint8_t *Table = List.Add(gStaticPointerTableHobGuid, STATIC_POINTER_TABLE_HOB_LENGTH);
  const uint64_t Slot3 = 0x12345678;
  const UINT32 Moved = 0x0ABCDEF0;
  std::memcpy(Table + 24 + 3 * 8, &Slot3, 8);
  std::memcpy(Table + 24 + 104 + 3 * 12 + 8, &Moved, 4);

  // The type HOB: found, and downgraded in place.
  EXPECT_EQ(GetVornType(), VORN_TYPE_DISABLED);
  UINT32 Stored = 0;
  std::memcpy(&Stored, Type + 24, 4);
  EXPECT_EQ(Stored, VORN_TYPE_DISABLED);

  // The info HOB: found and overwritten, no second one built.
  EXPECT_EQ(QuarnSetNonFunctional(), EFI_SUCCESS);
  EXPECT_EQ(std::vector<uint8_t>(Info + 24, Info + 40),
            (std::vector<uint8_t>{0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(emu::FindGuidHobs(List.E.Core(), gQuarnInfoHobGuid).size(), 1u);

  // The table: validated without a report, reused, and its filled slot migrated.
  EXPECT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  EXPECT_EQ(GetStaticPointerTable(), reinterpret_cast<STATIC_POINTER_TABLE *>(Table + 24));
  EXPECT_EQ(
      StaticPointerTableOnMemoryDiscovered(const_cast<EFI_PEI_SERVICES **>(List.E.Core().Services()), nullptr, nullptr),
      EFI_SUCCESS);
  uint64_t Slot = 0;
  std::memcpy(&Slot, Table + 24 + 3 * 8, 8);
  EXPECT_EQ(Slot, 0x0ABCDEF0u);
  EXPECT_EQ(ReadStaticPointer(GetStaticPointerTable(), 3), 0x0ABCDEF0u);
  EXPECT_EQ(emu::FindGuidHobs(List.E.Core(), gStaticPointerTableHobGuid).size(), 1u);
  EXPECT_TRUE(List.E.Snapshot().Asserts.empty());
}
