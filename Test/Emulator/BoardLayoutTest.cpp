// The board's layout: each device a scenario moves answers at its new place and no longer
// at the one the module was built for, the warning names both places and the PCD, and a
// layout the board cannot have is refused before anything runs.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "Emulator/Emulator.h"

using namespace quarn::emu;

namespace {

/// A layout key by its [board] name.
const BoardLayoutKey &KeyNamed(const std::string &Name) {
  for (const BoardLayoutKey &K : kBoardLayoutKeys) {
    if (Name == K.Key) return K;
  }
  throw std::invalid_argument("no layout key " + Name);
}

// Probes: what the board answers at one place of a device.
uint32_t UartScratch(Board &B, uint32_t Base) {
  B.IoWrite8(uint16_t(Base + 7), 0x5A);
  return B.IoRead8(uint16_t(Base + 7));
}
uint32_t SioIndex(Board &B, uint32_t Port) {
  B.IoWrite8(uint16_t(Port), 0x22);
  return B.IoRead8(uint16_t(Port));
}
uint32_t SioData(Board &B, uint32_t Port) {
  B.IoWrite8(B.Layout().SioIndexPort, 0x22);
  B.IoWrite8(uint16_t(Port), 0x5A);
  return B.IoRead8(uint16_t(Port));
}
uint32_t TimerHighByte(Board &B, uint32_t Port) { return B.IoRead32(uint16_t(Port)) & 0xFF000000u; }
uint32_t HaltCodesAt(Board &B, uint32_t Port) {
  B.IoWrite8(uint16_t(Port), 0xD2);
  uint32_t Count = 0;
  for (const HaltCode &H : B.HaltCodes()) Count += H.Port == Port;
  return Count;
}
uint32_t CmosByte(Board &B, uint32_t Index) {
  B.IoWrite8(0x70, uint8_t(Index));
  return B.IoRead8(0x71);
}
uint32_t VornFs1(Board &B, uint32_t Base) { return B.MmioRead32(Base + (24u << 15) + 0x40); }  // 00:18.0 + 0x40
uint32_t Register32(Board &B, uint32_t Address) { return B.MmioRead32(Address); }

}  // namespace

TEST(BoardLayout, AMovedDeviceAnswersAtItsNewPlaceOnlyAndIsWarnedAbout) {
  const struct {
    const char *Key;
    uint32_t Place;
    uint32_t (*Probe)(Board &, uint32_t);
    uint32_t There, Gone;  // what the probe gets at the new place, and at the module's
    const char *Warning;
  } kRows[] = {
      {"uart1_base", 0x3E8, UartScratch, 0x5A, 0xFF,
       "board: UART 1 at 0x3E8, but the module was built for 0x3F8 (PcdQuarnUart1Base)"},
      {"uart2_base", 0x2E8, UartScratch, 0x5A, 0xFF,
       "board: UART 2 at 0x2E8, but the module was built for 0x2F8 (PcdQuarnUart2Base)"},
      {"sio_index_port", 0x2E, SioIndex, 0x22, 0xFF,
       "board: Super I/O index port at 0x2E, but the module was built for 0x4E (PcdQuarnSioIndexPort)"},
      {"sio_data_port", 0x2F, SioData, 0x5A, 0xFF,
       "board: Super I/O data port at 0x2F, but the module was built for 0x4F (PcdQuarnSioDataPort)"},
      {"acpi_timer_port", 0x408, TimerHighByte, 0, 0xFF000000u,
       "board: ACPI PM timer at 0x408, but the module was built for 0x508 (PcdQuarnAcpiTimerPort)"},
      {"halt_code_port", 0xCA0, HaltCodesAt, 1, 0,
       "board: halt-code port at 0xCA0, but the module was built for 0xCB0 (PcdQuarnHaltCodePort)"},
      {"cmos_level_index", 0x40, CmosByte, 0x42, 0x00,
       "board: debug error level at CMOS 0x40, but the module was built for CMOS 0x7A (PcdQuarnDebugLevelCmosIndex)"},
      {"pcie_base", 0xC0000000u, VornFs1, 0x00000005, 0xFFFFFFFFu,
       "board: PCI Express window at 0xC0000000, but the module was built for 0x80000000 (PcdPciExpressBaseAddress)"},
      {"dwrsts_address", 0xFE001930u, Register32, 0x00008000, 0xFFFFFFFFu,
       "board: DWRSTS at 0xFE001930, but the module was built for 0xFE00192C (PcdQuarnDwrStsAddress)"},
  };
  for (const auto &Row : kRows) {
    SCOPED_TRACE(Row.Key);
    const BoardLayoutKey &Key = KeyNamed(Row.Key);
    Scenario S;
    S.DwrSts = 0x00008000;
    Key.Set(S.Layout, Row.Place);
    Emulator E(S);
    Board &B = E.GetBoard();
    EXPECT_EQ(Row.Probe(B, Row.Place), Row.There);
    EXPECT_EQ(Row.Probe(B, Key.Get(BoardLayout{})), Row.Gone) << "nothing answers where the module looks";
    EXPECT_EQ(BoardLayoutWarnings(B.Layout()), std::vector<std::string>{Row.Warning});
  }
  EXPECT_EQ(BoardLayoutWarnings(BoardLayout{}), std::vector<std::string>{}) << "the module's own board";
}

// The emulator refuses what the loader refuses, for boards built without a file: here a
// window over the temporary RAM as the PEI core sizes it.
TEST(BoardLayout, ABoardThatCannotBeBuiltIsRefusedNamingTheKey) {
  Scenario S;
  S.Layout.PcieBase = 0;
  try {
    Emulator E(S);
    ADD_FAILURE() << "built";
  } catch (const std::invalid_argument &Error) {
    EXPECT_STREQ(Error.what(),
                 "board.pcie_base: 0x00000000 to 0x0FFFFFFF overlaps temporary RAM (0x00800000 to 0x008FFFFF)");
  }
}
