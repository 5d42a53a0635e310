// The board's memory map: temporary RAM and permanent memory at fixed addresses, what the
// PEI core places where, one board at a time, a clean map for every board, and the
// checks of a map a scenario asks for.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Pi/PiHob.h>
}

#include <cstring>
#include <optional>
#include <stdexcept>

#include "Emulator/Emulator.h"
#include "Emulator/Memory/BoardMemory.h"

using namespace quarn::emu;

namespace {

uint32_t Address(const void *Pointer) { return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(Pointer)); }

uint32_t WordAt(uint32_t Where) {
  uint32_t Value = 0;
  std::memcpy(&Value, reinterpret_cast<const void *>(static_cast<uintptr_t>(Where)), 4);
  return Value;
}

TEST(BoardMemory, ThePeiCoreSitsAtTheBoardsAddressesBeforeAndAfterTheMove) {
  Emulator E{Scenario{}};
  E.Activate();
  PeiCore &Core = E.Core();
  struct Place {
    uint32_t Services, Table, Idt, HobList, Stack;
  };
  auto Now = [&] {
    const auto Services = reinterpret_cast<uintptr_t>(Core.Services());
    return Place{Address(Core.Services()), WordAt(static_cast<uint32_t>(Services)),
                 E.GetBoard().Processors()[0].IdtBase, Address(Core.HobList()), Address(Core.StackBottom())};
  };
  const Place Before = Now();
  EXPECT_EQ(Before.Services, 0x00840000u);
  EXPECT_EQ(Before.Table, 0x00840010u);
  EXPECT_EQ(Before.Idt, 0x00840100u);
  EXPECT_EQ(WordAt(Before.Idt - 4), 0x00840000u);
  EXPECT_EQ(Before.HobList, 0x00840200u);
  EXPECT_EQ(Before.Stack, 0x00800000u);
  const auto *Phit = static_cast<const EFI_HOB_HANDOFF_INFO_TABLE *>(Core.HobList());
  EXPECT_EQ(Phit->EfiMemoryBottom, 0x00840000u);
  EXPECT_EQ(Phit->EfiFreeMemoryBottom, 0x00850200u);  // the pool, after 64 KiB of HOB space

  Core.MigrateToPermanentMemory();
  const Place After = Now();
  EXPECT_EQ(After.Services, 0x7C040000u);
  EXPECT_EQ(After.Table, 0x7C040010u);  // the table moved with the heap
  EXPECT_EQ(After.Idt, 0x7C040100u);
  EXPECT_EQ(WordAt(After.Idt - 4), 0x7C040000u);
  EXPECT_EQ(After.HobList, 0x7C040200u);
  EXPECT_EQ(After.Stack, 0x7C000000u);
}

TEST(BoardMemory, TheEntryPointRunsOnTheStackInTemporaryRam) {
  Emulator E{Scenario{}};
  const RunReport R = E.Run();
  ASSERT_TRUE(R.Status.has_value());
  const uintptr_t Deepest = E.GetBoard().LowestStackPointer();
  EXPECT_GE(Deepest, 0x00800000u);
  EXPECT_LT(Deepest, 0x00840000u);
  EXPECT_GT(R.EntryStackBytes, 0u);
  EXPECT_LT(R.EntryStackBytes, uint64_t{PeiCore::kStackBytes});
}

TEST(BoardMemory, OneBoardAtATimeAndEachStartsClean) {
  uint8_t *Pool = nullptr;
  {
    Emulator First{Scenario{}};
    EXPECT_THROW(Emulator Second{Scenario{}}, std::runtime_error);
    Pool = First.Core().MemoryBase() + 0x10200;
    std::memset(Pool, 0x5A, 64);
    First.Run();
  }
  Emulator Next{Scenario{}};
  EXPECT_EQ(Next.Core().MemoryBase() + 0x10200, Pool);                     // the same place...
  for (int Byte = 0; Byte < 64; Byte++) ASSERT_EQ(Pool[Byte], 0) << Byte;  // ...zeroed
  const RunReport R = Next.Run();
  ASSERT_TRUE(R.StaticPointerTable.has_value());
  EXPECT_EQ(R.StaticPointerTable->Address, 0x7C040250u);  // the table's HOB, after the move
  for (uint64_t Mm7 : R.Mm7) EXPECT_EQ(Mm7, 0x7C040250u);
}

TEST(BoardMemory, AScenarioMovesTheWindows) {
  Scenario S;
  S.Memory.TemporaryRamBase = 0x01000000;
  S.Memory.PermanentMemoryBase = 0x60000000;
  S.Memory.PermanentMemorySize = 0x00100000;
  Emulator E{S};
  EXPECT_EQ(Address(E.Core().Services()), 0x01040000u);
  E.Core().MigrateToPermanentMemory();
  EXPECT_EQ(Address(E.Core().Services()), 0x60040000u);
}

TEST(BoardMemory, MapsABoardCannotHaveAreRefused) {
  const uint64_t Needed = PeiCore::WindowBytes(65536, 8192);
  struct Row {
    MemoryMap Map;
    const char *Key;
    const char *Text;
  };
  const Row Rows[] = {
      {{0x00800800, 0, 0x7C000000, 0x04000000}, "memory.temporary_ram_base", "0x00800800 is not a multiple of 4 KiB"},
      {{0x00800000, 0x00100800, 0x7C000000, 0x04000000},
       "memory.temporary_ram_size",
       "0x00100800 is not a multiple of 4 KiB"},
      {{0x00800000, 0x00040000, 0x7C000000, 0x04000000},
       "memory.temporary_ram_size",
       "0x00040000 bytes cannot hold the stack, the HOB list and the pool (0x00052200 bytes with pei.hob_space and "
       "pei.pool_space)"},
      {{0x07F00000, 0x00200000, 0x7C000000, 0x04000000},
       "memory.temporary_ram_base",
       "0x07F00000 to 0x080FFFFF is not in the RAM the emulator can back (0x00100000 to 0x07FFFFFF, 0x60000000 to "
       "0x7FFFFFFF)"},
      {{0x00000000, 0, 0x7C000000, 0x04000000}, "memory.temporary_ram_base", nullptr},
      {{0x00800000, 0, 0x7C000000, 0x04001000}, "memory.permanent_memory_base", nullptr},  // into the PCIe window
      {{0x00800000, 0, 0xC0000000, 0x00100000}, "memory.permanent_memory_base", nullptr},  // the host's
      {{0x00800000, 0, 0x30000000, 0x00100000}, "memory.permanent_memory_base", nullptr},  // ASan's shadow
      {{0x00800000, 0, 0x00800000, 0x04000000},
       "memory.permanent_memory_base",
       "0x00800000 to 0x047FFFFF overlaps temporary RAM (0x00800000 to 0x008FFFFF)"},
      {{0x00800000, 0, 0x00400000, 0x00401000}, "memory.permanent_memory_base", nullptr},  // overlaps from below
  };
  for (const Row &R : Rows) {
    const auto Problem = CheckMemoryMap(R.Map, Needed);
    ASSERT_TRUE(Problem.has_value()) << R.Key;
    EXPECT_EQ(Problem->Key, R.Key);
    if (R.Text != nullptr) EXPECT_EQ(Problem->Text, R.Text);
    EXPECT_THROW(
        {
          Scenario S;
          S.Memory = R.Map;
          Emulator E{S};
        },
        std::invalid_argument);
  }
  EXPECT_FALSE(CheckMemoryMap(MemoryMap{}, Needed).has_value());
  // The largest [pei] spaces grow the default temporary RAM and still fit.
  const uint64_t Largest = PeiCore::WindowBytes(16u << 20, 16u << 20);
  EXPECT_FALSE(CheckMemoryMap(MemoryMap{}, Largest).has_value());
  EXPECT_EQ(MemoryMap{}.Resolved(Largest).TemporaryRamSize, 0x02100000u);
  EXPECT_EQ(MemoryMap{}.Resolved(Needed).TemporaryRamSize, 0x00100000u);
}

// The range a scenario may use is one and the same natively, under qemu-i386, with and
// without the sanitizer (make test-emulated runs this group on the emulated path in both
// trees): a window at each of its edges is mapped and the board boots there, a window one
// page past an edge is refused before anything is mapped.
TEST(BoardMemory, EveryEdgeOfTheRangeIsTheSameOnEveryPathAndBuild) {
  const uint64_t Needed = PeiCore::WindowBytes(65536, 8192);
  constexpr uint32_t kMiB = 0x00100000;
  struct Row {
    MemoryMap Map;
    bool Accepted;
  };
  const Row Rows[] = {
      {{0x00100000, kMiB, 0x7C000000, 0x04000000}, true},  // the low range's first MiB
      {{0x000FF000, kMiB, 0x7C000000, 0x04000000}, false},
      {{0x07F00000, kMiB, 0x7C000000, 0x04000000}, true},  // ... and its last
      {{0x07F01000, kMiB, 0x7C000000, 0x04000000}, false},
      {{0x00800000, 0, 0x60000000, kMiB}, true},  // the high range's first MiB
      {{0x00800000, 0, 0x5FFFF000, kMiB}, false},
      {{0x00800000, 0, 0x7FF00000, kMiB}, true},  // ... and its last
      {{0x00800000, 0, 0x7FF01000, kMiB}, false},
      {{0x60000000, kMiB, 0x00100000, 0x07F00000}, true},  // the windows the other way round, each range whole
  };
  const std::optional<EFI_STATUS> Baseline = Emulator{Scenario{}}.Run().Status;
  ASSERT_TRUE(Baseline.has_value());
  for (const Row &R : Rows) {
    const auto Problem = CheckMemoryMap(R.Map, Needed);
    EXPECT_EQ(!Problem.has_value(), R.Accepted)
        << std::hex << R.Map.TemporaryRamBase << " " << R.Map.PermanentMemoryBase;
    if (!R.Accepted) continue;
    Scenario S;
    S.Memory = R.Map;
    Emulator E{S};
    const RunReport Run = E.Run();
    EXPECT_EQ(Run.Status.value_or(~Baseline.value()), Baseline.value())
        << std::hex << R.Map.TemporaryRamBase << " " << R.Map.PermanentMemoryBase;
    EXPECT_EQ(Address(E.Core().Services()) & 0xFFF00000u, R.Map.PermanentMemoryBase & 0xFFF00000u)
        << "the services moved into permanent memory";
  }
}

}  // namespace
