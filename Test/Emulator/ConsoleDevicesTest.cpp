// The console's neighbours on the board: CMOS with its NMI mask, the Super I/O serial
// logical devices, and the chipset registers the console set-up programs.
#include <gtest/gtest.h>

#include "Emulator/Board/Board.h"
#include "Emulator/Devices/Chipset.h"
#include "Emulator/Devices/Cmos.h"
#include "Emulator/Devices/SuperIo.h"

using namespace quarn::emu;

namespace {

TEST(Cmos, Bit7OfTheIndexMasksNmiAndIsNoAddressBit) {
  Board B;
  Cmos C(B, 0x80000042, /*Valid=*/false);
  B.IoWrite8(0x70, 0x8E);
  EXPECT_TRUE(C.NmiMasked());
  EXPECT_EQ(C.SelectedRegister(), 0x0E);
  EXPECT_EQ(B.IoRead8(0x71), 0x80);
  B.IoWrite8(0x70, 0x7D);
  EXPECT_FALSE(C.NmiMasked());
  EXPECT_EQ(B.IoRead8(0x71), 0x80);
  B.IoWrite8(0x70, 0xFA);  // 0x7A with NMIs masked
  EXPECT_EQ(B.IoRead8(0x71), 0x42);
  B.IoWrite8(0x71, 0x11);
  EXPECT_EQ(C.Byte(0x7A), 0x11);
  EXPECT_EQ(B.IoRead8(0x70), 0xFF);  // the index port is write-only
  EXPECT_EQ(C.DataAccesses(), 4u);
}

TEST(SuperIo, SerialDevicesKeepTheirOwnRegisters) {
  Board B;
  SuperIo S(B, /*Ld3Active=*/false, /*Ld2Active=*/true);
  EXPECT_FALSE(S.Active(3));
  EXPECT_TRUE(S.Active(2));
  EXPECT_EQ(S.IoBase(2), 0x2F8);  // active at power-on: set up by an earlier stage
  EXPECT_EQ(S.Irq(2), 3);
  EXPECT_EQ(S.IoBase(3), 0);

  auto Write = [&](uint8_t Index, uint8_t Value) {
    B.IoWrite8(0x4E, Index);
    B.IoWrite8(0x4F, Value);
  };
  auto Read = [&](uint8_t Index) {
    B.IoWrite8(0x4E, Index);
    return B.IoRead8(0x4F);
  };
  Write(0x07, 3);
  Write(0x60, 0x03);
  Write(0x61, 0xF8);
  Write(0x70, 4);
  Write(0x30, 1);
  EXPECT_EQ(Read(0x07), 3);
  EXPECT_EQ(Read(0x60), 0x03);
  Write(0x07, 2);
  EXPECT_EQ(Read(0x60), 0x02);  // device 2's own base
  EXPECT_EQ(Read(0x30), 1);
  Write(0x22, 0x5A);  // a global register, seen from every device
  Write(0x07, 3);
  EXPECT_EQ(Read(0x22), 0x5A);
  EXPECT_TRUE(S.Active(3));
  EXPECT_EQ(S.IoBase(3), 0x3F8);
  EXPECT_EQ(S.Irq(3), 4);
  EXPECT_EQ(B.IoRead8(0x4E), 0x22);  // the index port reads back
}

TEST(Chipset, RegistersTheConsoleSetUpUses) {
  Board B;
  Chipset &C = B.Add<Chipset>(B, uint8_t(4));
  EXPECT_EQ(B.Find<Chipset>(), &C);
  EXPECT_EQ(B.MmioRead8(B.Layout().PcieBase + 0xFC), 4);  // 00:00.0 byte 0xFC
  EXPECT_EQ(B.MmioRead8(B.Layout().PcieBase + 0xFD), 0);
  C.SetHostBridgeFc(0);
  EXPECT_EQ(B.MmioRead8(B.Layout().PcieBase + 0xFC), 0);

  B.IoWrite32(0xCF8, 0x8000F910);  // 00:1F.1 offset 0x10
  EXPECT_EQ(B.IoRead32(0xCFC) & 0xFFFFFF00u, Chipset::kSidebandBase);
  B.IoWrite32(0xCF8, 0x8000F880);  // 00:1F.0 offset 0x80
  B.IoWrite32(0xCFC, 0x340B1010);
  EXPECT_EQ(C.LpcDecode(), 0x340B1010u);
  EXPECT_EQ(B.IoRead32(0xCFC), 0x340B1010u);
  B.IoWrite8(0xCFE, 0x00);  // a byte write merges
  EXPECT_EQ(C.LpcDecode(), 0x34001010u);

  B.MmioWrite32(Chipset::kSidebandBase + 0xEF2770, 0x1010);
  EXPECT_EQ(B.MmioRead32(Chipset::kSidebandBase + 0xEF2770), 0x1010u);
  EXPECT_EQ(C.Sideband(0xEF2770), 0x1010u);
  B.MmioWrite8(Chipset::kSidebandBase + 0xEF2771, 0xAB);
  EXPECT_EQ(C.Sideband(0xEF2770), 0xAB10u);

  C.HideSidebandFunction(true);
  B.IoWrite32(0xCF8, 0x8000F910);
  EXPECT_EQ(B.IoRead32(0xCFC), 0xFFFFFFFFu);
}

}  // namespace
