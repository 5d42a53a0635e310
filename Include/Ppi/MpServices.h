/** @file
  Multi-processor services of the PEI phase. The module calls StartupAllAPs only.
**/
#pragma once

#include <Pi/PiMultiPhase.h>
#include <Pi/PiPeiCis.h>

inline constexpr EFI_GUID gEfiPeiMpServicesPpiGuid =
  {0xEE16160A, 0xE8BE, 0x47A6, {0x82, 0x0A, 0xC6, 0x90, 0x0D, 0xB0, 0x25, 0x0A}};

typedef struct EFI_PEI_MP_SERVICES_PPI EFI_PEI_MP_SERVICES_PPI;

typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_GET_NUMBER_OF_PROCESSORS)(
  IN CONST EFI_PEI_SERVICES **PeiServices,
  IN EFI_PEI_MP_SERVICES_PPI *This,
  OUT UINTN                  *NumberOfProcessors,
  OUT UINTN                  *NumberOfEnabledProcessors);

typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_STARTUP_ALL_APS)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN EFI_PEI_MP_SERVICES_PPI *This,
  IN EFI_AP_PROCEDURE        Procedure,
  IN BOOLEAN                 SingleThread,
  IN UINTN                   TimeoutInMicroSeconds,
  IN VOID                    *ProcedureArgument OPTIONAL);

typedef EFI_STATUS (EFIAPI *EFI_PEI_MP_SERVICES_WHOAMI)(
  IN CONST EFI_PEI_SERVICES  **PeiServices,
  IN EFI_PEI_MP_SERVICES_PPI *This,
  OUT UINTN                  *ProcessorNumber);

struct EFI_PEI_MP_SERVICES_PPI {
  EFI_PEI_MP_SERVICES_GET_NUMBER_OF_PROCESSORS GetNumberOfProcessors;
  VOID                                         *GetProcessorInfo;
  EFI_PEI_MP_SERVICES_STARTUP_ALL_APS          StartupAllAPs;
  VOID                                         *StartupThisAP;
  VOID                                         *SwitchBSP;
  VOID                                         *EnableDisableAP;
  EFI_PEI_MP_SERVICES_WHOAMI                   WhoAmI;
};
static_assert(offsetof(EFI_PEI_MP_SERVICES_PPI, StartupAllAPs) == 8, "StartupAllAPs is the third member");
static_assert(sizeof(EFI_PEI_MP_SERVICES_PPI) == 28, "seven services");
