// Where the board's devices answer: the I/O ports and memory-mapped addresses of every
// device the module reaches at a fixed place. The defaults are the values the module is
// built for, the package's FixedAtBuild PCDs as the build generated them (AutoGenPcd.h):
// a default board is the board the module expects. A scenario's [board] table moves
// devices; the module keeps the addresses it was built with, so a moved device is one the
// module no longer finds, as on a real board that differs from the firmware's build.
#pragma once

#include <AutoGenPcd.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Emulator/Memory/BoardMemory.h"

namespace quarn::emu {

struct BoardLayout {
  static constexpr uint32_t kUartPorts = 8;                // a 16550's registers
  static constexpr uint32_t kTimerPorts = 4;               // the 32-bit timer register
  static constexpr uint32_t kPcieWindowSize = 0x10000000;  // 256 buses of 1 MiB configuration space
  static constexpr uint32_t kDwrStsBytes = 4;
  static constexpr uint32_t kCmosLevelBytes = 4;          // the level, least significant byte first
  static constexpr uint32_t kFirstCmosLevelIndex = 0x0F;  // past the clock and status registers
  static constexpr uint32_t kLastCmosIndex = 0x7F;        // the bank the index port reaches

  uint16_t Uart1Base = _PCD_VALUE_PcdQuarnUart1Base;
  uint16_t Uart2Base = _PCD_VALUE_PcdQuarnUart2Base;
  uint16_t SioIndexPort = _PCD_VALUE_PcdQuarnSioIndexPort;
  uint16_t SioDataPort = _PCD_VALUE_PcdQuarnSioDataPort;
  uint16_t AcpiTimerPort = _PCD_VALUE_PcdQuarnAcpiTimerPort;
  uint16_t HaltCodePort = _PCD_VALUE_PcdQuarnHaltCodePort;
  uint8_t CmosLevelIndex = _PCD_VALUE_PcdQuarnDebugLevelCmosIndex;
  uint32_t PcieBase = static_cast<uint32_t>(_PCD_VALUE_PcdPciExpressBaseAddress);
  uint32_t DwrStsAddress = _PCD_VALUE_PcdQuarnDwrStsAddress;

  /// TRUE for an address inside the PCI Express configuration window.
  constexpr bool InPcieWindow(uint32_t Address) const {
    return Address >= PcieBase && Address - PcieBase < kPcieWindowSize;
  }

  bool operator==(const BoardLayout &) const = default;
};

// The build's values must describe a board the emulator can be: the window below 4 GiB and
// on its own size, the level inside CMOS past the status registers, DWRSTS a whole register.
static_assert(_PCD_VALUE_PcdPciExpressBaseAddress % BoardLayout::kPcieWindowSize == 0 &&
                  _PCD_VALUE_PcdPciExpressBaseAddress + BoardLayout::kPcieWindowSize <= 0x100000000ull,
              "PcdPciExpressBaseAddress: a 256 MiB window below 4 GiB, on its own size");
static_assert(_PCD_VALUE_PcdQuarnDebugLevelCmosIndex >= BoardLayout::kFirstCmosLevelIndex &&
                  _PCD_VALUE_PcdQuarnDebugLevelCmosIndex + BoardLayout::kCmosLevelBytes - 1 <=
                      BoardLayout::kLastCmosIndex,
              "PcdQuarnDebugLevelCmosIndex: four bytes in CMOS past the status registers");
static_assert(_PCD_VALUE_PcdQuarnDwrStsAddress % BoardLayout::kDwrStsBytes == 0,
              "PcdQuarnDwrStsAddress: a 32-bit register");
static_assert(_PCD_VALUE_PcdQuarnUart1Base + BoardLayout::kUartPorts <= _PCD_VALUE_PcdQuarnUart2Base ||
                  _PCD_VALUE_PcdQuarnUart2Base + BoardLayout::kUartPorts <= _PCD_VALUE_PcdQuarnUart1Base,
              "the two UARTs do not overlap");
static_assert(_PCD_VALUE_PcdQuarnSioIndexPort != _PCD_VALUE_PcdQuarnSioDataPort, "two Super I/O ports");

/// What a layout key addresses, which sets its range in a scenario and how it is written.
enum class LayoutSpace : uint8_t { Io, Mmio, Cmos };

/// One movable device: its [board] key, what sits there, the PCD the module was built
/// with, and how many ports or bytes it takes from its place on.
struct BoardLayoutKey {
  const char *Key;
  const char *Device;
  const char *Pcd;
  LayoutSpace Space;
  uint32_t Length;
  uint32_t (*Get)(const BoardLayout &);
  void (*Set)(BoardLayout &, uint32_t);
};

/// The [board] keys, in the order the scenario format documents them.
inline constexpr BoardLayoutKey kBoardLayoutKeys[] = {
    {"uart1_base", "UART 1", "PcdQuarnUart1Base", LayoutSpace::Io, BoardLayout::kUartPorts,
     [](const BoardLayout &L) -> uint32_t { return L.Uart1Base; },
     [](BoardLayout &L, uint32_t V) { L.Uart1Base = uint16_t(V); }},
    {"uart2_base", "UART 2", "PcdQuarnUart2Base", LayoutSpace::Io, BoardLayout::kUartPorts,
     [](const BoardLayout &L) -> uint32_t { return L.Uart2Base; },
     [](BoardLayout &L, uint32_t V) { L.Uart2Base = uint16_t(V); }},
    {"sio_index_port", "Super I/O index port", "PcdQuarnSioIndexPort", LayoutSpace::Io, 1,
     [](const BoardLayout &L) -> uint32_t { return L.SioIndexPort; },
     [](BoardLayout &L, uint32_t V) { L.SioIndexPort = uint16_t(V); }},
    {"sio_data_port", "Super I/O data port", "PcdQuarnSioDataPort", LayoutSpace::Io, 1,
     [](const BoardLayout &L) -> uint32_t { return L.SioDataPort; },
     [](BoardLayout &L, uint32_t V) { L.SioDataPort = uint16_t(V); }},
    {"acpi_timer_port", "ACPI PM timer", "PcdQuarnAcpiTimerPort", LayoutSpace::Io, BoardLayout::kTimerPorts,
     [](const BoardLayout &L) -> uint32_t { return L.AcpiTimerPort; },
     [](BoardLayout &L, uint32_t V) { L.AcpiTimerPort = uint16_t(V); }},
    {"halt_code_port", "halt-code port", "PcdQuarnHaltCodePort", LayoutSpace::Io, 1,
     [](const BoardLayout &L) -> uint32_t { return L.HaltCodePort; },
     [](BoardLayout &L, uint32_t V) { L.HaltCodePort = uint16_t(V); }},
    {"cmos_level_index", "debug error level", "PcdQuarnDebugLevelCmosIndex", LayoutSpace::Cmos,
     BoardLayout::kCmosLevelBytes, [](const BoardLayout &L) -> uint32_t { return L.CmosLevelIndex; },
     [](BoardLayout &L, uint32_t V) { L.CmosLevelIndex = uint8_t(V); }},
    {"pcie_base", "PCI Express window", "PcdPciExpressBaseAddress", LayoutSpace::Mmio, BoardLayout::kPcieWindowSize,
     [](const BoardLayout &L) -> uint32_t { return L.PcieBase; }, [](BoardLayout &L, uint32_t V) { L.PcieBase = V; }},
    {"dwrsts_address", "DWRSTS", "PcdQuarnDwrStsAddress", LayoutSpace::Mmio, BoardLayout::kDwrStsBytes,
     [](const BoardLayout &L) -> uint32_t { return L.DwrStsAddress; },
     [](BoardLayout &L, uint32_t V) { L.DwrStsAddress = V; }},
};

/// The largest value a key of Space takes in a scenario (the width of its address).
constexpr uint32_t LayoutSpaceMax(LayoutSpace Space) {
  return Space == LayoutSpace::Io ? 0xFFFF : Space == LayoutSpace::Cmos ? 0xFF : 0xFFFFFFFF;
}

/// What is wrong with a layout: the scenario key it concerns ("board.uart1_base") and why.
struct BoardLayoutProblem {
  std::string Key;
  std::string Text;
};

/// Checks Layout on a board whose RAM is Memory (sizes resolved): every device inside its
/// address space, the CMOS level past the status registers, the PCI Express window on its
/// own size, DWRSTS a whole register, and no device over another, over the board's fixed
/// ports (CMOS, PCI configuration, post and halt codes), its sideband window or its RAM.
/// Of two overlapping devices the one moved from the module's build is named. Returns the
/// first problem, or nothing when the board can be built.
std::optional<BoardLayoutProblem> CheckBoardLayout(const BoardLayout &Layout, const MemoryMap &Memory);

/// One text per device Layout places elsewhere than the module was built for, in key order:
/// "board: UART 1 at 0x3E8, but the module was built for 0x3F8 (PcdQuarnUart1Base)".
std::vector<std::string> BoardLayoutWarnings(const BoardLayout &Layout);

/// A layout value as messages write it: "0x3F8" (a port), "0x80000000" (an address),
/// "CMOS 0x7A".
std::string LayoutPlace(LayoutSpace Space, uint32_t Value);

}  // namespace quarn::emu
