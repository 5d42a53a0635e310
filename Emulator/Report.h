// What one emulated boot left behind, as quarn-emu reports it.
#pragma once

extern "C" {
#include <PiPei.h>
}

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "Emulator/Board/Board.h"
#include "Emulator/PeiCore/PeiCore.h"

namespace quarn::emu {

/// One SendWithAck exchange with the firmware.
struct MessageExchange {
  uint8_t Client = 0;
  std::vector<uint8_t> Request;  // the request bytes (RequestLength of them)
  uint32_t RequestLength = 0;
  uint32_t Capacity = 0;  // ResponseLength on entry
  EFI_STATUS Result = EFI_SUCCESS;
  std::vector<uint8_t> Response;  // bytes written into the buffer (empty on an error)
  uint32_t ResponseLength = 0;    // what SendWithAck reported
  uint64_t TimeNs = 0;
  std::string Kind;  // "type", "feature-set", "watchdog", "clock", "pre-did-reset", "unknown"
};

struct VornTypeHobView {
  uint32_t VornType = 0;
  uint8_t FwType = 0, FwSubType = 0;
};

struct InfoHobView {
  uint32_t FeatureSet = 0, FeatureSet2 = 0;
  uint8_t Flow = 0, PwrOptBoot = 0, Cores2Disable = 0;
  std::vector<uint8_t> Data;  // the 16 data bytes
};

struct StaticPointerTableView {
  uint32_t Address = 0;
  std::array<uint64_t, 13> Slots{};
};

struct CpuAndRevisionView {
  uint8_t CpuType = 0, Stepping = 0;
  std::vector<uint8_t> Record;  // the 31 bytes
};

/// The VORN's registers as the module reads them (all ones through PCI when the VORN
/// does not answer).
struct VornRegisterValues {
  uint32_t Fs1 = 0, Fs2 = 0, Fn1 = 0, Fn4 = 0, Fn6 = 0, DwrSts = 0;
};

/// One change of a VORN register, or a scheduled one that never took effect.
struct VornRegisterEvent {
  uint64_t TimeNs = 0;   // when it took effect (or was due)
  std::string Register;  // "VORNFS1", ...; empty for a change that never took effect
  uint32_t Previous = 0, Value = 0;
  std::string Source;  // "vorn.at" (the scenario), "firmware" (the model's own), "write"
  std::string Detail;  // "vorn.at[0]: fs1 = 0x00000005", "pre-DID reset: CurrentState 5"
};

/// The VORN over the run: its registers at entry and when the entry point returned (or
/// was stopped), each change in between and after, and the changes still scheduled when
/// the run ended.
struct VornView {
  bool Present = true;
  VornRegisterValues AtEntry, AtExit;
  uint64_t EntryNs = 0, ExitNs = 0, EndNs = 0;
  std::vector<VornRegisterEvent> Timeline;
  std::vector<VornRegisterEvent> NeverApplied;
};

/// The debug error level the module printed by, and where it took it from: the MM0
/// cache it found valid, or CMOS (after which it filled the cache). Taken from what
/// the boot processor's MM0 and the CMOS saw.
struct ErrorLevelView {
  uint32_t Level = 0;
  std::string Source;             // "mm0-cache" or "cmos"
  std::optional<bool> CmosValid;  // register 0x0E bit 7 clear, as the module read it; empty when not read
  uint64_t TimeNs = 0;            // when the module took the level
  uint64_t Mm0AtFirstRead = 0;    // what MM0 held when the module first looked
};

struct RunReport {
  std::string Scenario;
  /// Where the board's devices answered (the scenario's [board] table).
  BoardLayout Layout;
  std::string Outcome = "returned";  // "returned", "dead-loop", "hang"
  std::string Where;                 // where the emulator stopped the module
  std::optional<EFI_STATUS> Status;
  uint64_t ElapsedNs = 0;
  std::string Console, Console2;
  std::vector<std::string> DebugPpi;
  std::vector<std::string> Asserts;
  std::vector<HaltCode> HaltCodes;  // writes to the halt-code port and to 0xE8
  std::vector<MessageExchange> Messages;
  std::vector<StatusCodeRecord> StatusCodes;
  std::vector<std::string> Records;  // "state" / "reset" per status code
  std::optional<VornTypeHobView> VornTypeHob;
  std::optional<InfoHobView> InfoHob;
  std::optional<StaticPointerTableView> StaticPointerTable;
  std::optional<CpuAndRevisionView> CpuAndRevision;
  std::vector<uint64_t> Mm7;
  /// Virtual time from entry to the end of the run: the 1 ms polls, serial output, the
  /// firmware answering messages, and the rest (the module's own work and PEI services).
  uint64_t WaitNs = 0, SerialNs = 0, FirmwareNs = 0, OtherNs = 0;
  std::vector<TraceEntry> Trace;
  /// With the trace: when each byte of Console / Console2 left its UART (see
  /// Uart16550::LeaveTimesNs; bytes that never leave have no time).
  std::vector<uint64_t> ConsoleLeftNs, Console2LeftNs;
  /// The call a [fault] table or a sweep made fail, if it came to pass.
  std::optional<FiredFault> Fault;
  /// The call a [fault] table asked to fail, and how many calls of that name the run made
  /// (fewer than Nth: the fault never came to pass).
  struct AskedFault {
    std::string Call;
    uint64_t Nth = 0;
    uint64_t CallsMade = 0;
  };
  std::optional<AskedFault> FaultAsked;
  /// How far below the entry point's caller the stack reached at the deepest hardware
  /// access the entry point made (host build: a cross-check of magnitude, not the
  /// firmware's figure).
  uint64_t EntryStackBytes = 0;
  VornView Vorn;
  /// Empty when the module never looked for its error level (it printed nothing).
  std::optional<ErrorLevelView> ErrorLevel;
};

/// The name of a status value ("EFI_SUCCESS", ...), or its hexadecimal value.
std::string StatusName(EFI_STATUS Status);
/// The status value of a name, if it is one.
std::optional<EFI_STATUS> StatusFromName(const std::string &Name);
/// Every status name StatusFromName knows, in the order of their values.
std::vector<std::string> StatusNames();

}  // namespace quarn::emu
