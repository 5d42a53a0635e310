/** @file
  The public entries of the format engine that take their own argument lists.
**/
#include <Library/PrintLib.h>

extern "C" {

/**
  Formats FormatString with the arguments that follow into StartOfBuffer.

  @param StartOfBuffer  Output; receives at most BufferSize - 1 characters and a NUL.
  @param BufferSize     Size of the output in bytes.
  @param FormatString   ASCII format.

  @return The characters produced, NUL not counted; 0 after a failed check.
**/
UINTN EFIAPI AsciiSPrint(OUT CHAR8 *StartOfBuffer, IN UINTN BufferSize, IN CONST CHAR8 *FormatString, ...) {
  VA_LIST Marker;
  va_start(Marker, FormatString);
  const UINTN Length = BasePrintLibSPrintMarker(StartOfBuffer, BufferSize, 0, FormatString, Marker);
  va_end(Marker);
  return Length;
}

/**
  The engine with its own argument list (the nested renderings use it).

  @param Buffer      Output; receives at most BufferSize - 1 characters and a NUL.
  @param BufferSize  Size of the output in bytes.
  @param Flags       0: ASCII output from an ASCII format.
  @param Format      ASCII format.

  @return The characters produced, NUL not counted.
**/
UINTN EFIAPI BasePrintLibSPrint(OUT CHAR8 *Buffer, IN UINTN BufferSize, IN UINTN Flags, IN CONST CHAR8 *Format,
                                ...) {
  VA_LIST Marker;
  va_start(Marker, Format);
  const UINTN Length = BasePrintLibSPrintMarker(Buffer, BufferSize, Flags, Format, Marker);
  va_end(Marker);
  return Length;
}

}
