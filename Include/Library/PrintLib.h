/** @file
  The format engine: ASCII output from an ASCII format. Types: d u x X p a s S c g t r,
  flags - + blank , l L . * 0, widths and precisions; hexadecimal digits are upper case
  and every line feed becomes CR LF. Output is cut at BufferSize - 1 characters and
  always NUL-terminated.
**/
#pragma once

#include <Base.h>
#include <stdarg.h>

typedef va_list VA_LIST;

extern "C" {

/** Formats into StartOfBuffer; returns the characters produced (NUL not counted). */
UINTN EFIAPI AsciiSPrint(OUT CHAR8 *StartOfBuffer, IN UINTN BufferSize, IN CONST CHAR8 *FormatString, ...);

/** The engine over a variable argument list. Flags is 0 in this module. */
UINTN BasePrintLibSPrintMarker(OUT CHAR8 *Buffer, IN UINTN BufferSize, IN UINTN Flags,
                                      IN CONST CHAR8 *Format, IN VA_LIST Marker);

/** The engine with its own argument list; used for nested renderings. */
UINTN EFIAPI BasePrintLibSPrint(OUT CHAR8 *Buffer, IN UINTN BufferSize, IN UINTN Flags,
                                IN CONST CHAR8 *Format, ...);

}
