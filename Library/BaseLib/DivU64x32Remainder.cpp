/** @file
  64-by-32 division by shift and subtract in 32-bit arithmetic, so that no compiler
  helper is needed and the frame stays small.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseLib.h>
}
#include <QuarnAssert.h>

extern "C" {

UINT64 EFIAPI DivU64x32Remainder(IN UINT64 Dividend, IN UINT32 Divisor, OUT UINT32 *Remainder) {
  QuarnAssertAt(Divisor != 0, "Library/BaseLib/DivU64x32Remainder", 41, "Divisor != 0");
  if (Divisor == 0) {
    if (Remainder != nullptr) *Remainder = 0;
    return 0;
  }
  // The high word divides with 32-bit arithmetic; its remainder carries into the low word,
  // one bit at a time. Rest stays below Divisor; the bit shifted out of it counts too.
  const UINT32 High = static_cast<UINT32>(Dividend >> 32);
  const UINT32 Low = static_cast<UINT32>(Dividend);
  UINT32 Rest = High % Divisor;
  UINT32 QuotientLow = 0;
  for (int Bit = 31; Bit >= 0; Bit--) {
    const UINT32 Carry = Rest >> 31;
    Rest = (Rest << 1) | ((Low >> Bit) & 1);
    if (Carry != 0 || Rest >= Divisor) {
      Rest -= Divisor;
      QuotientLow |= 1u << Bit;
    }
  }
  if (Remainder != nullptr) {
    *Remainder = Rest;
  }
  return (static_cast<UINT64>(High / Divisor) << 32) | QuotientLow;
}
}
