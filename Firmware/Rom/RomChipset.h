/** @file
  The q35 set-up the module expects before it is dispatched, and what the board
  answers where the module's own platform has something the q35 lacks.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

/// PCI Express window the module's configuration reads assume.
constexpr UINT32 kRomPcieBase = 0x80000000;
/// ACPI power-management I/O base; the timer then reads at 0x508.
constexpr UINT16 kRomPmBase = 0x500;
/// Debug error level seeded into CMOS 0x7A..0x7D (least significant byte first).
constexpr UINT32 kRomCmosErrorLevel = 0x80000042;

/// What a run may change about the board (RomFwCfg.h); the defaults are qemu-q35.
struct ROM_BOARD_SETTINGS {
  UINT32 CmosErrorLevel;  // CMOS 0x7A..0x7D
  BOOLEAN SetCmos0E;      // write Cmos0E to CMOS 0x0E; else only clear its bit 7
  UINT8 Cmos0E;
  UINT64 Mm0;  // MM0 at the dispatch
};

/// What the q35 shows at the places the module looks (for the diagnostics).
struct ROM_BOARD_FACTS {
  UINT32 PciExBar;            // 00:00.0 [0x60], as read back
  UINT32 PmBase;              // 00:1F.0 [0x40], as read back
  UINT8 AcpiControl;          // 00:1F.0 [0x44], as read back
  UINT8 CmosStatus0EAtReset;  // CMOS 0x0E as found at reset
  UINT8 CmosStatus0E;         // CMOS 0x0E as the module will find it
  UINT32 CmosLevel;           // CMOS 0x7A..0x7D as read back
  UINT32 CpuSignature;        // CPUID leaf 1 EAX
  UINT32 VornFs1;             // 00:18.0 [0x40] through the window
  UINT32 VornFs2;             // 00:18.0 [0x48] through the window
  UINT32 DwrSts;              // MMIO 0xFE00192C
  UINT32 SidebandBar;         // 00:1F.1 [0x10] through 0xCF8/0xCFC
  UINT8 HostBridgeFc;         // 00:00.0 [0xFC] through the window
  UINT8 SuperIoActivate;      // Super I/O register 0x30 of logical device 3, at 0x4E/0x4F
  UINT32 AcpiTimer;           // one reading of port 0x508
  UINT8 Uart1Lcr;             // line control of 0x3F8 at power-on
  UINT8 Uart2Lcr;             // line control of 0x2F8 at power-on
  UINT16 Uart2Divisor;        // divisor latch of 0x2F8 at power-on (LCR restored after)
  UINT8 Uart2Iir;             // interrupt identification of 0x2F8 (bits 7:6: FIFOs)
};

extern "C" {

/** The settings of this run: the defaults, changed by the fw_cfg files present. */
VOID RomReadBoardSettings(OUT ROM_BOARD_SETTINGS *Settings);

/** Opens the PCI Express window at 0x80000000 (256 MiB), places the ACPI PM block at
    0x500 and enables it, seeds the CMOS error level and sets CMOS 0x0E (valid unless
    the settings say otherwise). Facts receives what the board read back. */
VOID RomChipsetInit(IN CONST ROM_BOARD_SETTINGS *Settings, OUT ROM_BOARD_FACTS *Facts);

/** Reads what the module will find at the VORN, DWRSTS, sideband, Super I/O and UART
    places. The first UART is only read; the second one's divisor latch is opened and
    closed again. */
VOID RomReadBoardFacts(IN OUT ROM_BOARD_FACTS *Facts);
}
