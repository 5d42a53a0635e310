// Helpers for the console suites: a board whose UARTs are ready (so that assertion
// lines reach the console), and the I/O accesses of the trace as compact records.
#pragma once

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include "Emulator/Devices/Uart16550.h"
#include "Emulator/Emulator.h"

namespace quarn::test {

/// Both UARTs as an earlier stage leaves them: divisor 1, 8N1, FIFOs enabled.
inline emu::Scenario ConsoleReady(emu::Scenario S = {}) {
  S.Uart1 = {1, 0x03, 0x01};
  S.Uart2 = {1, 0x03, 0x01};
  return S;
}

/// One port access: "w 3F8=41", "r 3FD", "w32 CF8=8000F910", ...
struct PortAccess {
  bool Write = false;
  unsigned Width = 1;
  uint16_t Port = 0;
  uint32_t Value = 0;
  bool operator==(const PortAccess &) const = default;
};

inline std::ostream &operator<<(std::ostream &Out, const PortAccess &A) {
  char Text[40];
  std::snprintf(Text, sizeof Text, "%s%s %X=%X", A.Write ? "w" : "r", A.Width == 4 ? "32" : "", A.Port, A.Value);
  return Out << Text;
}

inline PortAccess W(uint16_t Port, uint32_t Value) { return {true, 1, Port, Value}; }
inline PortAccess R(uint16_t Port, uint32_t Value) { return {false, 1, Port, Value}; }

/// The port accesses of the trace whose port lies in [First, Last], in order.
inline std::vector<PortAccess> PortAccesses(const emu::Board &B, uint16_t First, uint16_t Last) {
  std::vector<PortAccess> Accesses;
  for (const emu::TraceEntry &E : B.Trace()) {
    const bool Io8 = E.Kind == "io-read8" || E.Kind == "io-write8";
    const bool Io32 = E.Kind == "io-read32" || E.Kind == "io-write32";
    if ((!Io8 && !Io32) || E.Address < First || E.Address > Last) continue;
    Accesses.push_back(
        {E.Kind.find("write") != std::string::npos, Io32 ? 4u : 1u, uint16_t(E.Address), uint32_t(E.Value)});
  }
  return Accesses;
}

/// The trace entries of the given kind, in order.
inline std::vector<emu::TraceEntry> TraceOf(const emu::Board &B, const std::string &Kind) {
  std::vector<emu::TraceEntry> Entries;
  for (const emu::TraceEntry &E : B.Trace()) {
    if (E.Kind == Kind) Entries.push_back(E);
  }
  return Entries;
}

}  // namespace quarn::test
