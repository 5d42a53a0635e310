/** @file
  QEMU's fw_cfg device through its I/O ports: selector 0x510 (16-bit), data 0x511.
  The file directory (selector 0x19) is a big-endian count followed by 64-byte entries:
  size (big-endian 32), selector (big-endian 16), reserved 16, name (56 bytes, NUL
  padded).
**/
#include "RomFwCfg.h"

#include <Library/CpuIntrinsicsLib.h>

#include "RomIo.h"

namespace {

constexpr UINT16 kSelectorPort = 0x510;
constexpr UINT16 kDataPort = 0x511;
constexpr UINT16 kSignatureKey = 0x0000;
constexpr UINT16 kDirectoryKey = 0x0019;
constexpr UINTN kNameLength = 56;
constexpr UINTN kMaxValueText = 32;
/// No more directory entries are looked at than this: a broken directory cannot keep
/// the stub reading for ever.
constexpr UINT32 kMaxEntries = 256;
constexpr CHAR8 kPrefix[] = "opt/quarn/";

/** Reads Bytes (at most 4) bytes of the selected item as a big-endian number. */
UINT32 ReadBigEndian(UINTN Bytes) {
  UINT32 Value = 0;
  for (UINTN Index = 0; Index < Bytes; Index++) Value = (Value << 8) | CpuIoRead8(kDataPort);
  return Value;
}

/** TRUE when the fw_cfg device answers with its signature "QEMU". */
bool Present() {
  RomIoWrite16(kSelectorPort, kSignatureKey);
  return CpuIoRead8(kDataPort) == 'Q' && CpuIoRead8(kDataPort) == 'E' && CpuIoRead8(kDataPort) == 'M' &&
         CpuIoRead8(kDataPort) == 'U';
}

/** TRUE when the NUL-padded directory name is kPrefix followed by Name. */
bool NameMatches(CONST CHAR8 (&Entry)[kNameLength], CONST CHAR8 *Name) {
  UINTN Index = 0;
  for (; kPrefix[Index] != '\0'; Index++) {
    if (Entry[Index] != kPrefix[Index]) return false;
  }
  for (UINTN Char = 0;; Char++, Index++) {
    if (Index >= kNameLength) return false;
    if (Entry[Index] != Name[Char]) return false;
    if (Name[Char] == '\0') return true;
  }
}

/** Value of one digit in Base, or Base when C is none. */
UINT32 DigitValue(CHAR8 C, UINT32 Base) {
  UINT32 Digit = Base;
  if (C >= '0' && C <= '9') Digit = static_cast<UINT32>(C - '0');
  else if (C >= 'a' && C <= 'f') Digit = static_cast<UINT32>(C - 'a' + 10);
  else if (C >= 'A' && C <= 'F') Digit = static_cast<UINT32>(C - 'A' + 10);
  return Digit < Base ? Digit : Base;
}

/** Parses decimal or 0x-hexadecimal text; blanks around it and a final newline are
    allowed. FALSE for anything else or a value beyond 64 bits. */
bool ParseNumber(CONST CHAR8 *Text, UINTN Length, UINT64 *Value) {
  constexpr UINT64 kDecimalLimit = ~UINT64(0) / 10;  // evaluated by the compiler
  UINTN Index = 0;
  while (Index < Length && (Text[Index] == ' ' || Text[Index] == '\t')) Index++;
  UINT32 Base = 10;
  if (Index + 1 < Length && Text[Index] == '0' && (Text[Index + 1] == 'x' || Text[Index + 1] == 'X')) {
    Base = 16;
    Index += 2;
  }
  UINT64 Result = 0;
  UINTN Digits = 0;
  for (; Index < Length; Index++, Digits++) {
    const UINT32 Digit = DigitValue(Text[Index], Base);
    if (Digit == Base) break;
    if (Base == 16) {
      if ((Result >> 60) != 0) return false;
      Result = (Result << 4) | Digit;
    } else {
      if (Result > kDecimalLimit || (Result == kDecimalLimit && Digit > 5)) return false;
      Result = (Result << 3) + (Result << 1) + Digit;  // times 10 without a library call
    }
  }
  while (Index < Length && (Text[Index] == ' ' || Text[Index] == '\t' || Text[Index] == '\r' || Text[Index] == '\n')) {
    Index++;
  }
  if (Digits == 0 || Index != Length) return false;
  *Value = Result;
  return true;
}

/** Finds opt/quarn/<Name> in the file directory: its selector and size. FALSE when
    there is no fw_cfg device or no such file. */
bool FindFile(CONST CHAR8 *Name, UINT16 *Key, UINT32 *Size) {
  if (!Present()) return false;
  RomIoWrite16(kSelectorPort, kDirectoryKey);
  const UINT32 Count = ReadBigEndian(4);
  for (UINT32 Entry = 0; Entry < Count && Entry < kMaxEntries; Entry++) {
    const UINT32 EntrySize = ReadBigEndian(4);
    const UINT16 EntryKey = static_cast<UINT16>(ReadBigEndian(2));
    ReadBigEndian(2);
    CHAR8 EntryName[kNameLength];
    for (UINTN Index = 0; Index < kNameLength; Index++) EntryName[Index] = static_cast<CHAR8>(CpuIoRead8(kDataPort));
    if (NameMatches(EntryName, Name)) {
      *Key = EntryKey;
      *Size = EntrySize;
      return true;
    }
  }
  return false;
}

}  // namespace

extern "C" {

BOOLEAN RomFwCfgNumber(IN CONST CHAR8 *Name, OUT UINT64 *Value) {
  UINT16 Key = 0;
  UINT32 Size = 0;
  if (!FindFile(Name, &Key, &Size) || Size == 0 || Size > kMaxValueText) return FALSE;
  CHAR8 Text[kMaxValueText];
  RomIoWrite16(kSelectorPort, Key);
  for (UINT32 Index = 0; Index < Size; Index++) Text[Index] = static_cast<CHAR8>(CpuIoRead8(kDataPort));
  // A string file may carry its terminating NUL.
  UINTN Length = Size;
  while (Length > 0 && Text[Length - 1] == '\0') Length--;
  return ParseNumber(Text, Length, Value) ? TRUE : FALSE;
}

BOOLEAN RomFwCfgFile(IN CONST CHAR8 *Name, OUT VOID *Buffer OPTIONAL, IN UINT32 Capacity, OUT UINT32 *Size) {
  UINT16 Key = 0;
  UINT32 Found = 0;
  if (Size == nullptr || !FindFile(Name, &Key, &Found)) return FALSE;
  *Size = Found;
  if (Buffer == nullptr) return TRUE;
  if (Found > Capacity) return FALSE;
  RomIoWrite16(kSelectorPort, Key);
  UINT8 *Bytes = static_cast<UINT8 *>(Buffer);
  for (UINT32 Index = 0; Index < Found; Index++) Bytes[Index] = CpuIoRead8(kDataPort);
  return TRUE;
}
}
