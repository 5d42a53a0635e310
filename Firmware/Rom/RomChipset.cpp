/** @file
  q35 set-up: PCIEXBAR of the host bridge, the ACPI PM block of the ICH9 LPC bridge,
  and the CMOS bytes of the debug error level.
**/
#include "RomChipset.h"

#include <Library/CpuIntrinsicsLib.h>

#include "RomFwCfg.h"
#include "RomIo.h"

namespace {

// q35 host bridge 00:00.0
constexpr UINT8 kPciExBarLow = 0x60;
constexpr UINT8 kPciExBarHigh = 0x64;
constexpr UINT32 kPciExBarEnable = 0x1;  // bits 2:1 = 00: 256 MiB
// ICH9 LPC bridge 00:1F.0
constexpr UINT8 kLpcDevice = 31;
constexpr UINT8 kPmBaseReg = 0x40;
constexpr UINT8 kAcpiControlReg = 0x44;
constexpr UINT8 kAcpiEnable = 0x80;
// CMOS
constexpr UINT8 kCmosStatus0E = 0x0E;
constexpr UINT8 kCmosInvalid = 0x80;
constexpr UINT8 kCmosLevelFirst = 0x7A;
// Places the module reads
constexpr UINT32 kVornFs1 = kRomPcieBase + ((0u << 20) | (24u << 15) | (0u << 12) | 0x40);
constexpr UINT32 kVornFs2 = kRomPcieBase + ((0u << 20) | (24u << 15) | (0u << 12) | 0x48);
constexpr UINT32 kDwrSts = 0xFE00192C;
constexpr UINT32 kHostBridgeFc = kRomPcieBase + 0xFC;
constexpr UINT16 kSuperIoIndex = 0x4E;
constexpr UINT16 kSuperIoData = 0x4F;
constexpr UINT16 kAcpiTimerPort = kRomPmBase + 8;
constexpr UINT16 kUart1 = 0x3F8;
constexpr UINT16 kUart2 = 0x2F8;
constexpr UINT16 kUartIir = 2;
constexpr UINT16 kUartLcr = 3;
constexpr UINT8 kUartDlab = 0x80;

static_assert(kVornFs1 == 0x800C0040u, "VORNFS1 through the window");
static_assert(kAcpiTimerPort == 0x508, "the module's timer port");

}  // namespace

extern "C" {

VOID RomReadBoardSettings(OUT ROM_BOARD_SETTINGS *Settings) {
  Settings->CmosErrorLevel = kRomCmosErrorLevel;
  Settings->SetCmos0E = FALSE;
  Settings->Cmos0E = 0;
  Settings->Mm0 = 0;
  UINT64 Value = 0;
  if (RomFwCfgNumber("cmos-error-level", &Value) && Value <= 0xFFFFFFFFu) {
    Settings->CmosErrorLevel = static_cast<UINT32>(Value);
  }
  if (RomFwCfgNumber("cmos-0e", &Value) && Value <= 0xFFu) {
    Settings->SetCmos0E = TRUE;
    Settings->Cmos0E = static_cast<UINT8>(Value);
  }
  if (RomFwCfgNumber("mm0", &Value)) Settings->Mm0 = Value;
}

VOID RomChipsetInit(IN CONST ROM_BOARD_SETTINGS *Settings, OUT ROM_BOARD_FACTS *Facts) {
  // The window: high half first, the enable with the low half.
  RomPciWrite32(0, 0, 0, kPciExBarHigh, 0);
  RomPciWrite32(0, 0, 0, kPciExBarLow, kRomPcieBase | kPciExBarEnable);
  Facts->PciExBar = RomPciRead32(0, 0, 0, kPciExBarLow);

  RomPciWrite32(0, kLpcDevice, 0, kPmBaseReg, kRomPmBase | 1u);
  RomPciWrite8(0, kLpcDevice, 0, kAcpiControlReg,
               static_cast<UINT8>(RomPciRead8(0, kLpcDevice, 0, kAcpiControlReg) | kAcpiEnable));
  Facts->PmBase = RomPciRead32(0, kLpcDevice, 0, kPmBaseReg);
  Facts->AcpiControl = RomPciRead8(0, kLpcDevice, 0, kAcpiControlReg);

  Facts->CmosStatus0EAtReset = RomCmosRead(kCmosStatus0E);
  if (Settings->SetCmos0E) {
    RomCmosWrite(kCmosStatus0E, Settings->Cmos0E);
  } else if ((Facts->CmosStatus0EAtReset & kCmosInvalid) != 0) {
    RomCmosWrite(kCmosStatus0E, static_cast<UINT8>(Facts->CmosStatus0EAtReset & ~kCmosInvalid));
  }
  Facts->CmosStatus0E = RomCmosRead(kCmosStatus0E);
  UINT32 Level = 0;
  for (UINT8 Byte = 0; Byte < 4; Byte++) {
    RomCmosWrite(static_cast<UINT8>(kCmosLevelFirst + Byte),
                 static_cast<UINT8>(Settings->CmosErrorLevel >> (8 * Byte)));
    Level |= UINT32(RomCmosRead(static_cast<UINT8>(kCmosLevelFirst + Byte))) << (8 * Byte);
  }
  Facts->CmosLevel = Level;

  UINT32 Registers[4];
  CpuCpuid(1, Registers);
  Facts->CpuSignature = Registers[0];
}

VOID RomReadBoardFacts(IN OUT ROM_BOARD_FACTS *Facts) {
  Facts->VornFs1 = CpuMmioRead32(kVornFs1);
  Facts->VornFs2 = CpuMmioRead32(kVornFs2);
  Facts->DwrSts = CpuMmioRead32(kDwrSts);
  Facts->SidebandBar = RomPciRead32(0, kLpcDevice, 1, 0x10);
  Facts->HostBridgeFc = CpuMmioRead8(kHostBridgeFc);
  // Select logical device 3 and read its activate register, as the module's probe
  // does first; nothing is programmed.
  CpuIoWrite8(kSuperIoIndex, 0x07);
  CpuIoWrite8(kSuperIoData, 0x03);
  CpuIoWrite8(kSuperIoIndex, 0x30);
  Facts->SuperIoActivate = CpuIoRead8(kSuperIoData);
  Facts->AcpiTimer = CpuIoRead32(kAcpiTimerPort);

  Facts->Uart1Lcr = CpuIoRead8(kUart1 + kUartLcr);
  const UINT8 Lcr = CpuIoRead8(kUart2 + kUartLcr);
  Facts->Uart2Lcr = Lcr;
  Facts->Uart2Iir = CpuIoRead8(kUart2 + kUartIir);
  CpuIoWrite8(kUart2 + kUartLcr, static_cast<UINT8>(Lcr | kUartDlab));
  Facts->Uart2Divisor = static_cast<UINT16>(CpuIoRead8(kUart2) | (CpuIoRead8(kUart2 + 1) << 8));
  CpuIoWrite8(kUart2 + kUartLcr, Lcr);
}
}
