// Port and memory-mapped access: one access of the right width at the right place, and
// alignment checks that report and still perform the access.
#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
#include <Library/IoLib.h>
#include <Library/PciExpressLib.h>
#include <Library/PciSegmentLib.h>
}

#include "BoardFixture.h"

using namespace quarn;
using test::ActiveBoard;

namespace {

const emu::TraceEntry *LastAccess(const emu::Board &B, const std::string &Kind) {
  const emu::TraceEntry *Found = nullptr;
  for (const auto &Entry : B.Trace()) {
    if (Entry.Kind == Kind) Found = &Entry;
  }
  return Found;
}

bool HaltCodeD2(const emu::Board &B) {
  for (const auto &H : B.HaltCodes()) {
    if (H.Port == 0xCB0 && H.Value == 0xD2) return true;
  }
  return false;
}

}  // namespace

TEST(IoLib, AlignedPortAccessDoesNotAssert) {
  ActiveBoard Board;
  IoWrite32(0xCF8, 0x80000000);
  EXPECT_EQ(IoRead32(0xCF8), 0x80000000u);
  EXPECT_EQ(Board.Breakpoints(), 0u);
}

TEST(IoLib, MisalignedPortReadAssertsThenReadsThatPort) {
  ActiveBoard Board;
  IoRead32(0x509);
  EXPECT_EQ(Board.Breakpoints(), 1u);
  EXPECT_TRUE(HaltCodeD2(Board.B));
  const auto *Read = LastAccess(Board.B, "io-read32");
  ASSERT_NE(Read, nullptr);
  EXPECT_EQ(Read->Address, 0x509u);
}

TEST(IoLib, MisalignedPortWriteAssertsThenWrites) {
  ActiveBoard Board;
  IoWrite32(0x52, 0x12345678);
  EXPECT_EQ(Board.Breakpoints(), 1u);
  const auto *Write = LastAccess(Board.B, "io-write32");
  ASSERT_NE(Write, nullptr);
  EXPECT_EQ(Write->Address, 0x52u);
  EXPECT_EQ(Write->Value, 0x12345678u);
}

TEST(IoLib, MisalignedMmioAccessesAssertAndAccessOnce) {
  ActiveBoard Board;
  MmioRead32(0x80000002);
  MmioWrite32(0x80000006, 1);
  EXPECT_EQ(Board.Breakpoints(), 2u);
  unsigned Reads = 0, Writes = 0;
  for (const auto &Entry : Board.B.Trace()) {
    Reads += Entry.Kind == "mmio-read32";
    Writes += Entry.Kind == "mmio-write32";
  }
  EXPECT_EQ(Reads, 1u);
  EXPECT_EQ(Writes, 1u);
}

TEST(IoLib, ByteAccessesAreUnchecked) {
  ActiveBoard Board;
  IoWrite8(0x71, 0x55);
  IoRead8(0x3FB);
  EXPECT_EQ(Board.Breakpoints(), 0u);
}

TEST(PciAccess, SegmentAddressReachesTheExpressWindow) {
  ActiveBoard Board;
  PciSegmentRead32(0xC0040);  // segment 0, bus 0, device 24, function 0, offset 0x40
  const auto *Read = LastAccess(Board.B, "mmio-read32");
  ASSERT_NE(Read, nullptr);
  EXPECT_EQ(Read->Address, 0x800C0040u);
  EXPECT_EQ(Board.Breakpoints(), 0u);
}

TEST(PciAccess, ByteReadOfTheHostBridgeLandsAtItsWindowAddress) {
  ActiveBoard Board;
  PciExpressRead8(0xFC);
  const auto *Read = LastAccess(Board.B, "mmio-read8");
  ASSERT_NE(Read, nullptr);
  EXPECT_EQ(Read->Address, 0x800000FCu);
}

TEST(PciAccess, AbsentFunctionReadsAllOnes) {
  ActiveBoard Board;
  EXPECT_EQ(PciSegmentRead32(0xC0040), 0xFFFFFFFFu);
  EXPECT_EQ(PciExpressRead8(0xC0040), 0xFFu);
}

TEST(PciAccess, MalformedAddressesAssert) {
  ActiveBoard Board;
  PciSegmentRead32(0x0000000100000000ull | 0xC0040);  // segment 1
  EXPECT_EQ(Board.Breakpoints(), 1u);
  PciSegmentRead32(0x10000040);  // bits 31:28
  EXPECT_EQ(Board.Breakpoints(), 3u) << "the segment check and the window check both fail";
  PciSegmentRead32(0xC0042);  // misaligned
  EXPECT_GE(Board.Breakpoints(), 4u);
  PciExpressRead8(0x10000000);
  EXPECT_GE(Board.Breakpoints(), 5u);
}

TEST(PciAccess, ConfigurationPortsReachTheSameFunctions) {
  ActiveBoard Board;
  struct Function : emu::PciFunction {
    std::string Name() const override { return "f"; }
    uint32_t ConfigRead(uint16_t Offset, unsigned Width) override {
      return emu::ExtractBytes(0xA1B2C3D4, Offset & 3, Width);
    }
    void ConfigWrite(uint16_t, unsigned, uint32_t) override {}
  };
  Function F;
  Board.B.MapPci({0, 31, 1}, F);
  IoWrite32(0xCF8, 0x8000F910);
  EXPECT_EQ(IoRead32(0xCFC), 0xA1B2C3D4u);
  EXPECT_EQ(PciExpressRead32(0xF9010), 0xA1B2C3D4u);
}
