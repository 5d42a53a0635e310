/** @file
  The format engine: one pass over an ASCII format, ASCII output into a bounded buffer.

  Directives are "%" [flags] [width] ["." precision] type, with the flags - + blank ,
  l L 0 and "*" for a width or precision taken from the argument list. Numbers are
  zero-padded to the precision; everything is blank-padded to the width. Every write
  goes through BasePrintLibFillBuffer, so nothing lands at or beyond the last byte of
  the buffer, which always receives the terminating NUL. GUIDs, times and unnamed
  status values are rendered by a nested call of the engine with a 38-byte buffer;
  their formats hold only numeric directives, so the nesting is one level deep.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseLib.h>
#include <Library/PcdLib.h>
#include <Library/PrintLib.h>
}
#include <QuarnAssert.h>

#include "PrintLibInternal.h"
#include "StatusNames.h"

namespace {

constexpr CHAR8 kSource[] = "Library/BasePrintLib/PrintLibInternal";
constexpr UINTN kNullBufferCheckLine = 572;
constexpr UINTN kNullFormatCheckLine = 580;
constexpr UINTN kBufferSizeCheckLine = 594;
constexpr UINTN kFormatLengthCheckLine = 611;

/// Longest format and largest buffer the engine takes.
constexpr UINTN kMaximumAsciiStringLength = FixedPcdGet32(PcdMaximumAsciiStringLength);

constexpr CHAR8 kDigits[] = "0123456789ABCDEF";
static_assert(sizeof(kDigits) == 17, "sixteen digits and a NUL");

// Per-directive flags.
constexpr UINT32 kLeftJustify = 1u << 0;
constexpr UINT32 kPrefixSign = 1u << 1;
constexpr UINT32 kPrefixBlank = 1u << 2;
constexpr UINT32 kCommaType = 1u << 3;
constexpr UINT32 kLongType = 1u << 4;
constexpr UINT32 kPrefixZero = 1u << 5;
constexpr UINT32 kPadToWidth = 1u << 6;
constexpr UINT32 kPrecision = 1u << 7;
constexpr UINT32 kUnsignedType = 1u << 9;

constexpr CHAR8 kNullString[] = "<null string>";
constexpr CHAR8 kNullGuid[] = "<null guid>";
constexpr CHAR8 kNullTime[] = "<null time>";
constexpr CHAR8 kCrLf[] = "\r\n";
constexpr CHAR8 kCr[] = "\r";
constexpr CHAR8 kGuidFormat[] = "%08x-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x";
constexpr CHAR8 kTimeFormat[] = "%02d/%02d/%04d  %02d:%02d";
constexpr CHAR8 kStatusFormat[] = "%08X";

// Byte offsets of the fields "%t" reads from a time record.
constexpr UINTN kTimeYear = 0;
constexpr UINTN kTimeMonth = 2;
constexpr UINTN kTimeDay = 3;
constexpr UINTN kTimeHour = 4;
constexpr UINTN kTimeMinute = 5;

// Byte offsets of the fields "%g" reads from a GUID.
constexpr UINTN kGuidData2 = 4;
constexpr UINTN kGuidData3 = 6;
constexpr UINTN kGuidData4 = 8;

/// What one directive has collected before its type character.
struct DIRECTIVE {
  UINT32 Flags;
  UINTN Width;
  UINTN Precision;
};

/** One character at Out (bounded); returns the next position. */
CHAR8 *PutChar(CHAR8 *Out, CHAR8 *End, CHAR8 Character) {
  return BasePrintLibFillBuffer(Out, End, 1, static_cast<UINT8>(Character), 1);
}

/** Count blanks or zeros at Out (bounded), when Count is positive; returns the next position. */
CHAR8 *Pad(CHAR8 *Out, CHAR8 *End, UINTN Count, CHAR8 Character) {
  // A pad longer than the buffer is cut by the fill anyway; clamp so the signed length stays positive.
  const UINTN Room = static_cast<UINTN>(End - Out);
  const UINTN Length = Count < Room ? Count : Room;
  return BasePrintLibFillBuffer(Out, End, static_cast<INTN>(Length), static_cast<UINT8>(Character), 1);
}

/** Width - Used blanks when Width is larger; returns the next position. */
CHAR8 *PadToWidth(CHAR8 *Out, CHAR8 *End, UINTN Width, UINTN Used) {
  return Width > Used ? Pad(Out, End, Width - Used, ' ') : Out;
}

/**
  Renders a number: the prefix, zeros up to the precision, the digits (with ',' between
  groups of three for comma grouping), blank-padded to the width.

  @param Signed       The value is a two's-complement number (type d).
  @param ValueBuffer  kPrintValueBufferSize bytes for the digits.
**/
CHAR8 *PutNumber(CHAR8 *Out, CHAR8 *End, DIRECTIVE &D, UINT64 Value, UINTN Radix, bool Signed, CHAR8 *ValueBuffer) {
  CHAR8 Prefix = '\0';
  if ((D.Flags & kPrefixSign) != 0) {
    Prefix = '+';
  } else if ((D.Flags & kPrefixBlank) != 0) {
    Prefix = ' ';
  }

  if (Radix == 10) {
    if ((D.Flags & kCommaType) != 0) {
      D.Flags &= ~kPrefixZero;
      D.Precision = 1;
    }
    if (Signed && static_cast<INT64>(Value) < 0) {
      Prefix = '-';
      Value = 0 - Value;
    }
  } else {
    D.Flags &= ~kCommaType;
  }

  // Digits, least significant first, from ValueBuffer[1] on.
  const CHAR8 *MostSignificant = ValueBuffer;
  UINTN Digits = 0;
  if (!(Value == 0 && D.Precision == 0)) {
    MostSignificant = BasePrintLibValueToString(ValueBuffer, Value, Radix);
    Digits = static_cast<UINTN>(MostSignificant - ValueBuffer);
  }

  UINTN Count = Digits;
  const bool Grouped = (D.Flags & kCommaType) != 0;
  if (Grouped && Count > 0) {
    Count += (Count - 1) / 3;
  }
  if (Prefix != '\0') {
    Count++;
    D.Precision++;
  }
  if ((D.Flags & (kPrefixZero | kPadToWidth | kLeftJustify | kPrecision)) == (kPrefixZero | kPadToWidth)) {
    D.Precision = D.Width;
  }

  const UINTN Precision = D.Precision > Count ? D.Precision : Count;
  const bool Padded = (D.Flags & kPadToWidth) != 0;
  const bool Left = (D.Flags & kLeftJustify) != 0;
  if (Padded && !Left) {
    Out = PadToWidth(Out, End, D.Width, Precision);
  }
  if (Prefix != '\0') {
    Out = PutChar(Out, End, Prefix);
  }
  Out = Pad(Out, End, Precision - Count, '0');
  for (UINTN Index = 0; Index < Digits; Index++) {
    if (Grouped && Index > 0 && (Digits - Index) % 3 == 0) {
      Out = PutChar(Out, End, ',');
    }
    Out = PutChar(Out, End, MostSignificant[-static_cast<INTN>(Index)]);
  }
  if (Padded && Left) {
    Out = PadToWidth(Out, End, D.Width, Precision);
  }
  return Out;
}

/**
  Renders a text: an ASCII string, or a UTF-16 one (Wide; each character
  gives its low byte). Count stops at the NUL and, when a precision was given, at the
  precision; blanks fill up to the precision and the width.
**/
CHAR8 *PutText(CHAR8 *Out, CHAR8 *End, const DIRECTIVE &D, const VOID *Text, bool Wide) {
  const bool Limited = (D.Flags & kPrecision) != 0;
  const auto *Narrow = static_cast<const CHAR8 *>(Text);
  const auto *Utf16 = static_cast<const CHAR16 *>(Text);

  UINTN Count = 0;
  while (!(Limited && Count >= D.Precision) && (Wide ? Utf16[Count] != 0 : Narrow[Count] != '\0')) {
    Count++;
  }

  const UINTN Precision = D.Precision > Count ? D.Precision : Count;
  const bool Padded = (D.Flags & kPadToWidth) != 0;
  const bool Left = (D.Flags & kLeftJustify) != 0;
  if (Padded && !Left) {
    Out = PadToWidth(Out, End, D.Width, Precision);
  }
  Out = Pad(Out, End, Precision - Count, ' ');
  for (UINTN Index = 0; Index < Count && Out < End; Index++) {
    Out = PutChar(Out, End, Wide ? static_cast<CHAR8>(Utf16[Index] & 0xFF) : Narrow[Index]);
  }
  if (Padded && Left) {
    Out = PadToWidth(Out, End, D.Width, Precision);
  }
  return Out;
}

/** Reads the collected flags, width and precision of a directive; returns the type character's position. */
const CHAR8 *ReadDirective(const CHAR8 *Format, DIRECTIVE &D, VA_LIST &Marker) {
  for (;;) {
    switch (*Format) {
      case '-': D.Flags |= kLeftJustify; break;
      case '+': D.Flags |= kPrefixSign; break;
      case ' ': D.Flags |= kPrefixBlank; break;
      case ',': D.Flags |= kCommaType; break;
      case 'l':
      case 'L': D.Flags |= kLongType; break;
      case '.': D.Flags |= kPrecision; break;
      case '*':
        if ((D.Flags & kPrecision) != 0) {
          D.Precision = VA_ARG(Marker, UINT32);
        } else {
          D.Width = VA_ARG(Marker, UINT32);
          D.Flags |= kPadToWidth;
        }
        break;
      case '0':
      case '1':
      case '2':
      case '3':
      case '4':
      case '5':
      case '6':
      case '7':
      case '8':
      case '9': {
        if (*Format == '0' && (D.Flags & kPrecision) == 0) {
          D.Flags |= kPrefixZero;
        }
        UINTN Number = 0;
        while (*Format >= '0' && *Format <= '9') {
          Number = Number * 10 + static_cast<UINTN>(*Format - '0');
          Format++;
        }
        if ((D.Flags & kPrecision) != 0) {
          D.Precision = Number;
        } else {
          D.Width = Number;
          D.Flags |= kPadToWidth;
        }
        continue;  // Format already stands on the next character
      }
      default: return Format;
    }
    Format++;
  }
}

/**
  Produces one directive whose flags are read; Format points at its type character.
  Returns the format position after the directive (the NUL itself when the format
  ended inside it).
**/
const CHAR8 *PutDirective(CHAR8 *&Out, CHAR8 *End, const CHAR8 *Format, DIRECTIVE &D, VA_LIST &Marker) {
  const CHAR8 Type = *Format;
  if (Type == '\0') {
    return Format;
  }
  Format++;

  CHAR8 ValueBuffer[kPrintValueBufferSize];
  UINTN Radix = 10;
  switch (Type) {
    case 'p': D.Flags &= ~(kPrefixBlank | kPrefixSign | kPrefixZero | kLongType); [[fallthrough]];
    case 'X': D.Flags |= kPrefixZero; [[fallthrough]];
    case 'x': Radix = 16; [[fallthrough]];
    case 'u':
      if (Type == 'u') {
        D.Flags &= ~kPrefixSign;
      }
      D.Flags |= kUnsignedType;
      [[fallthrough]];
    case 'd': {
      UINT64 Value;
      if ((D.Flags & kLongType) != 0) {
        Value = VA_ARG(Marker, UINT64);
      } else if ((D.Flags & kUnsignedType) != 0) {
        Value = VA_ARG(Marker, UINT32);
      } else {
        Value = static_cast<UINT64>(static_cast<INT64>(VA_ARG(Marker, INT32)));
      }
      Out = PutNumber(Out, End, D, Value, Radix, (D.Flags & kUnsignedType) == 0, ValueBuffer);
      return Format;
    }
    default: break;
  }

  // Everything else renders a text. String types start from precision 0.
  if ((Type == 'a' || Type == 's' || Type == 'S') && (D.Flags & kPrecision) == 0) {
    D.Precision = 0;
  }

  CHAR16 Character[2] = {0, 0};
  CHAR8 Single[2] = {Type, '\0'};
  const VOID *Text = Single;
  bool Wide = false;  // Text is UTF-16

  switch (Type) {
    case 'a': {
      const CHAR8 *String = VA_ARG(Marker, const CHAR8 *);
      Text = String != nullptr ? String : kNullString;
      break;
    }
    case 's':
    case 'S': {
      const CHAR16 *String = VA_ARG(Marker, const CHAR16 *);
      if (String != nullptr) {
        Wide = true;
        Text = String;
      } else {
        Text = kNullString;
      }
      break;
    }
    case 'c':
      Character[0] = static_cast<CHAR16>(VA_ARG(Marker, UINT32) & 0xFFFF);
      Wide = true;
      Text = Character;
      break;
    case 'g': {
      const auto *Guid = VA_ARG(Marker, const UINT8 *);
      if (Guid == nullptr) {
        Text = kNullGuid;
        break;
      }
      BasePrintLibSPrint(ValueBuffer, sizeof(ValueBuffer), 0, kGuidFormat,
                         ReadUnaligned32(reinterpret_cast<const UINT32 *>(Guid)),
                         ReadUnaligned16(reinterpret_cast<const UINT16 *>(Guid + kGuidData2)),
                         ReadUnaligned16(reinterpret_cast<const UINT16 *>(Guid + kGuidData3)), Guid[kGuidData4 + 0],
                         Guid[kGuidData4 + 1], Guid[kGuidData4 + 2], Guid[kGuidData4 + 3], Guid[kGuidData4 + 4],
                         Guid[kGuidData4 + 5], Guid[kGuidData4 + 6], Guid[kGuidData4 + 7]);
      Text = ValueBuffer;
      break;
    }
    case 't': {
      const auto *Time = VA_ARG(Marker, const UINT8 *);
      if (Time == nullptr) {
        Text = kNullTime;
        break;
      }
      BasePrintLibSPrint(ValueBuffer, sizeof(ValueBuffer), 0, kTimeFormat, Time[kTimeMonth], Time[kTimeDay],
                         ReadUnaligned16(reinterpret_cast<const UINT16 *>(Time + kTimeYear)), Time[kTimeHour],
                         Time[kTimeMinute]);
      Text = ValueBuffer;
      break;
    }
    case 'r': {
      const EFI_STATUS Status = VA_ARG(Marker, UINT32);
      const CHAR8 *Name = print_lib::StatusName(Status);
      if (Name == nullptr) {
        BasePrintLibSPrint(ValueBuffer, sizeof(ValueBuffer), 0, kStatusFormat, Status);
        Name = ValueBuffer;
      }
      Text = Name;
      break;
    }
    case '\n':
      // As in the main loop: CR LF, swallowing a carriage return that follows.
      Text = kCrLf;
      if (*Format == '\r') Format++;
      break;
    case '\r':
      if (*Format == '\n') {
        Text = kCrLf;
        Format++;
      } else {
        Text = kCr;
      }
      break;
    default:
      // '%' and every character without a meaning stand for themselves.
      break;
  }
  Out = PutText(Out, End, D, Text, Wide);
  return Format;
}

/** The engine proper, after the start-of-call checks. */
UINTN FormatAscii(CHAR8 *Buffer, UINTN BufferSize, const CHAR8 *Format, VA_LIST &Marker) {
  CHAR8 *Out = Buffer;
  CHAR8 *const End = Buffer + BufferSize - 1;

  while (*Format != '\0' && Out < End) {
    const CHAR8 Character = *Format++;
    if (Character == '\n') {
      Out = PutChar(Out, End, '\r');
      Out = PutChar(Out, End, '\n');
      if (*Format == '\r') Format++;
    } else if (Character == '\r') {
      Out = PutChar(Out, End, '\r');
      if (*Format == '\n') {
        Out = PutChar(Out, End, '\n');
        Format++;
      }
    } else if (Character == '%') {
      DIRECTIVE D = {0, 0, 1};
      Format = ReadDirective(Format, D, Marker);
      Format = PutDirective(Out, End, Format, D, Marker);
    } else {
      Out = PutChar(Out, End, Character);
    }
  }

  *Out = '\0';
  return static_cast<UINTN>(Out - Buffer);
}

}  // namespace

extern "C" {

/** Writes Character Length times, never at or beyond EndBuffer; returns the new position. */
CHAR8 *BasePrintLibFillBuffer(OUT CHAR8 *Buffer, IN CHAR8 *EndBuffer, IN INTN Length, IN UINTN Character,
                              IN INTN Increment) {
  if (Increment < 1) {
    return Buffer;
  }
  for (INTN Index = 0; Index < Length && Buffer < EndBuffer; Index++) {
    *Buffer = static_cast<CHAR8>(Character & 0xFF);
    Buffer += Increment;
  }
  return Buffer;
}

/** A NUL, then the digits of Value in Radix least significant first; returns the last digit's position. */
CHAR8 *BasePrintLibValueToString(IN OUT CHAR8 *Buffer, IN UINT64 Value, IN UINTN Radix) {
  *Buffer = '\0';
  do {
    UINT32 Remainder = 0;
    Value = DivU64x32Remainder(Value, static_cast<UINT32>(Radix), &Remainder);
    *++Buffer = kDigits[Remainder & 0xF];
  } while (Value != 0);
  return Buffer;
}

/**
  Formats Format with the arguments of Marker into Buffer: at most BufferSize - 1
  characters and a NUL.

  Asserts (and returns 0 without writing) for a NULL Buffer or Format when BufferSize is
  not 0, for a BufferSize over 1000000, and for a format of more than 1000000 characters.

  @return The characters produced, NUL not counted.
**/
UINTN BasePrintLibSPrintMarker(OUT CHAR8 *Buffer, IN UINTN BufferSize, IN UINTN Flags, IN CONST CHAR8 *Format,
                               IN VA_LIST Marker) {
  // Only ASCII output from an ASCII format is produced; no other Flags are used here.
  if (BufferSize != 0) {
    if (Buffer == nullptr) {
      QuarnAssertAt(false, kSource, kNullBufferCheckLine, "(Buffer != ((void *) 0))");
      return 0;
    }
    if (Format == nullptr) {
      QuarnAssertAt(false, kSource, kNullFormatCheckLine, "(Format != ((void *) 0))");
      return 0;
    }
  }
  if (BufferSize > kMaximumAsciiStringLength) {
    QuarnAssertAt(false, kSource, kBufferSizeCheckLine,
                  "(BufferSize <= (_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength))");
    return 0;
  }
  if (AsciiStrnLenS(Format, kMaximumAsciiStringLength + 1) > kMaximumAsciiStringLength) {
    QuarnAssertAt(false, kSource, kFormatLengthCheckLine,
                  "(AsciiStrnLenS (Format, (_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength) + 1) <= "
                  "(_gPcd_FixedAtBuild_PcdMaximumAsciiStringLength))");
    return 0;
  }
  if (BufferSize == 0) {
    return 0;
  }
  return FormatAscii(Buffer, BufferSize, Format, Marker);
}
}
