// The policy lookup: the walk over the config block table, its bounds, and what the
// flow gets for a missing or unusable QUARN pre-memory block.
#include <gtest/gtest.h>

#include <Library/VornGetPeiConfigBlockLib.h>

#include <cstring>

#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/PolicyPpi.h"
#include "Test/Pei/FlowTestSupport.h"

using namespace quarn::emu;
using namespace quarn::test;

namespace {

constexpr EFI_GUID kBlockA = {0x11111111, 0x2222, 0x3333, {0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44, 0x44}};
constexpr EFI_GUID kBlockB = {0x55555555, 0x6666, 0x7777, {0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88, 0x88}};

void SetTotalSize(std::vector<uint8_t> &Table, uint16_t Size) { std::memcpy(&Table[2], &Size, 2); }
void SetBlockCount(std::vector<uint8_t> &Table, uint16_t Count) { std::memcpy(&Table[30], &Count, 2); }

Scenario WithTable(std::vector<uint8_t> Table) {
  Scenario S;
  S.PolicyTable = std::move(Table);
  return S;
}

/// Runs FindConfigBlock over the scenario's table; Offset receives the block's offset.
EFI_STATUS Find(Emulator &E, const EFI_GUID &Guid, ptrdiff_t *Offset) {
  E.Activate();
  auto *Table = static_cast<uint8_t *>(E.Policy().Table());
  VOID *Sentinel = reinterpret_cast<VOID *>(0x1234);
  VOID *Block = Sentinel;
  const EFI_STATUS Status = FindConfigBlock(Table, &Guid, &Block);
  *Offset = Block == Sentinel ? -1 : static_cast<uint8_t *>(Block) - Table;
  return Status;
}

size_t AssertCount(Emulator &E) { return E.Snapshot().Asserts.size(); }

}  // namespace

// --- the walk -----------------------------------------------------------------------

TEST(FindConfigBlock, FindsTheFirstBlockRightAfterTheHeader) {
  Emulator E{WithTable(PolicyPpi::BuildTable({PolicyPpi::BuildBlock(kBlockA, 40)}))};
  ptrdiff_t Offset;
  EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_SUCCESS);
  EXPECT_EQ(Offset, 36);
}

TEST(FindConfigBlock, StepsOverEarlierBlocksByTheirSizes) {
  Emulator E{WithTable(PolicyPpi::BuildTable(
      {PolicyPpi::BuildBlock(kBlockB, 40), PolicyPpi::BuildBlock(kBlockB, 28), PolicyPpi::BuildBlock(kBlockA, 64)}))};
  ptrdiff_t Offset;
  EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_SUCCESS);
  EXPECT_EQ(Offset, 36 + 40 + 28);
}

TEST(FindConfigBlock, TheEarlierOfTwoMatchingBlocksWins) {
  Emulator E{WithTable(PolicyPpi::BuildTable(
      {PolicyPpi::BuildBlock(kBlockB, 32), PolicyPpi::BuildBlock(kBlockA, 48), PolicyPpi::BuildBlock(kBlockA, 64)}))};
  ptrdiff_t Offset;
  EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_SUCCESS);
  EXPECT_EQ(Offset, 36 + 32);
}

TEST(FindConfigBlock, MissingBlockIsNotFoundAndThePointerIsLeftAlone) {
  Emulator E{WithTable(PolicyPpi::BuildTable({PolicyPpi::BuildBlock(kBlockB, 40)}))};
  ptrdiff_t Offset;
  EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_NOT_FOUND);
  EXPECT_EQ(Offset, -1);
}

TEST(FindConfigBlock, ZeroBlockCountExaminesNothing) {
  auto Table = PolicyPpi::BuildTable({PolicyPpi::BuildBlock(kBlockA, 40)});
  SetBlockCount(Table, 0);
  Emulator E{WithTable(Table)};
  ptrdiff_t Offset;
  EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_NOT_FOUND);
  EXPECT_EQ(Offset, -1);
}

TEST(FindConfigBlock, TotalSizeBelowTheHeaderExaminesNothing) {
  auto Table = PolicyPpi::BuildTable({PolicyPpi::BuildBlock(kBlockA, 40)});
  SetTotalSize(Table, 20);
  Emulator E{WithTable(Table)};
  ptrdiff_t Offset;
  EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_NOT_FOUND);
}

TEST(FindConfigBlock, BlockBeyondTotalSizeIsNotFoundThoughTheCountReachesIt) {
  auto Table = PolicyPpi::BuildTable({PolicyPpi::BuildBlock(kBlockB, 40), PolicyPpi::BuildBlock(kBlockA, 64)});
  SetTotalSize(Table, 36 + 40);  // the second block starts exactly at the end
  Emulator E{WithTable(Table)};
  ptrdiff_t Offset;
  EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_NOT_FOUND);
}

TEST(FindConfigBlock, BlockWhoseHeaderCrossesTotalSizeIsNotExamined) {
  auto Table = PolicyPpi::BuildTable({PolicyPpi::BuildBlock(kBlockB, 40), PolicyPpi::BuildBlock(kBlockA, 64)});
  SetTotalSize(Table, 36 + 40 + 23);  // one byte of the name lies past the end
  ptrdiff_t Offset;
  {
    Emulator E{WithTable(Table)};
    EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_NOT_FOUND);
  }

  SetTotalSize(Table, 36 + 40 + 24);  // the whole header inside: examined
  Emulator E2{WithTable(Table)};
  EXPECT_EQ(Find(E2, kBlockA, &Offset), EFI_SUCCESS);
  EXPECT_EQ(Offset, 36 + 40);
}

TEST(FindConfigBlock, ZeroBlockSizeEndsTheWalk) {
  // A block that claims size 0 with the largest count: the walk must end at once, not
  // examine the same block 65535 times or step past it.
  auto Table = PolicyPpi::BuildTable({PolicyPpi::BuildBlock(kBlockB, 0), PolicyPpi::BuildBlock(kBlockA, 40)});
  SetBlockCount(Table, 0xFFFF);
  Emulator E{WithTable(Table)};
  ptrdiff_t Offset;
  EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_NOT_FOUND);
  EXPECT_EQ(Offset, -1);
}

TEST(FindConfigBlock, GuidMustMatchInEveryByte) {
  EFI_GUID Near = kBlockA;
  Near.Data4[7] ^= 1;
  Emulator E{WithTable(PolicyPpi::BuildTable({PolicyPpi::BuildBlock(Near, 40)}))};
  ptrdiff_t Offset;
  EXPECT_EQ(Find(E, kBlockA, &Offset), EFI_NOT_FOUND);
}

// --- the QUARN pre-memory block -------------------------------------------------------

TEST(VornGetPeiConfigBlock, ReturnsTheQuarnBlockOfTheInstalledPolicy) {
  Scenario S;
  S.PreDidReset = true;
  Emulator E{S};
  E.Activate();
  QUARN_PREMEM_CONFIG *Config = VornGetPeiConfigBlock();
  ASSERT_NE(Config, nullptr);
  // The built policy carries one 40-byte block before the QUARN one.
  EXPECT_EQ(reinterpret_cast<uint8_t *>(Config) - static_cast<uint8_t *>(E.Policy().Table()), 36 + 40);
  EXPECT_EQ(Config->PreDidResetEnable, 1);
  EXPECT_EQ(AssertCount(E), 0u);
}

TEST(VornGetPeiConfigBlock, PolicyNotInstalledGivesNullAndOneAssertion) {
  Scenario S;
  S.PolicyInstalled = false;
  Emulator E{S};
  E.Activate();
  EXPECT_EQ(VornGetPeiConfigBlock(), nullptr);
  EXPECT_EQ(AssertCount(E), 1u);
  EXPECT_EQ(Printed(E.Snapshot()), "\nASSERT_EFI_ERROR (Status = Not Found)\n");
}

TEST(VornGetPeiConfigBlock, BlockMissingFromTheTableGivesNullAndOneAssertion) {
  Scenario S;
  S.PolicyBlock = false;
  Emulator E{S};
  E.Activate();
  EXPECT_EQ(VornGetPeiConfigBlock(), nullptr);
  EXPECT_EQ(AssertCount(E), 1u);
  EXPECT_EQ(Printed(E.Snapshot()), "Could not find the config block.\n\nASSERT_EFI_ERROR (Status = Not Found)\n");
}

TEST(VornGetPeiConfigBlock, BlockTooSmallForTheFlowsFieldsCountsAsAbsent) {
  // A 40-byte block followed by another whose bytes would be taken for the switches.
  auto Small = PolicyPpi::BuildBlock(gQuarnPreMemConfigGuid, 40);
  auto Next = PolicyPpi::BuildBlock(kBlockB, 64);
  std::memset(Next.data() + 24, 0xFF, Next.size() - 24);
  {
    Emulator E{WithTable(PolicyPpi::BuildTable({Small, Next}))};
    E.Activate();
    EXPECT_EQ(VornGetPeiConfigBlock(), nullptr);
    EXPECT_TRUE(Prints(E.Snapshot(), "QUARN config block is malformed (size 40), ignored.\n"));
    EXPECT_EQ(AssertCount(E), 0u);
  }

  // Exactly the 56 bytes the flow reads is enough.
  Emulator E2{WithTable(PolicyPpi::BuildTable({PolicyPpi::BuildBlock(gQuarnPreMemConfigGuid, 56)}))};
  E2.Activate();
  EXPECT_NE(VornGetPeiConfigBlock(), nullptr);
}

TEST(VornGetPeiConfigBlock, BlockReachingPastTheTableCountsAsAbsent) {
  auto Table = PolicyPpi::BuildTable({PolicyPpi::BuildBlock(gQuarnPreMemConfigGuid, 64)});
  SetTotalSize(Table, 36 + 50);  // header inside, the watchdog word outside
  Emulator E{WithTable(Table)};
  E.Activate();
  EXPECT_EQ(VornGetPeiConfigBlock(), nullptr);
}

TEST(VornGetPeiConfigBlock, TableAtAnOddAddressIsReadUnaligned) {
  // The table is the PPI pointer itself; another module may place it anywhere.
  std::vector<uint8_t> Storage(1 + 36 + 40 + 64 + 8, 0);
  auto Table =
      PolicyPpi::BuildTable({PolicyPpi::BuildBlock(kBlockB, 40), PolicyPpi::BuildPreMemBlock(true, false, true)});
  std::memcpy(Storage.data() + 1, Table.data(), Table.size());
  Scenario S;
  S.PolicyInstalled = false;
  Emulator E{S};
  E.Activate();
  E.Core().InstallPpi(gVornPolicyPpiGuid, Storage.data() + 1);
  QUARN_PREMEM_CONFIG *Config = VornGetPeiConfigBlock();
  ASSERT_NE(Config, nullptr);
  EXPECT_EQ(reinterpret_cast<uint8_t *>(Config), Storage.data() + 1 + 36 + 40);
}
