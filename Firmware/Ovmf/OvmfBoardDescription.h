/** @file
  The board description the OVMF test platform module plays: a binary file a run passes
  as fw_cfg opt/quarn/board, written by Firmware/Ovmf/ovmf-board.py from quarn-emu's run
  of a scenario. This header is its one definition: the writer's offsets are checked
  against the static_asserts below (Test/Tools/OvmfBoardTest.py reads them).

  Little-endian, every field at its natural alignment, in this order:

    OVMF_BOARD_HEADER                       HeaderSize bytes
    policy table                            PolicySize bytes, then zeros to a multiple of 4
    OVMF_BOARD_BOOT_MODE_CALL               BootModeCallCount of them
    status-code answers                     StatusCodeAnswerCount UINT32 (EFI_STATUS)
    stand-in calls, each:
      OVMF_BOARD_CALL
      request bytes                         RequestLength
      response bytes                        ResponseSize, then zeros to a multiple of 4
      OVMF_BOARD_CHANGE                     ChangeCount of them

  The stand-in calls are the DRUX_PPI calls the module makes, in order: what it must
  ask (checked), what the stand-in answers, and the VORN register values it stores
  before answering (the changes the scenario has the firmware make by then).

  OvmfBoardParse checks a description whole before anything of it is used: a wrong
  signature, version or size, a count or length past its limit, a section that runs past
  the end or leaves bytes over, an unknown call kind or register is refused with a text
  that names it. It is constexpr, so the static_asserts at the end try it on sample
  descriptions when the board is compiled.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

namespace ovmf_board {

inline constexpr UINT32 kSignature = 0x44424F51;  // "QOBD"
inline constexpr UINT16 kVersion = 1;

/// Limits of a description (the writer refuses a scenario beyond them).
inline constexpr UINT32 kMaxSize = 8192;
inline constexpr UINT32 kMaxPolicySize = 4096;
inline constexpr UINT32 kMaxBootModeCalls = 8;
inline constexpr UINT32 kMaxStatusCodeAnswers = 64;
inline constexpr UINT32 kMaxCalls = 64;
inline constexpr UINT32 kMaxMessageBytes = 1024;
inline constexpr UINT32 kMaxChanges = 16;

/// Flags of the header.
inline constexpr UINT32 kVornPresent = 0x001;            ///< RAM at 0x80000000 plays the VORN
inline constexpr UINT32 kPolicyInstalled = 0x002;        ///< the policy PPI, the table below
inline constexpr UINT32 kDruxInstalled = 0x004;          ///< the DRUX_PPI stand-in
inline constexpr UINT32 kDruxNullSendWithAck = 0x008;    ///< ... with a NULL SendWithAck
inline constexpr UINT32 kDruxNullGetVornStatus = 0x010;  ///< ... with a NULL GetVornStatus
inline constexpr UINT32 kDebugPrintPpi = 0x020;          ///< a DEBUG_PRINT_PPI
inline constexpr UINT32 kVornTypeHob = 0x040;            ///< a VORN type HOB before the module
inline constexpr UINT32 kCmosValid = 0x080;              ///< CMOS 0x0E bit 7 clear
inline constexpr UINT32 kKnownFlags = 0x0FF;

/// The VORN registers a change may store, by index.
enum OVMF_BOARD_REGISTER : UINT32 { kFs1, kFs2, kFn1, kFn4, kFn6, kRegisterCount };

/// Kinds of stand-in call.
inline constexpr UINT8 kCallSendWithAck = 1;
inline constexpr UINT8 kCallGetVornStatus = 2;

struct OVMF_BOARD_HEADER {
  UINT32 Signature;
  UINT16 Version;
  UINT16 HeaderSize;
  UINT32 TotalSize;  ///< the whole description
  UINT32 Flags;
  UINT32 BootMode;    ///< set with SetBootMode before the module
  UINT32 ErrorLevel;  ///< CMOS 0x7A..0x7D
  UINT32 Mm0Low;      ///< MM0 of the boot processor at the module's entry
  UINT32 Mm0High;
  UINT32 Registers[kRegisterCount];  ///< the VORN registers at entry
  UINT32 VornType;                   ///< the VORN type HOB, with kVornTypeHob
  UINT8 FwType;
  UINT8 FwSubType;
  UINT8 HostBridgeFc;  ///< byte 0xFC of 00:00.0 in the window (with kVornPresent)
  UINT8 Reserved0;
  UINT32 PolicySize;
  UINT16 BootModeCallCount;      ///< GetBootMode calls the board answers itself
  UINT16 StatusCodeAnswerCount;  ///< answers to the module's status codes, in order
  UINT16 CallCount;
  UINT16 Reserved1;
};
static_assert(sizeof(OVMF_BOARD_HEADER) == 72, "header");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, Signature) == 0, "Signature");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, Version) == 4, "Version");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, HeaderSize) == 6, "HeaderSize");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, TotalSize) == 8, "TotalSize");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, Flags) == 12, "Flags");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, BootMode) == 16, "BootMode");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, ErrorLevel) == 20, "ErrorLevel");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, Mm0Low) == 24, "Mm0Low");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, Mm0High) == 28, "Mm0High");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, Registers) == 32, "Registers");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, VornType) == 52, "VornType");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, FwType) == 56, "FwType");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, FwSubType) == 57, "FwSubType");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, HostBridgeFc) == 58, "HostBridgeFc");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, PolicySize) == 60, "PolicySize");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, BootModeCallCount) == 64, "BootModeCallCount");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, StatusCodeAnswerCount) == 66, "StatusCodeAnswerCount");
static_assert(OFFSET_OF(OVMF_BOARD_HEADER, CallCount) == 68, "CallCount");

/// One GetBootMode call: what it answers, and whether it writes the boot mode.
struct OVMF_BOARD_BOOT_MODE_CALL {
  UINT32 Status;
  UINT32 Written;
};
static_assert(sizeof(OVMF_BOARD_BOOT_MODE_CALL) == 8, "boot mode call");
static_assert(OFFSET_OF(OVMF_BOARD_BOOT_MODE_CALL, Written) == 4, "Written");

/// One stand-in call. GetVornStatus: the status word in ResponseLength (stored when
/// Status is no error); no request, no response bytes.
struct OVMF_BOARD_CALL {
  UINT8 Kind;
  UINT8 Client;  ///< SendWithAck's ClientAddress
  UINT8 ChangeCount;
  UINT8 Reserved;
  UINT32 Status;          ///< what the call answers
  UINT32 RequestLength;   ///< the request the module must send
  UINT32 Capacity;        ///< the *ResponseLength it must offer
  UINT32 ResponseSize;    ///< response bytes stored (no error only)
  UINT32 ResponseLength;  ///< the length reported, or the status word
};
static_assert(sizeof(OVMF_BOARD_CALL) == 24, "call");
static_assert(OFFSET_OF(OVMF_BOARD_CALL, Kind) == 0, "Kind");
static_assert(OFFSET_OF(OVMF_BOARD_CALL, Client) == 1, "Client");
static_assert(OFFSET_OF(OVMF_BOARD_CALL, ChangeCount) == 2, "ChangeCount");
static_assert(OFFSET_OF(OVMF_BOARD_CALL, Status) == 4, "Status");
static_assert(OFFSET_OF(OVMF_BOARD_CALL, RequestLength) == 8, "RequestLength");
static_assert(OFFSET_OF(OVMF_BOARD_CALL, Capacity) == 12, "Capacity");
static_assert(OFFSET_OF(OVMF_BOARD_CALL, ResponseSize) == 16, "ResponseSize");
static_assert(OFFSET_OF(OVMF_BOARD_CALL, ResponseLength) == 20, "ResponseLength");

/// A VORN register value stored at a stand-in call.
struct OVMF_BOARD_CHANGE {
  UINT32 Register;
  UINT32 Value;
};
static_assert(sizeof(OVMF_BOARD_CHANGE) == 8, "change");
static_assert(OFFSET_OF(OVMF_BOARD_CHANGE, Value) == 4, "Value");

/// Where the parts of a checked description start (byte offsets into it).
struct OVMF_BOARD_LAYOUT {
  UINT32 Policy;
  UINT32 BootModeCalls;
  UINT32 StatusCodeAnswers;
  UINT32 Calls[kMaxCalls];
};

/** Value of the little-endian field of Width bytes at Offset (the caller checked it lies inside). */
constexpr UINT32 ReadField(CONST UINT8 *Bytes, UINT32 Offset, UINT32 Width) {
  UINT32 Value = 0;
  for (UINT32 Byte = Width; Byte > 0; Byte--) Value = (Value << 8) | Bytes[Offset + Byte - 1];
  return Value;
}

/** Size rounded up to a multiple of 4. */
constexpr UINT32 Padded(UINT32 Size) { return (Size + 3u) & ~3u; }

/**
  Checks the description of Size bytes and finds its parts.
  @param Bytes   The description.
  @param Size    Its length in bytes, as fw_cfg gave it.
  @param Layout  Receives the offsets of the parts.
  @return nullptr when the description can be used, else what is wrong with it.
**/
constexpr CONST CHAR8 *OvmfBoardParse(CONST UINT8 *Bytes, UINT32 Size, OVMF_BOARD_LAYOUT *Layout) {
  if (Size < sizeof(OVMF_BOARD_HEADER)) return "shorter than its header";
  if (Size > kMaxSize) return "longer than the board takes";
  if (ReadField(Bytes, OFFSET_OF(OVMF_BOARD_HEADER, Signature), 4) != kSignature)
    return "no board description signature";
  if (ReadField(Bytes, OFFSET_OF(OVMF_BOARD_HEADER, Version), 2) != kVersion)
    return "a version this board does not know";
  if (ReadField(Bytes, OFFSET_OF(OVMF_BOARD_HEADER, HeaderSize), 2) != sizeof(OVMF_BOARD_HEADER)) return "header size";
  if (ReadField(Bytes, OFFSET_OF(OVMF_BOARD_HEADER, TotalSize), 4) != Size) return "total size is not the file's size";
  if ((ReadField(Bytes, OFFSET_OF(OVMF_BOARD_HEADER, Flags), 4) & ~kKnownFlags) != 0) return "unknown flags";
  const UINT32 PolicySize = ReadField(Bytes, OFFSET_OF(OVMF_BOARD_HEADER, PolicySize), 4);
  const UINT32 BootModeCalls = ReadField(Bytes, OFFSET_OF(OVMF_BOARD_HEADER, BootModeCallCount), 2);
  const UINT32 Answers = ReadField(Bytes, OFFSET_OF(OVMF_BOARD_HEADER, StatusCodeAnswerCount), 2);
  const UINT32 Calls = ReadField(Bytes, OFFSET_OF(OVMF_BOARD_HEADER, CallCount), 2);
  if (PolicySize > kMaxPolicySize) return "policy table too long";
  if (BootModeCalls > kMaxBootModeCalls) return "too many GetBootMode calls";
  if (Answers > kMaxStatusCodeAnswers) return "too many status-code answers";
  if (Calls > kMaxCalls) return "too many stand-in calls";

  // Each step adds at most a few KiB to an offset below kMaxSize: no sum can wrap.
  UINT32 Offset = sizeof(OVMF_BOARD_HEADER);
  Layout->Policy = Offset;
  Offset += Padded(PolicySize);
  Layout->BootModeCalls = Offset;
  Offset += BootModeCalls * sizeof(OVMF_BOARD_BOOT_MODE_CALL);
  Layout->StatusCodeAnswers = Offset;
  Offset += Answers * sizeof(UINT32);
  if (Offset > Size) return "policy, boot mode calls or answers run past the end";
  for (UINT32 Call = 0; Call < Calls; Call++) {
    if (Size - Offset < sizeof(OVMF_BOARD_CALL)) return "a stand-in call runs past the end";
    Layout->Calls[Call] = Offset;
    const UINT32 Kind = Bytes[Offset + OFFSET_OF(OVMF_BOARD_CALL, Kind)];
    const UINT32 Changes = Bytes[Offset + OFFSET_OF(OVMF_BOARD_CALL, ChangeCount)];
    const UINT32 Request = ReadField(Bytes, Offset + OFFSET_OF(OVMF_BOARD_CALL, RequestLength), 4);
    const UINT32 Response = ReadField(Bytes, Offset + OFFSET_OF(OVMF_BOARD_CALL, ResponseSize), 4);
    if (Kind != kCallSendWithAck && Kind != kCallGetVornStatus) return "a stand-in call of unknown kind";
    if (Request > kMaxMessageBytes || Response > kMaxMessageBytes) return "a message longer than the board takes";
    if (Kind == kCallGetVornStatus && (Request != 0 || Response != 0)) return "GetVornStatus with message bytes";
    if (Changes > kMaxChanges) return "too many register changes at one call";
    Offset += sizeof(OVMF_BOARD_CALL);
    if (Size - Offset < Padded(Request + Response)) return "a message runs past the end";
    Offset += Padded(Request + Response);
    if (Size - Offset < Changes * sizeof(OVMF_BOARD_CHANGE)) return "register changes run past the end";
    for (UINT32 Change = 0; Change < Changes; Change++) {
      if (ReadField(Bytes, Offset + Change * sizeof(OVMF_BOARD_CHANGE), 4) >= kRegisterCount) {
        return "a change of an unknown register";
      }
    }
    Offset += Changes * sizeof(OVMF_BOARD_CHANGE);
  }
  if (Offset != Size) return "bytes left over after the last call";
  return nullptr;
}

// --- the parser tried on sample descriptions -----------------------------------------

/// A sample: the header, a 4-byte policy, one GetBootMode call, one SendWithAck (2-byte
/// request, 1-byte response, one change) and one GetVornStatus.
struct SAMPLE {
  UINT8 Bytes[72 + 4 + 8 + 24 + 4 + 8 + 24];
  UINT32 Size;
};

/** Stores Value at Offset of the sample, little-endian, Width bytes. */
constexpr VOID Store(SAMPLE &Sample, UINT32 Offset, UINT32 Value, UINT32 Width) {
  for (UINT32 Byte = 0; Byte < Width; Byte++) Sample.Bytes[Offset + Byte] = static_cast<UINT8>(Value >> (8 * Byte));
}

/** The sample, well-formed. */
constexpr SAMPLE GoodSample() {
  SAMPLE Sample{};
  Sample.Size = sizeof(Sample.Bytes);
  Store(Sample, 0, kSignature, 4);
  Store(Sample, 4, kVersion, 2);
  Store(Sample, 6, sizeof(OVMF_BOARD_HEADER), 2);
  Store(Sample, 8, Sample.Size, 4);
  Store(Sample, 12, kVornPresent | kPolicyInstalled | kDruxInstalled, 4);
  Store(Sample, 60, 4, 4);  // PolicySize
  Store(Sample, 64, 1, 2);  // BootModeCallCount
  Store(Sample, 68, 2, 2);  // CallCount
  const UINT32 Send = 72 + 4 + 8;
  Sample.Bytes[Send] = kCallSendWithAck;
  Sample.Bytes[Send + 2] = 1;  // ChangeCount
  Store(Sample, Send + 8, 2, 4);
  Store(Sample, Send + 16, 1, 4);
  Store(Sample, Send + 24 + 4, kFs1, 4);
  Sample.Bytes[Send + 24 + 4 + 8] = kCallGetVornStatus;
  return Sample;
}

/** OvmfBoardParse's verdict on a sample, and the second call's offset when it is taken. */
constexpr bool Accepted(const SAMPLE &Sample) {
  OVMF_BOARD_LAYOUT Layout{};
  return OvmfBoardParse(Sample.Bytes, Sample.Size, &Layout) == nullptr && Layout.Calls[1] == 72 + 4 + 8 + 24 + 4 + 8;
}

/** The sample with one field changed (Offset, Value, Width). */
constexpr SAMPLE Altered(UINT32 Offset, UINT32 Value, UINT32 Width) {
  SAMPLE Sample = GoodSample();
  Store(Sample, Offset, Value, Width);
  return Sample;
}

/** The sample with its size changed. */
constexpr SAMPLE Resized(UINT32 Size) {
  SAMPLE Sample = GoodSample();
  Sample.Size = Size;
  return Sample;
}

static_assert(Accepted(GoodSample()), "a well-formed description is taken");
static_assert(!Accepted(Resized(71)), "shorter than the header");
static_assert(!Accepted(Resized(sizeof(SAMPLE::Bytes) - 4)), "TotalSize differs from the file");
static_assert(!Accepted(Altered(0, 0x44424F52, 4)), "signature");
static_assert(!Accepted(Altered(4, 2, 2)), "version");
static_assert(!Accepted(Altered(12, 0x100, 4)), "unknown flag");
static_assert(!Accepted(Altered(68, 3, 2)), "a third call that is not there");
static_assert(!Accepted(Altered(68, 1, 2)), "bytes left over after one call");
static_assert(!Accepted(Altered(68, kMaxCalls + 1, 2)), "more calls than the board takes");
static_assert(!Accepted(Altered(60, 0xFFFFFFF0, 4)), "a policy size past its limit");
static_assert(!Accepted(Altered(66, 60, 2)), "answers past the end");
static_assert(!Accepted(Altered(72 + 4 + 8, 3, 1)), "unknown call kind");
static_assert(!Accepted(Altered(72 + 4 + 8 + 8, 0xFFFFFFFF, 4)), "request length past every limit");
static_assert(!Accepted(Altered(72 + 4 + 8 + 16, 5, 4)), "response running into the next call");
static_assert(!Accepted(Altered(72 + 4 + 8 + 2, 2, 1)), "a change past the end of its call");
static_assert(!Accepted(Altered(72 + 4 + 8 + 28, kRegisterCount, 4)), "unknown register");
static_assert(!Accepted(Altered(72 + 4 + 8 + 36 + 8, 1, 4)), "GetVornStatus with a request");

}  // namespace ovmf_board
