// The library constructors the entry point runs first: their order, the condition on
// the CPU-and-revision slot, and start-up going on when a constructor fails.
#include <gtest/gtest.h>

#include <algorithm>

extern "C" {
#include <PiPei.h>
}
#include <Guid/StaticPointerTableHob.h>

#include <cstring>

#include "SourceLines.h"
#include "Emulator/Emulator.h"
#include "Test/Pei/FlowTestSupport.h"

using namespace quarn::emu;
using namespace quarn::test;

namespace {

/// A static pointer table HOB left by an earlier module, with slot 9 set to Slot9.
void SeedTable(Emulator &E, uint64_t Slot9) {
  auto *Hob = static_cast<EFI_HOB_GUID_TYPE *>(
      E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, STATIC_POINTER_TABLE_HOB_LENGTH));
  ASSERT_NE(Hob, nullptr);
  std::memcpy(&Hob->Name, &gStaticPointerTableHobGuid, sizeof(EFI_GUID));
  auto *Table = reinterpret_cast<STATIC_POINTER_TABLE *>(Hob + 1);
  std::memset(Table, 0, sizeof(*Table));
  Table->Pointer[POINTER_TYPE_CPU_AND_REVISION] = Slot9;
}

uint64_t Calls(Emulator &E, const std::string &Name) {
  const auto &PerName = E.GetBoard().Faults().PerName();
  auto It = PerName.find(Name);
  return It == PerName.end() ? 0 : It->second;
}

/// Index of the first trace entry that matches, or the trace's size.
size_t FirstIndex(const RunReport &R, const std::function<bool(const TraceEntry &)> &Match) {
  for (size_t I = 0; I < R.Trace.size(); I++) {
    if (Match(R.Trace[I])) return I;
  }
  return R.Trace.size();
}

}  // namespace

TEST(ProcessLibraryConstructorList, SerialPortsThenTableThenRecordThenTheFlow) {
  Scenario S;
  S.Trace = true;
  S.MemoryDiscovered = false;
  Emulator E{S};
  const RunReport R = E.Run();
  ASSERT_TRUE(R.Status.has_value());
  const size_t Uart = FirstIndex(
      R, [](const TraceEntry &T) { return T.Kind == "io-write8" && T.Address >= 0x3F8 && T.Address <= 0x3FF; });
  const size_t Table = FirstIndex(R, [](const TraceEntry &T) { return T.Kind == "call" && T.Device == "CreateHob"; });
  const size_t Pool = FirstIndex(R, [](const TraceEntry &T) { return T.Kind == "call" && T.Device == "AllocatePool"; });
  const size_t Vorn = FirstIndex(
      R, [](const TraceEntry &T) { return T.Kind == "mmio-read32" && T.Address == 0x80000000u + VORNFS1_ADDRESS; });
  ASSERT_LT(Vorn, R.Trace.size());
  EXPECT_LT(Uart, Table);
  EXPECT_LT(Table, Pool);
  EXPECT_LT(Pool, Vorn);
  ASSERT_TRUE(R.StaticPointerTable.has_value());
  EXPECT_NE(R.StaticPointerTable->Slots[POINTER_TYPE_CPU_AND_REVISION], 0u);
  EXPECT_TRUE(R.CpuAndRevision.has_value());
}

TEST(ProcessLibraryConstructorList, FilledCpuSlotIsLeftAsItIs) {
  Scenario S;
  S.MemoryDiscovered = false;
  Emulator E{S};
  E.Activate();
  SeedTable(E, 0x00001234);
  const RunReport R = E.Run();
  EXPECT_EQ(Calls(E, "AllocatePool"), 0u) << "the record is not made again";
  ASSERT_TRUE(R.StaticPointerTable.has_value());
  EXPECT_EQ(R.StaticPointerTable->Slots[POINTER_TYPE_CPU_AND_REVISION], 0x00001234u);
}

TEST(ProcessLibraryConstructorList, OnlyTheLow32BitsOfTheSlotCount) {
  Scenario S;
  S.MemoryDiscovered = false;
  Emulator E{S};
  E.Activate();
  SeedTable(E, 0x0000000100000000ull);
  E.Run();
  EXPECT_EQ(Calls(E, "AllocatePool"), 1u) << "a slot whose low half is 0 is empty";
}

TEST(ProcessLibraryConstructorList, NoTableMeansNoRecordAndTheFlowStillRuns) {
  Scenario S;
  S.HobSpace = 64;  // not even the table's HOB fits
  S.MemoryDiscovered = false;
  Emulator E{S};
  const RunReport R = E.Run();
  ASSERT_EQ(R.Outcome, "returned") << R.Where;
  ASSERT_TRUE(R.Status.has_value());
  EXPECT_EQ(Calls(E, "AllocatePool"), 0u);
  EXPECT_TRUE(Prints(R, "\nASSERT_RETURN_ERROR (Status = Out of Resources)\n"));
  EXPECT_TRUE(Prints(R, "[QUARN][PreMem] QuarnPeiPreMemEntryPoint called.\n"));
  bool ConstructorAssert = false;
  for (const std::string &Line : R.Asserts)
    ConstructorAssert |= Line.find("!RETURN_ERROR (Status)") != std::string::npos;
  EXPECT_TRUE(ConstructorAssert);
  // The missing table itself is reported by the CPU record's constructor, which reads no slot.
  EXPECT_NE(std::find_if(R.Asserts.begin(), R.Asserts.end(),
                         [](const std::string &Line) {
                           return Line == "ASSERT [QuarnPeiPreMem] " +
                                              CheckLine("Library/CpuAndRevisionLib/CpuAndRevisionLib.cpp",
                                                        "ASSERT (StaticPointerTable != NULL);",
                                                        "StaticPointerTable != ((void *) 0)");
                         }),
            R.Asserts.end());
}

TEST(ProcessLibraryConstructorList, StaleMm7AfterAFailedTableIsNotTrusted) {
  Scenario S;
  S.HobSpace = 64;
  S.MemoryDiscovered = false;
  Emulator E{S};
  // A value another stage left in MM7: the failed constructor does not write MM7, and the
  // list must not read a slot through whatever it holds.
  alignas(8) static uint8_t Stale[512];
  E.GetBoard().Processors()[0].Mm[7] = reinterpret_cast<uintptr_t>(Stale) + 24;
  const RunReport R = E.Run();
  ASSERT_EQ(R.Outcome, "returned") << R.Where;
  EXPECT_EQ(Calls(E, "AllocatePool"), 0u) << "no CPU record is built";
}
