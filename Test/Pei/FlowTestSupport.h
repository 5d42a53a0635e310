// Helpers shared by the tests of the pre-memory flow: what a run printed, what happened
// between two snapshots, register reads counted in the trace, and a firmware type
// settled beforehand.
#pragma once

#include <gtest/gtest.h>

extern "C" {
#include <PiPei.h>
}
#include <Guid/VornTypeHob.h>
#include <Library/VornEwlLib.h>
#include <Register/VornRegs.h>

#include <cstring>
#include <string>

#include "Emulator/Emulator.h"

namespace quarn::test {

using quarn::emu::Emulator;
using quarn::emu::RunReport;

/// Everything the debug-message PPI received, line feeds as the module wrote them.
inline std::string Printed(const RunReport &R) {
  std::string Text;
  for (const std::string &Message : R.DebugPpi) Text += Message;
  std::string Plain;
  for (size_t I = 0; I < Text.size(); I++) {
    if (Text[I] == '\r' && I + 1 < Text.size() && Text[I + 1] == '\n') continue;
    Plain += Text[I];
  }
  return Plain;
}

/// Passes when the run printed Text.
inline ::testing::AssertionResult Prints(const RunReport &R, const std::string &Text) {
  const std::string All = Printed(R);
  if (All.find(Text) != std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "not printed: \"" << Text << "\"\n--- printed:\n" << All;
}

/// Passes when the run did not print Text.
inline ::testing::AssertionResult DoesNotPrint(const RunReport &R, const std::string &Text) {
  const std::string All = Printed(R);
  if (All.find(Text) == std::string::npos) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "printed: \"" << Text << "\"\n--- printed:\n" << All;
}

/// Passes when the run printed each of Texts, in this order.
inline ::testing::AssertionResult PrintsInOrder(const RunReport &R, const std::vector<std::string> &Texts) {
  const std::string All = Printed(R);
  size_t At = 0;
  for (const std::string &Text : Texts) {
    const size_t Found = All.find(Text, At);
    if (Found == std::string::npos) {
      return ::testing::AssertionFailure() << "not printed (in order): \"" << Text << "\"\n--- printed:\n" << All;
    }
    At = Found + Text.size();
  }
  return ::testing::AssertionSuccess();
}

template <typename T>
std::vector<T> Tail(const std::vector<T> &All, size_t From) {
  return From >= All.size() ? std::vector<T>{} : std::vector<T>(All.begin() + From, All.end());
}

/// What happened between two snapshots of the same emulator.
inline RunReport Delta(const RunReport &Before, const RunReport &After) {
  RunReport D = After;
  D.ElapsedNs = After.ElapsedNs - Before.ElapsedNs;
  D.Console = After.Console.substr(Before.Console.size());
  D.DebugPpi = Tail(After.DebugPpi, Before.DebugPpi.size());
  D.Asserts = Tail(After.Asserts, Before.Asserts.size());
  D.HaltCodes = Tail(After.HaltCodes, Before.HaltCodes.size());
  D.Messages = Tail(After.Messages, Before.Messages.size());
  D.StatusCodes = Tail(After.StatusCodes, Before.StatusCodes.size());
  D.Records = Tail(After.Records, Before.Records.size());
  D.Trace = Tail(After.Trace, Before.Trace.size());
  return D;
}

/// Reads of the 32-bit configuration register at Address (the trace must be on).
inline size_t ConfigReads(const RunReport &R, uint32_t Address) {
  size_t Count = 0;
  for (const auto &T : R.Trace) Count += (T.Kind == "mmio-read32" && T.Address == 0x80000000u + Address);
  return Count;
}

inline size_t Fs1Reads(const RunReport &R) { return ConfigReads(R, VORNFS1_ADDRESS); }

/// Timer waits (MicroSecondDelay calls) in the trace: each starts with a read of the ACPI
/// timer that neither a pause nor another timer read precedes.
inline size_t Delays(const RunReport &R) {
  constexpr uint64_t kTimerPort = 0x508;
  size_t Count = 0;
  for (size_t I = 0; I < R.Trace.size(); I++) {
    if (R.Trace[I].Kind != "io-read32" || R.Trace[I].Address != kTimerPort) continue;
    const bool AfterPause = I > 0 && R.Trace[I - 1].Kind.starts_with("pause");
    const bool AfterTimerRead = I > 0 && R.Trace[I - 1].Kind == "io-read32" && R.Trace[I - 1].Address == kTimerPort;
    Count += !AfterPause && !AfterTimerRead;
  }
  return Count;
}

/// VORNFS1 reads that reporting one state record costs in the board's present state.
inline size_t Fs1ReadsOfAStateRecord(Emulator &E) {
  const RunReport Before = E.Snapshot();
  VornEwlReportStateError();
  return Fs1Reads(Delta(Before, E.Snapshot()));
}

/// A VORN type HOB saying QUARN, as an earlier call would have left it.
inline void SeedQuarnTypeHob(Emulator &E) {
  auto *Hob = static_cast<VORN_TYPE_HOB *>(E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, sizeof(VORN_TYPE_HOB)));
  ASSERT_NE(Hob, nullptr);
  std::memcpy(&Hob->Header.Name, &gVornTypeHobGuid, sizeof(EFI_GUID));
  Hob->VornType = VORN_TYPE_QUARN;
  Hob->FwType = 1;
  Hob->FwSubType = 0;
}

}  // namespace quarn::test
