#include "MpServices.h"

#include <string>

namespace quarn::emu {

MpServices::MpServices(Board &B, PeiCore &Core) : Board_(B), Core_(Core) {
  Block_.Ppi.GetNumberOfProcessors = GetNumberOfProcessors;
  Block_.Ppi.StartupAllAPs = StartupAllAPs;
  Block_.Ppi.WhoAmI = WhoAmI;
  Block_.Owner = this;
}

EFI_PEI_MP_SERVICES_PPI *MpServices::Ppi() { return &Block_.Ppi; }

EFI_STATUS MpServices::Install() { return Core_.InstallPpi(gEfiPeiMpServicesPpiGuid, &Block_.Ppi); }

EFI_STATUS EFIAPI MpServices::StartupAllAPs(CONST EFI_PEI_SERVICES **, EFI_PEI_MP_SERVICES_PPI *This,
                                            EFI_AP_PROCEDURE Procedure, BOOLEAN SingleThread,
                                            UINTN TimeoutInMicroSeconds, VOID *ProcedureArgument) {
  MpServices &Self = *reinterpret_cast<Block *>(This)->Owner;
  StartupAllApsCall Call;
  Call.Procedure = Procedure;
  Call.SingleThread = SingleThread != FALSE;
  Call.TimeoutInMicroSeconds = static_cast<uint32_t>(TimeoutInMicroSeconds);
  Call.Argument = ProcedureArgument;
  Self.Calls_.push_back(Call);
  Self.Board_.TraceEvent("call", "StartupAllAPs");
  if (Procedure == nullptr) return EFI_INVALID_PARAMETER;
  // Only the boot processor may start the APs.
  if (Self.Board_.CurrentProcessorIndex() != kBootProcessor) return EFI_DEVICE_ERROR;
  if (Self.Board_.FailsNow("StartupAllAPs", EFI_DEVICE_ERROR)) return EFI_DEVICE_ERROR;
  const size_t Count = Self.Board_.Processors().size();
  if (Count < 2) return EFI_NOT_STARTED;

  // Whatever a procedure does (the emulator may stop the run inside it), the boot
  // processor is the selected one again afterwards.
  struct SelectBootProcessorAfter {
    Board &B;
    ~SelectBootProcessorAfter() { B.SelectProcessor(kBootProcessor); }
  } Restore{Self.Board_};
  for (size_t Ap = 1; Ap < Count; Ap++) {
    Self.Board_.SelectProcessor(Ap);
    Self.Board_.TraceEvent("ap", "procedure on processor " + std::to_string(Ap));
    Procedure(ProcedureArgument);
  }
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MpServices::GetNumberOfProcessors(CONST EFI_PEI_SERVICES **, EFI_PEI_MP_SERVICES_PPI *This,
                                                    UINTN *NumberOfProcessors, UINTN *NumberOfEnabledProcessors) {
  MpServices &Self = *reinterpret_cast<Block *>(This)->Owner;
  if (NumberOfProcessors) *NumberOfProcessors = Self.Board_.Processors().size();
  if (NumberOfEnabledProcessors) *NumberOfEnabledProcessors = Self.Board_.Processors().size();
  return EFI_SUCCESS;
}

EFI_STATUS EFIAPI MpServices::WhoAmI(CONST EFI_PEI_SERVICES **, EFI_PEI_MP_SERVICES_PPI *This, UINTN *ProcessorNumber) {
  MpServices &Self = *reinterpret_cast<Block *>(This)->Owner;
  if (ProcessorNumber) *ProcessorNumber = Self.Board_.CurrentProcessorIndex();
  return EFI_SUCCESS;
}

}  // namespace quarn::emu
