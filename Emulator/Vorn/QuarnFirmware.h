// The QUARN firmware behind DRUX_PPI: answers the module's messages as scripted by the
// scenario and records every exchange.
//
// Messages it knows (anything else is answered EFI_UNSUPPORTED with no response):
//   client 0x07  header group 0xF0 command 0x11  type query       -> header|IsResponse, type word (8 bytes)
//   client 0x07  header group 0x05 command 0x00  pre-DID reset    -> 0x00008005, zeros (12 bytes), or an echo
//   client 0x20  byte 0 = 0x01                   feature set      -> 0x81, 0, 0, FeatureSet, FeatureSet2 (11)
//   client 0x20  byte 0 = 0x05                   watchdog         -> 0x85, status (2 bytes)
//   client 0x08  CloxCommand (word 1) = 27       clock settings   -> the request, CloxCommand 27,
//                                                                    CloxResponse scripted (48 bytes)
// Each message kind may be overridden by the scenario (result, response bytes, reported
// length). The capacity given in *ResponseLength is honoured: a longer response is cut to
// it, and the reported length defaults to the bytes written. An error result writes
// nothing, neither response nor length.
//
// An accepted pre-DID reset (the model accepts and the result is not an error) restarts
// the VORN: CounterAfterMs after the request ResetCounter steps by one (mod 16) and
// CurrentState becomes 0; StateAfterMs after the request CurrentState becomes the
// scripted state. Each SendWithAck costs 1 ms of virtual time, GetVornStatus 10 us.
#pragma once

extern "C" {
#include <PiPei.h>
}
#include <Ppi/Drux.h>

#include <cstdint>
#include <optional>
#include <vector>

#include "Emulator/Report.h"
#include "Emulator/Scenario.h"
#include "VornDevice.h"

namespace quarn::emu {

class QuarnFirmware {
 public:
  static constexpr uint64_t kSendCostNs = 1 * kNsPerMs;
  static constexpr uint64_t kStatusCostNs = 10 * kNsPerUs;
  /// Requests longer than this are taken as a fault of the caller.
  static constexpr uint32_t kMaxRequestLength = 4096;

  /// Registers itself with the board (the PPI entries carry no context pointer).
  QuarnFirmware(Board &B, VornDevice &Vorn, const Scenario &S);
  ~QuarnFirmware();
  QuarnFirmware(const QuarnFirmware &) = delete;
  QuarnFirmware &operator=(const QuarnFirmware &) = delete;

  /// The PPI to install (its entries reach this model through the current board).
  DRUX_PPI *Ppi();
  const std::vector<MessageExchange> &Exchanges() const;
  /// Number of GetVornStatus calls answered.
  unsigned StatusQueries() const { return StatusQueries_; }
  /// Virtual time (ns) of the last pre-DID reset the model started, if any.
  std::optional<uint64_t> LastResetNs() const { return LastResetNs_; }

  /// The model's handling of one SendWithAck (what the PPI entry forwards to).
  EFI_STATUS SendWithAck(uint32_t DeviceIndex, void *Buffer, uint32_t RequestLength, uint32_t *ResponseLength,
                         uint8_t HostAddress, uint8_t ClientAddress);
  /// The model's handling of GetVornStatus.
  EFI_STATUS GetVornStatus(uint32_t *Status);

 private:
  struct Answer {
    EFI_STATUS Result = EFI_SUCCESS;
    std::vector<uint8_t> Response;
    std::optional<uint32_t> ReportedLength;  // scripted; default: the bytes written
  };

  static QuarnFirmware *Current();
  static EFI_STATUS EFIAPI PpiSendWithAck(UINT32 DeviceIndex, VOID *Buffer, UINT32 RequestLength,
                                          UINT32 *ResponseLength, UINT8 HostAddress, UINT8 ClientAddress);
  static EFI_STATUS EFIAPI PpiReadMessage(UINT32 DeviceIndex, UINT32 Blocking, VOID *Buffer, UINT32 *Length);
  static EFI_STATUS EFIAPI PpiSendMessage(UINT32 DeviceIndex, VOID *Buffer, UINT32 Length, UINT8 HostAddress,
                                          UINT8 ClientAddress);
  static EFI_STATUS EFIAPI PpiResetInterface(UINT32 DeviceIndex);
  static EFI_STATUS EFIAPI PpiInitializeInterface(UINT32 DeviceIndex);
  static EFI_STATUS EFIAPI PpiGetVornStatus(UINT32 *Status);

  /// The kind of a request ("type", "pre-did-reset", ..., "unknown").
  static const char *Classify(uint8_t Client, const std::vector<uint8_t> &Request);
  /// The model's own answer to a request of Kind (before overrides).
  Answer Model(const std::string &Kind, const std::vector<uint8_t> &Request) const;
  const MessageOverride *OverrideFor(const std::string &Kind) const;
  void StartPreDidReset(uint64_t RequestNs);

  Board &Board_;
  VornDevice &Vorn_;
  Scenario Scenario_;
  DRUX_PPI Ppi_{};
  std::vector<MessageExchange> Exchanges_;
  unsigned StatusQueries_ = 0;
  std::optional<uint64_t> LastResetNs_;
};

}  // namespace quarn::emu
