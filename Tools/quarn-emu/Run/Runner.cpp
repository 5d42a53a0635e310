#include "Runner.h"

extern "C" {
#include <PiPei.h>
}
#include <Guid/VornTypeHob.h>

#include <cstring>

#include "Emulator/Emulator.h"

namespace quarn::emu::cli {

namespace {

/// Leaves a VORN type HOB in the list as an earlier module would have.
bool PlaceVornTypeHob(PeiCore &Core, const PresetVornTypeHob &Preset) {
  void *Hob = Core.AppendHob(EFI_HOB_TYPE_GUID_EXTENSION, sizeof(VORN_TYPE_HOB));
  if (Hob == nullptr) return false;
  auto *Type = static_cast<VORN_TYPE_HOB *>(Hob);
  std::memcpy(&Type->Header.Name, &gVornTypeHobGuid, sizeof(EFI_GUID));
  Type->VornType = Preset.VornType;
  Type->FwType = Preset.FwType;
  Type->FwSubType = Preset.FwSubType;
  return true;
}

}  // namespace

void PrepareEmulator(Emulator &E, const LoadedScenario &Loaded) {
  if (Loaded.VornTypeHob && !PlaceVornTypeHob(E.Core(), *Loaded.VornTypeHob)) {
    throw ScenarioError(Loaded.Source, Loaded.VornTypeHob->Line, "pei.vorn_type_hob", "does not fit in pei.hob_space");
  }
}

RunReport RunScenario(const LoadedScenario &Loaded, bool Trace, std::vector<BreakEvent> *Breaks) {
  Scenario Settings = Loaded.Settings;
  Settings.Trace = Settings.Trace || Trace;
  Emulator E{Settings};
  PrepareEmulator(E, Loaded);
  if (Breaks != nullptr) WatchForBreaks(E.GetBoard(), *Breaks);
  if (Loaded.Fault) E.GetBoard().Faults().FailCall(Loaded.Fault->Call, Loaded.Fault->Nth);
  RunReport Report = E.Run();
  if (Loaded.Fault) {
    const FaultPlan &Plan = E.GetBoard().Faults();
    const auto Made = Plan.PerName().find(Loaded.Fault->Call);
    const uint64_t Calls = Loaded.Fault->Call == "*" ? Plan.Total() : Made == Plan.PerName().end() ? 0 : Made->second;
    Report.FaultAsked = RunReport::AskedFault{Loaded.Fault->Call, Loaded.Fault->Nth, Calls};
  }
  return Report;
}

}  // namespace quarn::emu::cli
