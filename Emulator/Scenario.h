// A scenario: everything that describes one emulated boot. quarn-emu loads it from a
// TOML file; tests build it directly. Defaults are a healthy board with QUARN firmware
// in the normal state and a normal boot.
#pragma once

extern "C" {
#include <PiPei.h>
}

#include "Emulator/Board/BoardLayout.h"
#include "Emulator/Memory/BoardMemory.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quarn::emu {

/// Register values that change at a virtual time after entry.
struct VornRegisterChange {
  uint64_t Ms = 0;
  std::optional<uint32_t> Fs1, Fs2, Fn1, Fn4, Fn6, DwrSts;
};

/// Scripts a misbehaving firmware or channel for one kind of message.
struct MessageOverride {
  std::optional<EFI_STATUS> Result;              // what SendWithAck returns
  std::optional<std::vector<uint8_t>> Response;  // replaces the model's response bytes
  std::optional<uint32_t> ResponseLength;        // the length SendWithAck reports
};

/// Power-on state of one UART (unprogrammed unless set).
struct UartPowerOn {
  uint16_t Divisor = 0;
  uint8_t Lcr = 0;
  uint8_t Fcr = 0;  // FIFO control as last written (bit 0: FIFOs enabled)
};

enum class MpServicesWhen { BeforeEntry, AfterMemory, Never };

struct Scenario {  // NOLINT(clang-analyzer-optin.performance.Padding): one a run, in the file's order
  std::string Name = "default";
  std::string Description;

  // [boot]
  EFI_BOOT_MODE BootMode = 0;
  EFI_STATUS GetBootModeStatus = EFI_SUCCESS;
  bool BootModeWrittenOnError = false;  // a failing GetBootMode still writes BootMode

  // [cpu]
  uint32_t CpuSignature = 0x00050654;
  unsigned Processors = 4;

  // [cmos]
  uint32_t CmosErrorLevel = 0x80000042;
  bool CmosValid = true;
  uint64_t Mm0 = 0;

  // [policy]
  bool PolicyInstalled = true;
  bool PolicyBlock = true;
  bool PreDidReset = false;
  bool SscAlternate = false;
  bool BiosUpdateWatchdog = false;
  /// A raw config block table handed out as the policy PPI instead of the built one.
  std::optional<std::vector<uint8_t>> PolicyTable;

  // [vorn]
  bool VornPresent = true;
  uint32_t Fs1 = 0x00000005;
  uint32_t Fs2 = 0;
  uint32_t Fn1 = 0, Fn4 = 0, Fn6 = 0;
  uint32_t DwrSts = 0;
  std::vector<VornRegisterChange> At;

  // [drux]
  bool DruxInstalled = true;
  bool DruxNullPpi = false;            // installed with a NULL interface pointer
  bool DruxNullSendWithAck = false;    // the PPI's SendWithAck entry is NULL
  bool DruxNullGetVornStatus = false;  // the PPI's GetVornStatus entry is NULL
  uint32_t VornStatus = 0;
  EFI_STATUS VornStatusResult = EFI_SUCCESS;
  uint8_t FwType = 1, FwSubType = 0;                  // [drux.type]
  uint32_t FeatureSet = 0x00000004, FeatureSet2 = 0;  // [drux.feature_set]
  uint8_t WatchdogStatus = 0;                         // [drux.watchdog]
  uint32_t CloxResponse = 0;                          // [drux.clock]
  bool PreDidResetAccept = true;                      // [drux.pre_did_reset]
  std::optional<uint64_t> CounterAfterMs = 20;
  std::optional<uint64_t> StateAfterMs = 100;
  uint8_t PreDidResetState = 5;
  MessageOverride TypeOverride, FeatureSetOverride, WatchdogOverride, ClockOverride, PreDidResetOverride;
  /// Answers for the SendWithAck calls in the order they come, whatever the message; a
  /// call past the end of the script gets the per-kind override or the model's answer.
  std::vector<MessageOverride> AnswerScript;

  // [memory]: where the board's RAM lies
  MemoryMap Memory;

  // [board]: where the board's devices answer (default: where the module was built to
  // find them)
  BoardLayout Layout;

  // [pei]
  bool DebugPrintPpi = true;
  bool StatusCodeHandler = true;
  EFI_STATUS StatusCodeResult = EFI_SUCCESS;
  uint32_t HobSpace = 65536;
  uint32_t PoolSpace = 8192;
  bool RoundHobLengths = true;  // false: the core keeps HOB lengths as asked (HOBs at any address)
  bool MemoryDiscovered = true;
  MpServicesWhen MpServices = MpServicesWhen::AfterMemory;

  // [uart], [superio], [chipset]: the console hardware at power-on
  UartPowerOn Uart1, Uart2;
  bool SuperIoUart1Active = false;  // logical device 3 active at power-on
  bool SuperIoUart2Active = false;  // logical device 2 active at power-on
  uint8_t HostBridgeFc = 0;         // byte at offset 0xFC of 00:00.0 (4: FIFO-reset mode)
  bool SidebandFunction = true;     // false: 00:1F.1 is absent and reads all ones

  // Limits of the run
  uint64_t TimeLimitMs = 120000;
  bool Trace = false;
};

}  // namespace quarn::emu
