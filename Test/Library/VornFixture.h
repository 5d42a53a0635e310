// An emulated board for the VORN client suites: the module's procedures are called
// directly, the firmware model answers them, and what they printed is read back from
// the debug-message PPI (which receives every message whatever the serial level).
#pragma once

extern "C" {
#include <PiPei.h>
}
#include <Guid/VornTypeHob.h>
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/SerialPortLib.h>
}

#include <cstring>
#include <string>
#include <vector>

#include "Emulator/Emulator.h"
#include "Emulator/PeiCore/HobWalk.h"
#include "Emulator/Vorn/QuarnFirmware.h"
#include "Emulator/Vorn/VornDevice.h"

namespace quarn::test {

/// Response bytes from a list of 32-bit words, little-endian.
inline std::vector<uint8_t> Words(std::initializer_list<uint32_t> Values) {
  std::vector<uint8_t> Bytes;
  for (uint32_t V : Values) {
    for (int I = 0; I < 4; I++) Bytes.push_back(uint8_t(V >> (8 * I)));
  }
  return Bytes;
}

/// The ways DRUX_PPI can be unusable: not there, or there but not callable.
enum class UnusableDrux { NotInstalled, NullPpi, NullSendWithAck, NullGetVornStatus };

inline const char *Describe(UnusableDrux How) {
  switch (How) {
    case UnusableDrux::NotInstalled: return "not installed";
    case UnusableDrux::NullPpi: return "NULL PPI";
    case UnusableDrux::NullSendWithAck: return "NULL SendWithAck";
    case UnusableDrux::NullGetVornStatus: return "NULL GetVornStatus";
  }
  return "?";
}

/// S with DRUX_PPI made unusable the way How says.
inline emu::Scenario WithUnusableDrux(UnusableDrux How, emu::Scenario S = {}) {
  S.DruxInstalled = How != UnusableDrux::NotInstalled;
  S.DruxNullPpi = How == UnusableDrux::NullPpi;
  S.DruxNullSendWithAck = How == UnusableDrux::NullSendWithAck;
  S.DruxNullGetVornStatus = How == UnusableDrux::NullGetVornStatus;
  return S;
}

class VornBoard {
 public:
  explicit VornBoard(emu::Scenario S = {}) : E(std::move(S)) { E.Activate(); }

  /// Everything printed so far, as one text (line ends as "\n": the CR the formatter
  /// puts before each LF is dropped).
  std::string Printed() {
    std::string Text;
    for (const std::string &M : Messages()) Text += M;
    return Text;
  }
  /// What was printed since the last call of Mark().
  std::string PrintedSinceMark() { return Printed().substr(Mark_); }
  void Mark() { Mark_ = Printed().size(); }
  /// Sets the UARTs up as the module's first constructor does, so that messages of the
  /// current level and assertion lines reach the console.
  void StartConsole() { SerialPortInitialize(); }
  /// What the first UART received, line ends as "\n".
  std::string Console() {
    std::string Text = E.Snapshot().Console;
    std::erase(Text, '\r');
    return Text;
  }
  /// The separate messages, in order, line ends as "\n".
  std::vector<std::string> Messages() {
    std::vector<std::string> Result = E.Snapshot().DebugPpi;
    for (std::string &M : Result) std::erase(M, '\r');
    return Result;
  }

  const std::vector<emu::MessageExchange> &Exchanges() { return E.Firmware().Exchanges(); }
  size_t ExchangeCount(const std::string &Kind) {
    size_t Count = 0;
    for (const auto &X : Exchanges()) Count += X.Kind == Kind;
    return Count;
  }

  /// Every GUID HOB named gVornTypeHobGuid, in list order (well-formed or not).
  std::vector<EFI_HOB_GUID_TYPE *> TypeHobs() { return emu::FindGuidHobs(E.Core(), gVornTypeHobGuid); }
  /// The first type HOB whose length holds the whole record, or nullptr.
  VORN_TYPE_HOB *TypeHob() {
    for (EFI_HOB_GUID_TYPE *Hob : TypeHobs()) {
      if (Hob->Header.HobLength >= sizeof(VORN_TYPE_HOB)) return reinterpret_cast<VORN_TYPE_HOB *>(Hob);
    }
    return nullptr;
  }
  /// Appends a type HOB as an earlier phase would have left it.
  VORN_TYPE_HOB *PlantTypeHob(uint32_t Type, uint8_t FwType = 1, uint8_t FwSubType = 0) {
    auto *Hob = static_cast<VORN_TYPE_HOB *>(E.Core().AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, sizeof(VORN_TYPE_HOB)));
    std::memcpy(&Hob->Header.Name, &gVornTypeHobGuid, sizeof(EFI_GUID));
    Hob->VornType = Type;
    Hob->FwType = FwType;
    Hob->FwSubType = FwSubType;
    return Hob;
  }

  void SetFs1(uint32_t Value) { E.Vorn().Write(emu::VornDevice::Register::Fs1, Value); }
  unsigned Breakpoints() { return E.GetBoard().Processors()[0].Breakpoints; }

  emu::Emulator E;

 private:
  size_t Mark_ = 0;
};

}  // namespace quarn::test
