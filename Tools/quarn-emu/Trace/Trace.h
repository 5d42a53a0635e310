// The trace as a person reads it: a header naming the columns, entries chosen by kind,
// address range and time window, and the console interleaved where each byte left its
// UART.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "Emulator/Report.h"

namespace quarn::emu::cli {

/// Which trace entries are shown. Every part left unset lets every entry through.
struct TraceFilter {
  std::vector<std::string> Kinds;  // kinds and groups of kinds (TraceKindNames); empty: all
  bool HasRange = false;           // only entries with an address in [Low, High]
  uint64_t Low = 0, High = 0;
  bool HasWindow = false;  // only entries at a virtual time in [FromNs, ToNs]
  uint64_t FromNs = 0, ToNs = 0;

  /// TRUE when anything is filtered at all.
  bool Any() const { return !Kinds.empty() || HasRange || HasWindow; }
  /// TRUE when an entry of this kind, address and time is shown on a board of this
  /// layout (the group pci takes its PCI Express window).
  bool Shows(const std::string &Kind, uint64_t Address, uint64_t TimeNs, const BoardLayout &Layout) const;
  /// "kind io,call; address 0x3F8-0x3FF; time 0-5 ms", "" without a filter.
  std::string Describe() const;
};

/// Every name --trace-kind takes: the groups (io, mmio, pci, mm), then each kind.
std::vector<std::string> TraceKindNames();

/// --trace-kind: each argument one name or several separated by commas. Adds them to
/// Filter; returns the error message ("" when every name is known).
std::string ParseTraceKinds(const std::vector<std::string> &Arguments, TraceFilter &Filter);
/// --trace-address: LO-HI or LO+LEN, each number hex (0x...) or decimal. Sets the range
/// of Filter; returns the error message ("" when it is usable).
std::string ParseTraceRange(const std::string &Text, TraceFilter &Filter);
/// --trace-time: FROM-TO in virtual milliseconds (decimals to the nanosecond). Sets the
/// window of Filter; returns the error message ("" when it is usable).
std::string ParseTraceWindow(const std::string &Text, TraceFilter &Filter);

/// The entries of the report's trace that Filter shows, in order.
std::vector<TraceEntry> FilterTrace(const RunReport &Report, const TraceFilter &Filter);

/// The trace as text: a line with the count and the filter, a line naming the columns,
/// then one line per entry (time, kind, address, value, device), with the bytes each
/// UART sent gathered into lines of kind console (console2 for the second UART) at the
/// time they left it.
void WriteTrace(std::ostream &Out, const RunReport &Report, const TraceFilter &Filter = {});

}  // namespace quarn::emu::cli
