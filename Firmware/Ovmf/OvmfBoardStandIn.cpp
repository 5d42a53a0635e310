/** @file
  The parts of the OVMF test platform module the module calls while it runs, each
  answering as the board description says: the DRUX_PPI stand-in (every call checked
  against the request the scenario's run made, answered with that run's status and
  response, the VORN registers stored as the scenario has them by then), the
  DEBUG_PRINT_PPI (counted and hashed), GetBootMode where the scenario's PEI core fails
  it, and the breakpoint of an assertion (counted; the module goes on, as on the
  emulator). Their state lives in the board's HOB (OvmfBoardState.h); what they have to
  say goes to its log.
**/
#include "OvmfBoardPei.h"
#include "OvmfBoardState.h"

#include <Library/CpuIntrinsicsLib.h>
#include <Ppi/DebugPrint.h>
#include <Ppi/Drux.h>
#include <Register/VornRegs.h>

#include "Firmware/Rom/RomPolicyTable.h"

namespace ovmf_board {

namespace {

constexpr UINT32 kPcieWindow = 0x80000000;
/// Where each OVMF_BOARD_REGISTER lies in the window.
constexpr UINT32 kRegisterAddress[kRegisterCount] = {kPcieWindow + VORNFS1_ADDRESS, kPcieWindow + VORNFS2_ADDRESS,
                                                     kPcieWindow + FN1_STATUS_ADDRESS, kPcieWindow + FN4_STATUS_ADDRESS,
                                                     kPcieWindow + FN6_STATUS_ADDRESS};
constexpr UINT32 kFnvPrime = 0x01000193;
constexpr UINT8 kBreakpointVector = 3;
constexpr UINT8 kInterruptGate = 0x8E;  // present, ring 0, 32-bit interrupt gate

/** Appends "board: drux call N " for the call now answered. */
VOID LogCall(IN OUT OVMF_BOARD_STATE *State, IN UINT32 Index) {
  LogText(State, "board: drux call ");
  LogDec(State, Index);
  LogText(State, " ");
}

/** The described call Index, or nullptr (logged) when there is none or it is of another kind. */
CONST OVMF_BOARD_CALL *DescribedCall(IN OUT OVMF_BOARD_STATE *State, IN UINT32 Index, IN UINT8 Kind) {
  if (Index >= BoardHeader(State)->CallCount) {
    LogError(State, "the module made a stand-in call the scenario's run did not make");
    return nullptr;
  }
  CONST OVMF_BOARD_CALL *Call =
      reinterpret_cast<CONST OVMF_BOARD_CALL *>(BoardDescription(State) + State->Layout.Calls[Index]);
  if (Call->Kind != Kind) {
    LogError(State, Kind == kCallSendWithAck ? "SendWithAck where the scenario's run called GetVornStatus"
                                             : "GetVornStatus where the scenario's run called SendWithAck");
    return nullptr;
  }
  return Call;
}

/** Stores the registers the call changes, and logs each. */
VOID ApplyChanges(IN OUT OVMF_BOARD_STATE *State, IN CONST OVMF_BOARD_CALL *Call) {
  CONST UINT8 *Bytes = reinterpret_cast<CONST UINT8 *>(Call + 1) + Padded(Call->RequestLength + Call->ResponseSize);
  CONST OVMF_BOARD_CHANGE *Changes = reinterpret_cast<CONST OVMF_BOARD_CHANGE *>(Bytes);
  for (UINT32 Index = 0; Index < Call->ChangeCount; Index++) {
    CpuMmioWrite32(kRegisterAddress[Changes[Index].Register], Changes[Index].Value);
    LogText(State, "board: register ");
    LogDec(State, Changes[Index].Register);
    LogText(State, " := ");
    LogHex32(State, Changes[Index].Value);
    LogText(State, "\n");
  }
}

/** SendWithAck of the stand-in: the described call's answer to the described request. */
EFI_STATUS EFIAPI BoardSendWithAck(IN UINT32 DeviceIndex, IN OUT VOID *Buffer, IN UINT32 RequestLength,
                                   IN OUT UINT32 *ResponseLength, IN UINT8 HostAddress, IN UINT8 ClientAddress) {
  OVMF_BOARD_STATE *State = BoardState(BoardPeiServices());
  if (State == nullptr) return EFI_DEVICE_ERROR;
  const UINT32 Index = State->CallsMade++;
  LogCall(State, Index);
  LogText(State, "SendWithAck client ");
  LogHex32(State, ClientAddress);
  LogText(State, " request ");
  if (Buffer != nullptr) {
    LogBytes(State, static_cast<CONST UINT8 *>(Buffer),
             RequestLength < kMaxMessageBytes ? RequestLength : kMaxMessageBytes);
  }
  LogText(State, " capacity ");
  LogDec(State, ResponseLength != nullptr ? *ResponseLength : 0);
  LogText(State, "\n");

  CONST OVMF_BOARD_CALL *Call = DescribedCall(State, Index, kCallSendWithAck);
  if (Call == nullptr) return EFI_DEVICE_ERROR;
  CONST UINT8 *Request = reinterpret_cast<CONST UINT8 *>(Call + 1);
  BOOLEAN Same = Buffer != nullptr && ResponseLength != nullptr && DeviceIndex == 0 && HostAddress == 0 &&
                 ClientAddress == Call->Client && RequestLength == Call->RequestLength &&
                 *ResponseLength == Call->Capacity;
  for (UINT32 Byte = 0; Same && Byte < RequestLength; Byte++) {
    Same = static_cast<CONST UINT8 *>(Buffer)[Byte] == Request[Byte];
  }
  if (!Same) {
    LogError(State, "the request differs from the scenario's run");
    return EFI_DEVICE_ERROR;
  }
  ApplyChanges(State, Call);
  if (!EFI_ERROR(Call->Status)) {
    CONST UINT8 *Response = Request + Call->RequestLength;
    for (UINT32 Byte = 0; Byte < Call->ResponseSize && Byte < *ResponseLength; Byte++) {
      static_cast<UINT8 *>(Buffer)[Byte] = Response[Byte];
    }
    *ResponseLength = Call->ResponseLength;
  }
  LogCall(State, Index);
  LogText(State, "answered ");
  LogHex32(State, Call->Status);
  if (!EFI_ERROR(Call->Status)) {
    LogText(State, " response ");
    LogBytes(State, Request + Call->RequestLength, Call->ResponseSize);
    LogText(State, " length ");
    LogDec(State, Call->ResponseLength);
  }
  LogText(State, "\n");
  return Call->Status;
}

/** GetVornStatus of the stand-in: the described call's status and word. */
EFI_STATUS EFIAPI BoardGetVornStatus(OUT UINT32 *Status) {
  OVMF_BOARD_STATE *State = BoardState(BoardPeiServices());
  if (State == nullptr) return EFI_DEVICE_ERROR;
  const UINT32 Index = State->CallsMade++;
  CONST OVMF_BOARD_CALL *Call = DescribedCall(State, Index, kCallGetVornStatus);
  if (Call == nullptr) return EFI_DEVICE_ERROR;
  ApplyChanges(State, Call);
  if (Status == nullptr) return EFI_INVALID_PARAMETER;
  if (!EFI_ERROR(Call->Status)) *Status = Call->ResponseLength;
  LogCall(State, Index);
  LogText(State, "GetVornStatus answered ");
  LogHex32(State, Call->Status);
  LogText(State, " word ");
  LogHex32(State, EFI_ERROR(Call->Status) ? 0 : Call->ResponseLength);
  LogText(State, "\n");
  return Call->Status;
}

constexpr DRUX_PPI kDrux = quarn_board::DruxStandIn(BoardSendWithAck, BoardGetVornStatus);
constexpr DRUX_PPI kDruxNullSend = quarn_board::DruxStandIn(nullptr, BoardGetVornStatus);
constexpr DRUX_PPI kDruxNullStatus = quarn_board::DruxStandIn(BoardSendWithAck, nullptr);
constexpr DRUX_PPI kDruxNullBoth = quarn_board::DruxStandIn(nullptr, nullptr);

/// The messages whose addresses come from the memory map, as on the console: their hex runs are hashed as one '#'.
constexpr CONST CHAR8 *kAddressLines[] = {"Reload MM7 with new pointer: ", "Migration pointer type 9: ", "Sync MM7: "};

/** The length of the prefix of Message (Length bytes) after which its addresses are masked, or 0. */
UINTN AddressLinePrefix(IN CONST CHAR8 *Message, IN UINTN Length) {
  for (CONST CHAR8 *Prefix : kAddressLines) {
    UINTN Index = 0;
    while (Index < Length && Prefix[Index] != '\0' && Message[Index] == Prefix[Index]) Index++;
    if (Prefix[Index] == '\0') return Index;
  }
  return 0;
}

/** TRUE for an upper-case hexadecimal digit. */
constexpr BOOLEAN IsHexDigit(CHAR8 Char) { return (Char >= '0' && Char <= '9') || (Char >= 'A' && Char <= 'F'); }

/** Hashes the message's bytes (Count only: FALSE) or counts them, the address runs masked. */
UINT32 MaskedBytes(IN CONST CHAR8 *Message, IN UINTN Length, IN OUT UINT32 *Hash OPTIONAL) {
  const UINTN Prefix = AddressLinePrefix(Message, Length);
  UINT32 Count = 0;
  for (UINTN Index = 0; Index < Length; Index++) {
    CHAR8 Char = Message[Index];
    if (Prefix != 0 && Index >= Prefix && IsHexDigit(Char)) {
      while (Index + 1 < Length && IsHexDigit(Message[Index + 1])) Index++;
      Char = '#';
    }
    if (Hash != nullptr) *Hash = (*Hash ^ static_cast<UINT8>(Char)) * kFnvPrime;
    Count++;
  }
  return Count;
}

/** WriteMessage of the board's DEBUG_PRINT_PPI: counts the message and hashes its length
    and text (FNV-1a), the addresses of the pointer lines masked. */
VOID EFIAPI BoardWriteMessage(IN CONST CHAR8 *Message, IN UINTN Length) {
  OVMF_BOARD_STATE *State = BoardState(BoardPeiServices());
  if (State == nullptr) return;
  if (Message == nullptr) Length = 0;
  const UINT32 Masked = MaskedBytes(Message, Length, nullptr);
  UINT32 Hash = State->DebugHash;
  for (UINTN Byte = 0; Byte < 4; Byte++) Hash = (Hash ^ ((Masked >> (8 * Byte)) & 0xFF)) * kFnvPrime;
  MaskedBytes(Message, Length, &Hash);
  State->DebugHash = Hash;
  State->DebugMessages++;
}

constexpr DEBUG_PRINT_PPI kDebugPrint = {BoardWriteMessage};

/** GetBootMode while the board answers it: the described call's status, the boot mode
    written when described; after the last described call the PEI core's own again. */
EFI_STATUS EFIAPI BoardGetBootMode(IN CONST EFI_PEI_SERVICES **PeiServices, OUT EFI_BOOT_MODE *BootMode) {
  OVMF_BOARD_STATE *State = BoardState(PeiServices);
  if (State == nullptr) return EFI_DEVICE_ERROR;
  CONST OVMF_BOARD_HEADER *Header = BoardHeader(State);
  const UINT32 Index = State->BootModeCallsMade++;
  EFI_PEI_SERVICES *Table = const_cast<EFI_PEI_SERVICES *>(*PeiServices);
  if (Index + 1 >= Header->BootModeCallCount) Table->GetBootMode = State->OriginalGetBootMode;
  if (Index >= Header->BootModeCallCount) return Table->GetBootMode(PeiServices, BootMode);
  CONST OVMF_BOARD_BOOT_MODE_CALL *Call =
      reinterpret_cast<CONST OVMF_BOARD_BOOT_MODE_CALL *>(BoardDescription(State) + State->Layout.BootModeCalls) +
      Index;
  if (Call->Written != 0 && BootMode != nullptr) *BootMode = Header->BootMode;
  LogText(State, "board: GetBootMode call ");
  LogDec(State, Index);
  LogText(State, " answered ");
  LogHex32(State, Call->Status);
  LogText(State, "\n");
  return Call->Status;
}

}  // namespace

/** Counts a breakpoint (called by the handler below with every register saved). */
extern "C" __attribute__((used)) VOID EFIAPI OvmfBoardBreakpointSeen() {
  OVMF_BOARD_STATE *State = BoardState(BoardPeiServices());
  if (State != nullptr) State->Breakpoints++;
}

/** The breakpoint handler: counts and returns to the instruction after INT3. */
extern "C" __attribute__((naked)) VOID OvmfBoardBreakpointHandler() {
  __asm__ __volatile__(
      "pushal\n\t"
      "cld\n\t"
      "call %P0\n\t"
      "popal\n\t"
      "iretl\n\t"
      :
      : "i"(OvmfBoardBreakpointSeen));
}

CONST VOID *BoardDruxPpi(IN UINT32 Flags) {
  const BOOLEAN NullSend = (Flags & kDruxNullSendWithAck) != 0;
  const BOOLEAN NullStatus = (Flags & kDruxNullGetVornStatus) != 0;
  return NullSend ? (NullStatus ? &kDruxNullBoth : &kDruxNullSend) : (NullStatus ? &kDruxNullStatus : &kDrux);
}

CONST VOID *BoardDebugPrintPpi() { return &kDebugPrint; }

VOID BoardTakeGetBootMode(IN CONST EFI_PEI_SERVICES **PeiServices, IN OUT OVMF_BOARD_STATE *State) {
  EFI_PEI_SERVICES *Table = const_cast<EFI_PEI_SERVICES *>(*PeiServices);
  State->OriginalGetBootMode = Table->GetBootMode;
  Table->GetBootMode = BoardGetBootMode;
}

BOOLEAN BoardCatchBreakpoints() {
  IA32_DESCRIPTOR Idtr;
  CpuSidt(&Idtr);
  if (Idtr.Limit < kBreakpointVector * 8 + 7) return FALSE;
  UINT16 CodeSelector = 0;
  __asm__ __volatile__("movw %%cs, %0" : "=r"(CodeSelector));
  const UINT32 Handler = static_cast<UINT32>(reinterpret_cast<UINTN>(&OvmfBoardBreakpointHandler));
  UINT8 *Gate = reinterpret_cast<UINT8 *>(Idtr.Base) + kBreakpointVector * 8;
  const UINT8 Bytes[8] = {static_cast<UINT8>(Handler),
                          static_cast<UINT8>(Handler >> 8),
                          static_cast<UINT8>(CodeSelector),
                          static_cast<UINT8>(CodeSelector >> 8),
                          0,
                          kInterruptGate,
                          static_cast<UINT8>(Handler >> 16),
                          static_cast<UINT8>(Handler >> 24)};
  for (UINTN Index = 0; Index < sizeof(Bytes); Index++) Gate[Index] = Bytes[Index];
  return TRUE;
}

}  // namespace ovmf_board
