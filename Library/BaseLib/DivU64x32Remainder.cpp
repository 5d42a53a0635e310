/** @file
  64-by-32 division by shift and subtract, so that no compiler helper is needed.
**/
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>

extern "C" {

UINT64 EFIAPI DivU64x32Remainder(IN UINT64 Dividend, IN UINT32 Divisor, OUT UINT32 *Remainder) {
  DebugCheck(Divisor != 0, "Library/BaseLib/DivU64x32Remainder", 41, "Divisor != 0");
  if (Divisor == 0) {
    if (Remainder != nullptr) *Remainder = 0;
    return 0;
  }
  const UINT32 High = static_cast<UINT32>(Dividend >> 32);
  // The high word divides with 32-bit arithmetic; its remainder carries into the low word.
  UINT64 Quotient = static_cast<UINT64>(High / Divisor) << 32;
  UINT64 Rest = High % Divisor;
  const UINT32 Low = static_cast<UINT32>(Dividend);
  for (int Bit = 31; Bit >= 0; Bit--) {
    Rest = (Rest << 1) | ((Low >> Bit) & 1);
    if (Rest >= Divisor) {
      Rest -= Divisor;
      Quotient |= 1u << Bit;
    }
  }
  if (Remainder != nullptr) {
    *Remainder = static_cast<UINT32>(Rest);
  }
  return Quotient;
}

}
