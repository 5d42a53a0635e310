// The PI MP services PPI of the emulated board: StartupAllAPs runs the procedure on
// each application processor in turn, with that processor's own registers selected,
// then selects the boot processor again. It answers EFI_DEVICE_ERROR when called from
// an AP and EFI_NOT_STARTED on a board without APs. Every call is recorded with its
// arguments, so tests can hold the caller to the ones it must pass.
#pragma once

extern "C" {
#include <PiPei.h>
#include <Ppi/MpServices.h>
}

#include <vector>

#include "PeiCore.h"

namespace quarn::emu {

/// One StartupAllAPs call as the caller made it.
struct StartupAllApsCall {
  EFI_AP_PROCEDURE Procedure = nullptr;
  bool SingleThread = false;
  uint32_t TimeoutInMicroSeconds = 0;
  VOID *Argument = nullptr;  // the procedure's argument (its size is the caller's business)
};

class MpServices {
 public:
  MpServices(Board &B, PeiCore &Core);
  EFI_PEI_MP_SERVICES_PPI *Ppi();
  /// Installs the PPI through the PEI core (runs the notifications waiting for it).
  EFI_STATUS Install();
  unsigned StartupAllApsCalls() const { return static_cast<unsigned>(Calls_.size()); }
  /// Every StartupAllAPs call, in order, with its arguments.
  const std::vector<StartupAllApsCall> &Calls() const { return Calls_; }

 private:
  static constexpr size_t kBootProcessor = 0;
  static EFI_STATUS EFIAPI StartupAllAPs(CONST EFI_PEI_SERVICES **PeiServices, EFI_PEI_MP_SERVICES_PPI *This,
                                         EFI_AP_PROCEDURE Procedure, BOOLEAN SingleThread, UINTN TimeoutInMicroSeconds,
                                         VOID *ProcedureArgument);
  static EFI_STATUS EFIAPI GetNumberOfProcessors(CONST EFI_PEI_SERVICES **PeiServices, EFI_PEI_MP_SERVICES_PPI *This,
                                                 UINTN *NumberOfProcessors, UINTN *NumberOfEnabledProcessors);
  static EFI_STATUS EFIAPI WhoAmI(CONST EFI_PEI_SERVICES **PeiServices, EFI_PEI_MP_SERVICES_PPI *This,
                                  UINTN *ProcessorNumber);

  struct Block {
    EFI_PEI_MP_SERVICES_PPI Ppi;
    MpServices *Owner;
  };
  Board &Board_;
  PeiCore &Core_;
  Block Block_{};
  std::vector<StartupAllApsCall> Calls_;
};

}  // namespace quarn::emu
