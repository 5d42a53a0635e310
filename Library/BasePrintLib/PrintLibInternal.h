/** @file
  Internal pieces of the format engine: the bounded fill and the digit conversion.
**/
#pragma once

extern "C" {
#include <Base.h>
}

/// Size of the per-call value buffer: a 64-bit value in decimal with separators and
/// a prefix fits, and so does a nested rendering of a GUID, a time or a status.
constexpr UINTN kPrintValueBufferSize = 38;

extern "C" {

/**
  Writes Character Length times from Buffer on, stepping by Increment, and never at or
  beyond EndBuffer (a fill that does not fit is cut). For ASCII output only the low
  byte of Character is written.

  @param Buffer     Where the first character goes.
  @param EndBuffer  First position that must not be written.
  @param Length     How many characters; 0 or less writes nothing.
  @param Character  The character.
  @param Increment  Bytes per character (1 for ASCII).

  @return The position after the last character written.
**/
CHAR8 *BasePrintLibFillBuffer(OUT CHAR8 *Buffer, IN CHAR8 *EndBuffer, IN INTN Length, IN UINTN Character,
                              IN INTN Increment);

/**
  Converts Value to digits in Radix. Buffer[0] receives a NUL, then the digits follow
  from Buffer[1] on, least significant first; each digit comes from
  DivU64x32Remainder (which asserts on a zero divisor).

  @param Buffer  At least 22 bytes (a 64-bit value has at most 20 decimal digits).
  @param Value   The value.
  @param Radix   10 or 16.

  @return The position of the most significant digit.
**/
CHAR8 *BasePrintLibValueToString(IN OUT CHAR8 *Buffer, IN UINT64 Value, IN UINTN Radix);

/**
  The engine: formats Format with the arguments of Marker into Buffer, at most
  BufferSize - 1 characters and a NUL. Flags is 0: ASCII output from an ASCII format.

  @return The characters produced, NUL not counted; 0 after a failed check.
**/
UINTN BasePrintLibSPrintMarker(OUT CHAR8 *Buffer, IN UINTN BufferSize, IN UINTN Flags, IN CONST CHAR8 *Format,
                               IN VA_LIST Marker);

/** The engine with its own argument list; the nested renderings use it. */
UINTN EFIAPI BasePrintLibSPrint(OUT CHAR8 *Buffer, IN UINTN BufferSize, IN UINTN Flags, IN CONST CHAR8 *Format, ...);
}
