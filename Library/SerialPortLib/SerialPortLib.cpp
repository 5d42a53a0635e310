/** @file
  The debug console: two 16550 UARTs (PcdQuarnUart1Base, PcdQuarnUart2Base), polled, 115200 baud 8N1 with
  FIFOs. Every byte goes to both UARTs, the first one first, in bursts of at most 16
  bytes (the transmit FIFO's depth) after waiting for both transmitters to be empty.
  The waits have no time limit.
**/
extern "C" {
#include <Base.h>
#include <Library/IoLib.h>
#include <Library/PcdLib.h>
#include <Library/PciExpressLib.h>
#include <Library/PlatformHookLib.h>
#include <Library/SerialPortLib.h>
}

namespace {

/// The UARTs, in the order every operation handles them.
constexpr UINTN kUartBases[] = {FixedPcdGet16(PcdQuarnUart1Base), FixedPcdGet16(PcdQuarnUart2Base)};
constexpr UINTN kFirstUart = kUartBases[0];

// Register offsets from a UART base.
constexpr UINTN kThr = 0;  // transmit holding register; divisor latch low with LCR.DLAB
constexpr UINTN kDll = 0;
constexpr UINTN kIer = 1;  // interrupt enable; divisor latch high with LCR.DLAB
constexpr UINTN kDlm = 1;
constexpr UINTN kIir = 2;  // read: interrupt identification
constexpr UINTN kFcr = 2;  // write: FIFO control
constexpr UINTN kLcr = 3;
constexpr UINTN kMcr = 4;
constexpr UINTN kLsr = 5;

// Register bits and values.
constexpr UINT8 kLcrDlab = 0x80;
constexpr UINT8 kLcrLineMask = 0x3F;
constexpr UINT8 kLcr8N1 = 0x03;
constexpr UINT16 kDivisor115200 = 1;
constexpr UINT8 kLsrThre = 0x20;
constexpr UINT8 kLsrTemt = 0x40;
constexpr UINT8 kLsrTransmitterIdle = kLsrThre | kLsrTemt;
constexpr UINT8 kFcrFifoEnable = 0x01;
constexpr UINT8 kFcrFifoReset = 0x07;  // enable, clear receive and transmit FIFOs
constexpr UINT8 kIirFifoMask = 0xC0;
constexpr UINT8 kIirFifoEnabled = 0xC0;
constexpr UINT8 kIirNoFifo = 0x00;

constexpr UINTN kFifoDepth = 16;

/// 00:00.0 offset 0xFC: 4 selects the FIFO-reset mode of the console.
constexpr UINTN kFifoResetModeAddress = (0u << 20) | (0u << 15) | (0u << 12) | 0xFC;
constexpr UINT8 kFifoResetModeValue = 4;

/** Spins until the LSR of the UART at Base has every bit of Mask set. No time limit. */
void WaitForLsr(UINTN Base, UINT8 Mask) {
  while ((IoRead8(Base + kLsr) & Mask) != Mask) {
  }
}

/** TRUE when the UART at Base already runs at divisor 1 with 8N1 line settings (DLAB toggled twice). */
bool IsUartProgrammed(UINTN Base) {
  const UINT8 Line = IoRead8(Base + kLcr);
  IoWrite8(Base + kLcr, IoRead8(Base + kLcr) | kLcrDlab);
  const UINT16 High = IoRead8(Base + kDlm);
  const UINT16 Low = IoRead8(Base + kDll);
  const UINT16 Divisor = static_cast<UINT16>((High << 8) | Low);
  IoWrite8(Base + kLcr, IoRead8(Base + kLcr) & static_cast<UINT8>(~kLcrDlab));
  return Divisor == kDivisor115200 && (Line & kLcrLineMask) == kLcr8N1;
}

/** Programs the UART at Base: divisor 1, 8N1, FIFOs reset and enabled, no interrupts, MCR 0. */
void ProgramUart(UINTN Base) {
  WaitForLsr(Base, kLsrTransmitterIdle);
  IoWrite8(Base + kLcr, kLcrDlab);
  IoWrite8(Base + kDlm, static_cast<UINT8>(kDivisor115200 >> 8));
  IoWrite8(Base + kDll, static_cast<UINT8>(kDivisor115200 & 0xFF));
  IoWrite8(Base + kLcr, kLcr8N1);
  IoWrite8(Base + kFcr, 0x00);
  IoWrite8(Base + kFcr, kFcrFifoEnable);
  IoWrite8(Base + kIer, 0x00);
  IoWrite8(Base + kMcr, 0x00);
}

}  // namespace

extern "C" {

/**
  Runs the platform hook, then programs each UART that is not already at divisor 1
  with 8N1, waiting (without limit) for its transmitter to be empty first.

  @return RETURN_SUCCESS always.
**/
RETURN_STATUS EFIAPI SerialPortInitialize(VOID) {
  PlatformHookSerialPortInitialize();
  for (const UINTN Base : kUartBases) {
    if (!IsUartProgrammed(Base)) {
      ProgramUart(Base);
    }
  }
  return RETURN_SUCCESS;
}

/**
  Writes NumberOfBytes bytes to both UARTs. Before each burst of at most 16 bytes the
  first UART's FIFO status must show enabled FIFOs (bits 7:6 of its IIR not 00, and
  11 in FIFO-reset mode) and both transmitters must be empty. NumberOfBytes 0 waits
  until both transmitters are empty.

  In FIFO-reset mode (00:00.0 offset 0xFC reads 4) the first UART's FIFOs are reset
  before the first burst, and the call waits for the first UART's transmitter to be
  empty after its last burst, so that the reset at the start of the next call
  discards nothing this call wrote.

  @param Buffer         Bytes to write; NULL writes nothing and returns 0.
  @param NumberOfBytes  How many.

  @return NumberOfBytes, or 0 for a NULL buffer, a flush, or a FIFO check that failed
          (even when earlier bursts went out).
**/
UINTN EFIAPI SerialPortWrite(IN UINT8 *Buffer, IN UINTN NumberOfBytes) {
  if (Buffer == nullptr) {
    return 0;
  }
  const bool FifoResetMode = PciExpressRead8(kFifoResetModeAddress) == kFifoResetModeValue;

  if (NumberOfBytes == 0) {
    for (const UINTN Base : kUartBases) {
      WaitForLsr(Base, kLsrTransmitterIdle);
    }
    return 0;
  }

  if (FifoResetMode) {
    IoWrite8(kFirstUart + kFcr, kFcrFifoReset);
  }

  const UINTN Result = NumberOfBytes;
  while (NumberOfBytes > 0) {
    const UINT8 Fifo = IoRead8(kFirstUart + kIir) & kIirFifoMask;
    if (Fifo == kIirNoFifo || (FifoResetMode && Fifo != kIirFifoEnabled)) {
      return 0;
    }
    for (const UINTN Base : kUartBases) {
      WaitForLsr(Base, kLsrTemt);
    }
    for (UINTN Burst = 0; Burst < kFifoDepth && NumberOfBytes > 0; Burst++) {
      for (const UINTN Base : kUartBases) {
        IoWrite8(Base + kThr, *Buffer);
      }
      Buffer++;
      NumberOfBytes--;
    }
  }

  if (FifoResetMode) {
    WaitForLsr(kFirstUart, kLsrTemt);
  }
  return Result;
}
}
