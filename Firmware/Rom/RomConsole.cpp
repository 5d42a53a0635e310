/** @file
  Diagnostics of the boot stub on the second UART.
**/
#include "RomConsole.h"

#include <Library/CpuIntrinsicsLib.h>

namespace {

constexpr UINT16 kDiagUart = 0x2F8;
constexpr UINT16 kLsr = 5;
constexpr UINT8 kLsrThre = 0x20;
/// Polls of the line status before a byte is written anyway: the stub never hangs on
/// a UART that does not report an empty holding register.
constexpr UINT32 kThrePolls = 100000;
constexpr CHAR8 kHexDigits[] = "0123456789ABCDEF";

/** Writes one byte once the transmit holding register is empty (or the poll gives up). */
VOID PutByte(CHAR8 Byte) {
  for (UINT32 Poll = 0; Poll < kThrePolls; Poll++) {
    if ((CpuIoRead8(kDiagUart + kLsr) & kLsrThre) != 0) break;
  }
  CpuIoWrite8(kDiagUart, static_cast<UINT8>(Byte));
}

/** Writes the low Digits nibbles of Value, most significant first, after "0x". */
VOID PutHex(UINT32 Value, UINTN Digits) {
  PutByte('0');
  PutByte('x');
  for (UINTN Index = Digits; Index > 0; Index--) PutByte(kHexDigits[(Value >> ((Index - 1) * 4)) & 0xF]);
}

}  // namespace

extern "C" {

VOID RomPrint(IN CONST CHAR8 *Text) {
  for (; *Text != '\0'; Text++) {
    if (*Text == '\n') PutByte('\r');
    PutByte(*Text);
  }
}

VOID RomPrintHex32(IN UINT32 Value) { PutHex(Value, 8); }

VOID RomPrintHex8(IN UINT8 Value) { PutHex(Value, 2); }

VOID RomPrintBytes(IN CONST UINT8 *Bytes, IN UINTN Length) {
  for (UINTN Index = 0; Index < Length; Index++) {
    PutByte(kHexDigits[Bytes[Index] >> 4]);
    PutByte(kHexDigits[Bytes[Index] & 0xF]);
  }
}

VOID RomPrintDec(IN UINT32 Value) {
  CHAR8 Digits[10];
  UINTN Count = 0;
  do {
    Digits[Count++] = static_cast<CHAR8>('0' + Value % 10);  // 32-bit division: no libgcc
    Value /= 10;
  } while (Value != 0);
  while (Count > 0) PutByte(Digits[--Count]);
}
}
