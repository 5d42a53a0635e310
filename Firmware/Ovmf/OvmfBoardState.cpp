/** @file
  The OVMF test platform module's state HOB and its log (OvmfBoardState.h): finding them
  from any entry the module calls, and writing to the log.
**/
#include "OvmfBoardPei.h"
#include "OvmfBoardState.h"

#include <Library/CpuIntrinsicsLib.h>

namespace ovmf_board {

namespace {

constexpr CHAR8 kHexDigits[] = "0123456789ABCDEF";

/** TRUE when the two GUIDs are equal. */
BOOLEAN SameGuid(IN CONST EFI_GUID &A, IN CONST EFI_GUID &B) {
  CONST UINT8 *X = reinterpret_cast<CONST UINT8 *>(&A);
  CONST UINT8 *Y = reinterpret_cast<CONST UINT8 *>(&B);
  for (UINTN Index = 0; Index < sizeof(EFI_GUID); Index++) {
    if (X[Index] != Y[Index]) return FALSE;
  }
  return TRUE;
}

/** Appends one character, keeping room for the NUL; a full log is marked. */
VOID LogChar(IN OUT OVMF_BOARD_STATE *State, IN CHAR8 Char) {
  if (State->LogLength >= kLogSize) {
    State->LogOverflow = 1;
    return;
  }
  State->Log[State->LogLength++] = Char;
  State->Log[State->LogLength] = '\0';
}

}  // namespace

CONST EFI_PEI_SERVICES **BoardPeiServices() {
  IA32_DESCRIPTOR Idtr;
  CpuSidt(&Idtr);
  return *reinterpret_cast<CONST EFI_PEI_SERVICES ***>(Idtr.Base - sizeof(UINTN));
}

UINT8 *BoardFindGuidHob(IN CONST EFI_PEI_SERVICES **PeiServices, IN CONST EFI_GUID &Name, IN UINT16 MinLength) {
  VOID *List = nullptr;
  if (PeiServices == nullptr || (*PeiServices)->GetHobList(PeiServices, &List) != EFI_SUCCESS || List == nullptr) {
    return nullptr;
  }
  for (UINT8 *Hob = static_cast<UINT8 *>(List);;) {
    CONST EFI_HOB_GENERIC_HEADER *Header = reinterpret_cast<CONST EFI_HOB_GENERIC_HEADER *>(Hob);
    if (Header->HobType == EFI_HOB_TYPE_END_OF_HOB_LIST || Header->HobLength < sizeof(EFI_HOB_GENERIC_HEADER)) {
      return nullptr;
    }
    if (Header->HobType == EFI_HOB_TYPE_GUID_EXTENSION && Header->HobLength >= sizeof(EFI_HOB_GUID_TYPE) &&
        Header->HobLength >= MinLength && SameGuid(reinterpret_cast<CONST EFI_HOB_GUID_TYPE *>(Hob)->Name, Name)) {
      return Hob + sizeof(EFI_HOB_GUID_TYPE);
    }
    Hob += Header->HobLength;
  }
}

OVMF_BOARD_STATE *BoardState(IN CONST EFI_PEI_SERVICES **PeiServices) {
  return reinterpret_cast<OVMF_BOARD_STATE *>(
      BoardFindGuidHob(PeiServices, gQuarnOvmfBoardFileGuid, sizeof(EFI_HOB_GUID_TYPE) + sizeof(OVMF_BOARD_STATE)));
}

CONST OVMF_BOARD_HEADER *BoardHeader(IN CONST OVMF_BOARD_STATE *State) {
  return reinterpret_cast<CONST OVMF_BOARD_HEADER *>(BoardDescription(const_cast<OVMF_BOARD_STATE *>(State)));
}

VOID LogText(IN OUT OVMF_BOARD_STATE *State, IN CONST CHAR8 *Text) {
  for (; *Text != '\0'; Text++) LogChar(State, *Text);
}

VOID LogHex32(IN OUT OVMF_BOARD_STATE *State, IN UINT32 Value) {
  LogText(State, "0x");
  for (UINTN Nibble = 8; Nibble > 0; Nibble--) LogChar(State, kHexDigits[(Value >> (4 * (Nibble - 1))) & 0xF]);
}

VOID LogBytes(IN OUT OVMF_BOARD_STATE *State, IN CONST UINT8 *Bytes, IN UINTN Length) {
  for (UINTN Index = 0; Index < Length; Index++) {
    LogChar(State, kHexDigits[Bytes[Index] >> 4]);
    LogChar(State, kHexDigits[Bytes[Index] & 0xF]);
  }
}

VOID LogDec(IN OUT OVMF_BOARD_STATE *State, IN UINT32 Value) {
  CHAR8 Digits[10];
  UINTN Count = 0;
  do {
    Digits[Count++] = static_cast<CHAR8>('0' + Value % 10);
    Value /= 10;
  } while (Value != 0);
  while (Count > 0) LogChar(State, Digits[--Count]);
}

VOID LogError(IN OUT OVMF_BOARD_STATE *State, IN CONST CHAR8 *Text) {
  State->Errors++;
  LogText(State, "board: error: ");
  LogText(State, Text);
  LogText(State, "\n");
}

}  // namespace ovmf_board
