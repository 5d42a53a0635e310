// Fill and copy: overlapping ranges in both directions, odd lengths and addresses.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/BaseMemoryLib.h>
}

#include <numeric>
#include <string>
#include <vector>

#include "BoardFixture.h"

using quarn::test::ActiveBoard;

namespace {

std::vector<uint8_t> Sequence(size_t Length) {
  std::vector<uint8_t> Bytes(Length);
  std::iota(Bytes.begin(), Bytes.end(), uint8_t(1));
  return Bytes;
}

}  // namespace

TEST(CopyMem, DestinationInsideTheSourceCopiesBackwards) {
  ActiveBoard Board;
  auto Bytes = Sequence(16);
  const std::vector<uint8_t> Before(Bytes.begin(), Bytes.begin() + 8);
  CopyMem(&Bytes[1], &Bytes[0], 8);
  EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + 1, Bytes.begin() + 9), Before);
  EXPECT_EQ(Bytes[0], 1);
  EXPECT_EQ(Bytes[9], 10);
}

TEST(CopyMem, SourceInsideTheDestinationCopiesForwards) {
  ActiveBoard Board;
  for (size_t Distance : {1u, 2u, 3u, 4u, 5u}) {
    auto Bytes = Sequence(24);
    const std::vector<uint8_t> Before(Bytes.begin() + Distance, Bytes.begin() + Distance + 13);
    CopyMem(&Bytes[0], &Bytes[Distance], 13);
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin(), Bytes.begin() + 13), Before) << "distance " << Distance;
  }
}

TEST(CopyMem, LargerOverlapsInBothDirectionsKeepTheSource) {
  ActiveBoard Board;
  for (size_t Distance : {1u, 3u, 4u, 7u}) {
    auto Bytes = Sequence(64);
    const std::vector<uint8_t> Before(Bytes.begin(), Bytes.begin() + 41);
    CopyMem(&Bytes[Distance], &Bytes[0], 41);
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + Distance, Bytes.begin() + Distance + 41), Before);
  }
}

TEST(CopyMem, OverlapOfOneByteAndAdjacentRanges) {
  // The destination starts on the source's last byte (overlap of one), or just past it.
  ActiveBoard Board;
  for (size_t Length : {2u, 5u, 8u, 13u}) {
    for (size_t Distance : {Length - 1, Length}) {
      SCOPED_TRACE("length " + std::to_string(Length) + ", distance " + std::to_string(Distance));
      auto Bytes = Sequence(32);
      const std::vector<uint8_t> Before(Bytes.begin(), Bytes.begin() + Length);
      CopyMem(&Bytes[Distance], &Bytes[0], Length);
      EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + Distance, Bytes.begin() + Distance + Length), Before);
      EXPECT_EQ(Bytes[Distance + Length], Distance + Length + 1) << "nothing written past the end";
    }
  }
}

TEST(CopyMem, SameAddressCopiesNothingAndReturnsTheDestination) {
  ActiveBoard Board;
  auto Bytes = Sequence(8);
  EXPECT_EQ(CopyMem(Bytes.data(), Bytes.data(), 8), Bytes.data());
  EXPECT_EQ(Bytes, Sequence(8));
  EXPECT_EQ(Board.Breakpoints(), 0u);
}

TEST(CopyMem, ZeroLengthCopiesNothingAndAssertsNothingWhateverThePointers) {
  ActiveBoard Board;
  auto Bytes = Sequence(8);
  EXPECT_EQ(CopyMem(&Bytes[0], &Bytes[4], 0), &Bytes[0]);
  EXPECT_EQ(Bytes, Sequence(8));
  // Length - 1 would wrap: the range checks must not see a zero length at all.
  EXPECT_EQ(CopyMem(reinterpret_cast<void *>(uintptr_t{0xFFFFFFF0}), Bytes.data(), 0),
            reinterpret_cast<void *>(uintptr_t{0xFFFFFFF0}));
  EXPECT_EQ(Board.Breakpoints(), 0u);
}

TEST(CopyMem, DisjointOddLengthsAtOddAddresses) {
  ActiveBoard Board;
  auto Source = Sequence(40);
  std::vector<uint8_t> Destination(40, 0xEE);
  CopyMem(&Destination[3], &Source[1], 31);
  EXPECT_EQ(Destination[2], 0xEE);
  EXPECT_EQ(Destination[34], 0xEE);
  EXPECT_TRUE(std::equal(Destination.begin() + 3, Destination.begin() + 34, Source.begin() + 1));
}

TEST(ZeroMem, ClearsExactlyTheRange) {
  ActiveBoard Board;
  for (size_t Length : {1u, 3u, 4u, 7u, 8u, 13u}) {
    std::vector<uint8_t> Bytes(24, 0xFF);
    EXPECT_EQ(ZeroMem(&Bytes[1], Length), &Bytes[1]);
    EXPECT_EQ(Bytes[0], 0xFF);
    for (size_t Index = 1; Index <= Length; Index++) EXPECT_EQ(Bytes[Index], 0) << Length;
    EXPECT_EQ(Bytes[Length + 1], 0xFF) << Length;
  }
}

TEST(ZeroMem, NullBufferAsserts) {
  ActiveBoard Board;
  // Length 0 keeps the store loop from touching address 0 after the report.
  ZeroMem(nullptr, 0);
  EXPECT_EQ(Board.Breakpoints(), 1u);
}
