/** @file
  Board set-up before the serial console is programmed: the chipset sideband
  registers, the LPC I/O decode for the legacy serial ports and the Super I/O
  configuration ports, and the Super I/O serial logical devices 3 (0x3F8, IRQ 4) and
  2 (0x2F8, IRQ 3) unless one of them is already active.
**/
#include <Library/IoLib.h>
#include <Library/PlatformHookLib.h>

namespace {

// Legacy configuration mechanism.
constexpr UINTN kPciConfigAddressPort = 0xCF8;
constexpr UINTN kPciConfigDataPort = 0xCFC;
constexpr UINT32 kSidebandBaseRegister = 0x8000F910;  // 00:1F.1 offset 0x10
constexpr UINT32 kLpcDecodeRegister = 0x8000F880;     // 00:1F.0 offset 0x80
constexpr UINT32 kLpcDecodeValue = 0x340B1010;        // enables 0x340B, ranges 0x1010
constexpr UINT32 kSidebandBaseMask = 0xFFFFFF00;
constexpr UINT32 kSidebandAbsent = 0xFFFFFF00;        // the function reads all ones

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
constexpr UINTN kSioIndexPort = 0x4E;
constexpr UINTN kSioDataPort = 0x4F;
constexpr UINT8 kSioLogicalDevice = 0x07;
constexpr UINT8 kSioActivate = 0x30;
constexpr UINT8 kSioUartA = 0x03;
constexpr UINT8 kSioUartB = 0x02;
constexpr UINT8 kSioActive = 0x01;

struct SIO_REGISTER_WRITE {
  UINT8 Index;
  UINT8 Value;
};
static_assert(sizeof(SIO_REGISTER_WRITE) == 2, "one index/value pair");

/// The serial logical devices as this board wants them, written in this order.
constexpr SIO_REGISTER_WRITE kSioTable[] = {
  {0x07, 0x03},  // logical device 3
  {0x60, 0x03},  // I/O base 0x3F8
  {0x61, 0xF8},
  {0x70, 0x04},  // IRQ 4
  {0x30, 0x01},  // activate
  {0x07, 0x02},  // logical device 2
  {0x60, 0x02},  // I/O base 0x2F8
  {0x61, 0xF8},
  {0x70, 0x03},  // IRQ 3
  {0x30, 0x01},  // activate
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
  on every board. The Super I/O is left alone when logical device 3 or 2 is active.
**/
VOID PlatformHookSerialPortInitialize(VOID) {
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
    return;
  }
  for (const SIO_REGISTER_WRITE &Write : kSioTable) {
    SioWrite(Write.Index, Write.Value);
  }
}

}
