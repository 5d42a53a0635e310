// quarn-emu run --break-on EVENT: stops the program when the module does something, so
// that a debugger shows the module's own frames at that moment.
//
// EVENT is KIND[:ARGUMENT][#N], N the occurrence to stop at (default 1):
//   message:NAME | message:CLIENT | message:CLIENT/NAME
//                        a request to the VORN through DRUX_PPI.SendWithAck, by the name
//                        the summary gives it (type, pre-did-reset, watchdog, feature-set,
//                        clock, unknown) and/or its client address (0x07)
//   io-read:PORT | io-write:PORT            an I/O access of any width at PORT
//   mmio-read:ADDRESS | mmio-write:ADDRESS  a memory-mapped access at ADDRESS
//   pci-read:B:D.F:OFFSET | pci-write:B:D.F:OFFSET
//                        a configuration access through the PCI Express window
//   console:TEXT         a line on the first UART that holds TEXT
//   record | record:VALUE                   a status code (an error-log record), any or of VALUE
//   call:NAME            a PEI service or PPI call (LocatePpi, InstallPpi,
//                        DRUX_PPI.GetVornStatus, DEBUG_PRINT_PPI.WriteMessage, ...)
//
// The stop is SIGTRAP, raised where the event happens: a debugger takes it there (quarn-emu
// debug starts one); where none does, a handler says so and the run ends with status 4.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Emulator/Board/Board.h"
#include "Emulator/Board/BoardLayout.h"

namespace quarn::emu::cli {

/// The exit status of a run stopped at a --break-on event that no debugger took.
constexpr int kExitBreakUntaken = 4;

enum class BreakKind : uint8_t {
  Message,
  IoRead,
  IoWrite,
  MmioRead,
  MmioWrite,
  PciRead,
  PciWrite,
  Console,
  Record,
  Call
};

struct BreakEvent {
  std::string Spec;  // as given
  BreakKind Kind = BreakKind::Call;
  std::string Text;        // message name, console text, call name
  bool HasNumber = false;  // message client, port, address, record value given
  uint64_t Number = 0;
  uint32_t PciAddress = 0;  // bus, device, function and offset in the window's layout
  uint64_t Nth = 1;
  uint64_t Seen = 0;  // occurrences so far
};

/// Reads one --break-on argument into Event; the error text when it is not one.
std::string ParseBreakEvent(const std::string &Spec, BreakEvent &Event);

/// TRUE when Entry is an occurrence of Event on a board laid out as Layout.
bool IsOccurrence(const BreakEvent &Event, const TraceEntry &Entry, const BoardLayout &Layout);

/// Installs the handler that ends the run when no debugger takes the stop.
void InstallUntakenBreakHandler();

/// Watches B for the events: at the Nth occurrence of one, Stop(Event, Entry) runs (by
/// default: a line on standard error, then SIGTRAP).
void WatchForBreaks(Board &B, std::vector<BreakEvent> &Events,
                    std::function<void(const BreakEvent &, const TraceEntry &)> Stop = {});

/// The default stop: names the event on standard error, then raises SIGTRAP.
void StopAtBreak(const BreakEvent &Event, const TraceEntry &Entry);

}  // namespace quarn::emu::cli
