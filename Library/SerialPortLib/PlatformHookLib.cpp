/** @file
  Board set-up before the serial console is programmed: the chipset sideband
  registers, the LPC I/O decode for the legacy serial ports and the Super I/O
  configuration ports, and the Super I/O serial logical devices of the two UARTs (on
  this board's defaults device 3 at 0x3F8 with IRQ 4, device 2 at 0x2F8 with IRQ 3)
  unless one of them is already active.
**/
extern "C" {
#include <Base.h>
#include <Library/IoLib.h>
#include <Library/PcdLib.h>
#include <Library/PlatformHookLib.h>
}

namespace {

// Legacy configuration mechanism.
constexpr UINTN kPciConfigAddressPort = 0xCF8;
constexpr UINTN kPciConfigDataPort = 0xCFC;
constexpr UINT32 kSidebandBaseRegister = 0x8000F910;  // 00:1F.1 offset 0x10
constexpr UINT32 kLpcDecodeRegister = 0x8000F880;     // 00:1F.0 offset 0x80
constexpr UINT32 kLpcDecodeValue = 0x340B1010;        // enables 0x340B, ranges 0x1010
constexpr UINT32 kSidebandBaseMask = 0xFFFFFF00;
constexpr UINT32 kSidebandAbsent = 0xFFFFFF00;  // the function reads all ones

// Sideband registers, as offsets from the sideband base, with the values written.
struct SIDEBAND_WRITE {
  UINT32 Offset;
  UINT32 Value;
};
constexpr SIDEBAND_WRITE kSidebandWrites[] = {
    {0xEF2770, 0x00001010},
    {0xEF2774, 0x0000000B},
};

// Super I/O configuration ports and registers.
constexpr UINTN kSioIndexPort = FixedPcdGet16(PcdQuarnSioIndexPort);
constexpr UINTN kSioDataPort = FixedPcdGet16(PcdQuarnSioDataPort);
constexpr UINT8 kSioLogicalDevice = 0x07;
constexpr UINT8 kSioActivate = 0x30;
constexpr UINT8 kSioBaseHigh = 0x60;
constexpr UINT8 kSioBaseLow = 0x61;
constexpr UINT8 kSioInterrupt = 0x70;
constexpr UINT8 kSioUartA = FixedPcdGet8(PcdQuarnUart1SioDevice);
constexpr UINT8 kSioUartB = FixedPcdGet8(PcdQuarnUart2SioDevice);
constexpr UINT8 kSioActive = 0x01;
constexpr UINT16 kUartABase = FixedPcdGet16(PcdQuarnUart1Base);
constexpr UINT16 kUartBBase = FixedPcdGet16(PcdQuarnUart2Base);

struct SIO_REGISTER_WRITE {
  UINT8 Index;
  UINT8 Value;
};
static_assert(sizeof(SIO_REGISTER_WRITE) == 2, "one index/value pair");

/// The serial logical devices as this board wants them, written in this order: for each
/// UART its device, I/O base (high byte, low byte), interrupt, then activate.
constexpr SIO_REGISTER_WRITE kSioTable[] = {
    {kSioLogicalDevice, kSioUartA},
    {kSioBaseHigh, static_cast<UINT8>(kUartABase >> 8)},
    {kSioBaseLow, static_cast<UINT8>(kUartABase & 0xFF)},
    {kSioInterrupt, FixedPcdGet8(PcdQuarnUart1Irq)},
    {kSioActivate, kSioActive},
    {kSioLogicalDevice, kSioUartB},
    {kSioBaseHigh, static_cast<UINT8>(kUartBBase >> 8)},
    {kSioBaseLow, static_cast<UINT8>(kUartBBase & 0xFF)},
    {kSioInterrupt, FixedPcdGet8(PcdQuarnUart2Irq)},
    {kSioActivate, kSioActive},
};
static_assert(sizeof(kSioTable) / sizeof(kSioTable[0]) == 10, "ten index/value pairs");

/** Writes Value to Super I/O register Index of the selected logical device. */
void SioWrite(UINT8 Index, UINT8 Value) {
  IoWrite8(kSioIndexPort, Index);
  IoWrite8(kSioDataPort, Value);
}

/** Selects LogicalDevice and returns its activate register. */
UINT8 SioReadActivate(UINT8 LogicalDevice) {
  SioWrite(kSioLogicalDevice, LogicalDevice);
  IoWrite8(kSioIndexPort, kSioActivate);
  return IoRead8(kSioDataPort);
}

}  // namespace

extern "C" {

/**
  Opens the chipset decode for the console and assigns the Super I/O serial ports.
  The sideband registers are read and written only when the sideband function is
  present (its base register does not read all ones and is not 0); the rest is done
  on every board. The Super I/O is left alone when either UART's logical device is
  already active.
  @return RETURN_SUCCESS always.
**/
RETURN_STATUS EFIAPI PlatformHookSerialPortInitialize(VOID) {
  IoWrite32(kPciConfigAddressPort, kSidebandBaseRegister);
  const UINT32 SidebandBase = IoRead32(kPciConfigDataPort) & kSidebandBaseMask;
  if (SidebandBase != 0 && SidebandBase != kSidebandAbsent) {
    for (const SIDEBAND_WRITE &Write : kSidebandWrites) {
      MmioRead32(SidebandBase + Write.Offset);  // the value is not used
      MmioWrite32(SidebandBase + Write.Offset, Write.Value);
    }
  }

  IoWrite32(kPciConfigAddressPort, kLpcDecodeRegister);
  IoWrite32(kPciConfigDataPort, kLpcDecodeValue);

  const UINT8 UartAActive = SioReadActivate(kSioUartA);
  const UINT8 UartBActive = SioReadActivate(kSioUartB);
  if (UartAActive == kSioActive || UartBActive == kSioActive) {
    return RETURN_SUCCESS;
  }
  for (const SIO_REGISTER_WRITE &Write : kSioTable) {
    SioWrite(Write.Index, Write.Value);
  }
  return RETURN_SUCCESS;
}
}
