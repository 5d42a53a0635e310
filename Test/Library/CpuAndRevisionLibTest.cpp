// The CPU-and-revision record: classification from CPUID leaf 1, the record's bytes,
// its publication through slot 9 and the PPI, and what happens without pool or table.
#include <gtest/gtest.h>

#include <Library/CpuAndRevisionLib.h>
extern "C" {
#include <PiPei.h>
#include <Library/PeimEntryPoint.h>
#include <Library/SerialPortLib.h>
}
#include <Library/SysHostPointerLib.h>
#include <Pei/QuarnPeiPreMem/QuarnPeiPreMem.h>
#include <Ppi/CpuAndRevision.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Emulator/Emulator.h"

using namespace quarn::emu;

namespace {

class CpuAndRevision : public ::testing::Test {
 protected:
  explicit CpuAndRevision(uint32_t Signature = 0x00050654)
      : E([&] {
          Scenario S;
          S.CpuSignature = Signature;
          return S;
        }()) {
    E.Activate();
    SerialPortInitialize();  // as the constructor list does first: assertion lines reach the console
  }
  /// The record slot 9 points to, or nullptr.
  CPU_AND_REVISION_RECORD *SlotRecord() {
    STATIC_POINTER_TABLE *Table = GetStaticPointerTable();
    if (Table == nullptr) return nullptr;
    return reinterpret_cast<CPU_AND_REVISION_RECORD *>(
        uintptr_t(uint32_t(Table->Pointer[POINTER_TYPE_CPU_AND_REVISION])));
  }
  std::vector<uint8_t> Bytes(const CPU_AND_REVISION_RECORD *Record) {
    auto *P = reinterpret_cast<const uint8_t *>(Record);
    return {P, P + sizeof(CPU_AND_REVISION_RECORD)};
  }
  void *LocatedRecord() {
    void *Ppi = nullptr;
    return E.Core().LocatePpi(gCpuAndRevisionPpiGuid, 0, nullptr, &Ppi) == EFI_SUCCESS ? Ppi : nullptr;
  }
  uint64_t PoolAllocations() {
    return E.GetBoard().Faults().PerName().count("AllocatePool") ? E.GetBoard().Faults().PerName().at("AllocatePool")
                                                                 : 0;
  }
  size_t Breakpoints() { return E.GetBoard().Processors()[0].Breakpoints; }
  /// TRUE when an assertion line of this library reports Description.
  bool Asserted(const std::string &Description) {
    for (const std::string &Line : E.Snapshot().Asserts) {
      if (Line.find("Library/CpuAndRevisionLib/CpuAndRevisionLib(") != std::string::npos &&
          Line.ends_with("): " + Description)) {
        return true;
      }
    }
    return false;
  }

  Emulator E;
};

// --- classification ---------------------------------------------------------------

struct Signature {
  uint32_t Eax;
  uint8_t CpuType;
};

class CpuClassification : public CpuAndRevision, public ::testing::WithParamInterface<Signature> {
 protected:
  CpuClassification() : CpuAndRevision(GetParam().Eax) {}
};

TEST_P(CpuClassification, RecordIsPublishedAndFilled) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  ASSERT_EQ(CpuAndRevisionInit(), EFI_SUCCESS);

  CPU_AND_REVISION_RECORD *Record = SlotRecord();
  ASSERT_NE(Record, nullptr);
  EXPECT_EQ(LocatedRecord(), Record);
  const std::vector<uint8_t> Got = Bytes(Record);
  std::vector<uint8_t> Want(16);
  std::memcpy(Want.data(), &gCpuAndRevisionRecordGuid, 16);
  const uint8_t Stepping = GetParam().Eax & 0xF;
  for (uint8_t B :
       {0x1F, 0x00, 0x00, 0x00, int(GetParam().CpuType), 0, 0, 0, int(Stepping), 0, 0, 0x25, 0x38, 0x9A, 0xFA})
    Want.push_back(B);
  EXPECT_EQ(Got, Want);
  EXPECT_EQ(Breakpoints(), 0u);
}

INSTANTIATE_TEST_SUITE_P(KnownSignatures, CpuClassification,
                         ::testing::Values(Signature{0x00050654, 0}, Signature{0x00050650, 0}, Signature{0x00050655, 1},
                                           Signature{0x00050657, 1}, Signature{0x00050659, 1}, Signature{0x0005065A, 2},
                                           Signature{0x0005065F, 2}, Signature{0x00080660, 3}, Signature{0x00080665, 3},
                                           Signature{0x00080669, 3}, Signature{0x0008066A, 7}, Signature{0x0008066F, 7},
                                           Signature{0x000606A0, 4}, Signature{0x000606A6, 4}, Signature{0x000606CF, 5},
                                           Signature{0x000806F8, 6}, Signature{0x000A06D1, 8}, Signature{0x000A06F0, 9},
                                           Signature{0x000A06FF, 9},
                                           // Extended family bits play no part.
                                           Signature{0x0FF50654, 0}, Signature{0xF0F806F8, 6}));

class UnknownCpu : public CpuAndRevision {
 protected:
  UnknownCpu() : CpuAndRevision(0x000906EA) {}
};

TEST_F(UnknownCpu, RecordStaysPublishedButAllZero) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  EXPECT_EQ(CpuAndRevisionInit(), EFI_DEVICE_ERROR);

  CPU_AND_REVISION_RECORD *Record = SlotRecord();
  ASSERT_NE(Record, nullptr);
  EXPECT_EQ(LocatedRecord(), Record);
  EXPECT_EQ(Bytes(Record), std::vector<uint8_t>(31, 0));
  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_TRUE(Asserted("((BOOLEAN)(0==1))"));
  auto Messages = E.Snapshot().DebugPpi;
  EXPECT_EQ(std::count(Messages.begin(), Messages.end(), std::string("Unknown CPU family 0x906E\r\n")), 1);
}

TEST_F(UnknownCpu, LookAlikeSignaturesAreUnknownToo) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  // Neighbours of listed signatures: one model or one family off.
  for (uint32_t Eax : {0x00050664u, 0x00050554u, 0x000806E0u, 0x000A06E0u, 0x00000000u}) {
    E.GetBoard().Processors()[0].CpuidSignature = Eax;
    EXPECT_EQ(CpuAndRevisionFill(), EFI_DEVICE_ERROR) << std::hex << Eax;
  }
}

// --- the fill and its record ---------------------------------------------------------

TEST_F(CpuAndRevision, FillLeavesBytes18And19AsTheyAre) {
  ASSERT_EQ(CpuAndRevisionInit(), EFI_SUCCESS);
  CPU_AND_REVISION_RECORD *Record = SlotRecord();
  auto *P = reinterpret_cast<uint8_t *>(Record);
  std::memset(P, 0xEE, sizeof(CPU_AND_REVISION_RECORD));

  ASSERT_EQ(CpuAndRevisionFill(), EFI_SUCCESS);

  EXPECT_EQ(P[18], 0xEE);
  EXPECT_EQ(P[19], 0xEE);
  EXPECT_EQ(P[16], 0x1F);
  for (size_t Zero : {21, 22, 23, 25, 26}) EXPECT_EQ(P[Zero], 0) << Zero;
}

TEST_F(CpuAndRevision, FillUsesTheRecordTheSlotHoldsNow) {
  ASSERT_EQ(CpuAndRevisionInit(), EFI_SUCCESS);
  CPU_AND_REVISION_RECORD *First = SlotRecord();
  alignas(8) static uint8_t Elsewhere[32];
  std::memset(Elsewhere, 0, sizeof Elsewhere);
  GetStaticPointerTable()->Pointer[POINTER_TYPE_CPU_AND_REVISION] = uintptr_t(Elsewhere);
  std::memset(First, 0, sizeof(CPU_AND_REVISION_RECORD));

  ASSERT_EQ(CpuAndRevisionFill(), EFI_SUCCESS);
  EXPECT_EQ(Elsewhere[16], 0x1F);
  EXPECT_EQ(Bytes(First), std::vector<uint8_t>(31, 0));
}

TEST_F(CpuAndRevision, NoPoolMeansNothingIsPublished) {
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  E.GetBoard().Faults().FailCall("AllocatePool", 1);

  EXPECT_EQ(CpuAndRevisionInit(), EFI_OUT_OF_RESOURCES);
  EXPECT_EQ(GetStaticPointerTable()->Pointer[POINTER_TYPE_CPU_AND_REVISION], 0u);
  EXPECT_EQ(LocatedRecord(), nullptr);
  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_TRUE(Asserted("CpuAndRevision != ((void *) 0)"));
}

// --- without a table -------------------------------------------------------------------

TEST_F(CpuAndRevision, NoTableIsReportedAndNothingIsWritten) {
  E.GetBoard().Faults().FailCall("CreateHob", 1);  // the table HOB cannot be built

  EXPECT_EQ(CpuAndRevisionInit(), EFI_NOT_FOUND);
  EXPECT_EQ(GetStaticPointerTable(), nullptr);
  EXPECT_EQ(LocatedRecord(), nullptr);
  EXPECT_GE(Breakpoints(), 2u);  // no table at publication, none at the fill
  EXPECT_TRUE(E.Core().StatusCodes().empty());
}

TEST_F(CpuAndRevision, FillWithoutATableOrWithAnEmptySlotWritesNothing) {
  EXPECT_EQ(CpuAndRevisionFill(), EFI_NOT_FOUND);  // MM7 0: no table
  EXPECT_EQ(Breakpoints(), 1u);
  EXPECT_TRUE(Asserted("StaticPointerTable != ((void *) 0)"));

  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  EXPECT_EQ(CpuAndRevisionFill(), EFI_NOT_FOUND);  // table, slot 9 empty
  EXPECT_EQ(Breakpoints(), 2u);
  STATIC_POINTER_TABLE *Table = GetStaticPointerTable();
  const std::vector<uint8_t> Zero(sizeof(STATIC_POINTER_TABLE), 0);
  EXPECT_EQ(std::memcmp(Table, Zero.data(), Zero.size()), 0);
}

// --- the constructor list ----------------------------------------------------------------

TEST_F(CpuAndRevision, ConstructorListMakesOneRecordOnly) {
  ProcessLibraryConstructorList(nullptr, E.Core().Services());
  CPU_AND_REVISION_RECORD *Record = SlotRecord();
  ASSERT_NE(Record, nullptr);
  EXPECT_EQ(Record->RecordSize, 31);
  const uint64_t Allocations = PoolAllocations();

  // Another module linking the same libraries runs its constructors later in PEI.
  ProcessLibraryConstructorList(nullptr, E.Core().Services());

  EXPECT_EQ(SlotRecord(), Record);
  EXPECT_EQ(PoolAllocations(), Allocations);
  EXPECT_EQ(LocatedRecord(), Record);
}

TEST_F(CpuAndRevision, ConstructorListLeavesARecordMadeEarlierAlone) {
  alignas(8) static uint8_t Earlier[31];
  std::memset(Earlier, 0x33, sizeof Earlier);
  ASSERT_EQ(StaticPointerTableInit(), EFI_SUCCESS);
  SetCpuAndRevisionPointer(reinterpret_cast<CPU_AND_REVISION_RECORD *>(Earlier));
  const uint64_t Allocations = PoolAllocations();

  ProcessLibraryConstructorList(nullptr, E.Core().Services());

  EXPECT_EQ(SlotRecord(), reinterpret_cast<CPU_AND_REVISION_RECORD *>(Earlier));
  EXPECT_EQ(PoolAllocations(), Allocations);
  EXPECT_EQ(Earlier[20], 0x33);
}

TEST_F(CpuAndRevision, ConstructorListWithoutATableSkipsTheRecordAndGoesOn) {
  E.GetBoard().Faults().FailCall("CreateHob", 1);
  const uint64_t Allocations = PoolAllocations();

  ProcessLibraryConstructorList(nullptr, E.Core().Services());

  EXPECT_EQ(GetStaticPointerTable(), nullptr);
  EXPECT_EQ(PoolAllocations(), Allocations);
  EXPECT_EQ(LocatedRecord(), nullptr);
  EXPECT_GE(Breakpoints(), 1u);
}

}  // namespace
