/** @file
  Formatted ASCII output into a buffer.
**/
#ifndef __PRINT_LIB_H__
#define __PRINT_LIB_H__

/** Formats into StartOfBuffer from a variable argument list; returns the characters produced. */
UINTN
EFIAPI
AsciiVSPrint (
  OUT CHAR8        *StartOfBuffer,
  IN  UINTN        BufferSize,
  IN  CONST CHAR8  *FormatString,
  IN  VA_LIST      Marker
  );

/** Formats into StartOfBuffer; returns the characters produced (NUL not counted). */
UINTN
EFIAPI
AsciiSPrint (
  OUT CHAR8        *StartOfBuffer,
  IN  UINTN        BufferSize,
  IN  CONST CHAR8  *FormatString,
  ...
  );

#endif
