/** @file
  The public entries of the format engine that take their own argument lists.
**/
extern "C" {
#include <Base.h>
#include <Library/PrintLib.h>
}

#include "PrintLibInternal.h"

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
  VA_START(Marker, FormatString);
  const UINTN Length = BasePrintLibSPrintMarker(StartOfBuffer, BufferSize, 0, FormatString, Marker);
  VA_END(Marker);
  return Length;
}

/**
  Formats FormatString with the arguments of Marker into StartOfBuffer.

  @param StartOfBuffer  Output; receives at most BufferSize - 1 characters and a NUL.
  @param BufferSize     Size of the output in bytes.
  @param FormatString   ASCII format.
  @param Marker         The arguments.

  @return The characters produced, NUL not counted; 0 after a failed check.
**/
UINTN EFIAPI AsciiVSPrint(OUT CHAR8 *StartOfBuffer, IN UINTN BufferSize, IN CONST CHAR8 *FormatString,
                          IN VA_LIST Marker) {
  return BasePrintLibSPrintMarker(StartOfBuffer, BufferSize, 0, FormatString, Marker);
}

/**
  The engine with its own argument list (the nested renderings use it).

  @param Buffer      Output; receives at most BufferSize - 1 characters and a NUL.
  @param BufferSize  Size of the output in bytes.
  @param Flags       0: ASCII output from an ASCII format.
  @param Format      ASCII format.

  @return The characters produced, NUL not counted.
**/
UINTN EFIAPI BasePrintLibSPrint(OUT CHAR8 *Buffer, IN UINTN BufferSize, IN UINTN Flags, IN CONST CHAR8 *Format, ...) {
  VA_LIST Marker;
  VA_START(Marker, Format);
  const UINTN Length = BasePrintLibSPrintMarker(Buffer, BufferSize, Flags, Format, Marker);
  VA_END(Marker);
  return Length;
}
}
