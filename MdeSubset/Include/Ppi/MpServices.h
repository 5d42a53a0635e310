/** @file
  Multi-processor services of the PEI phase.
**/
#ifndef __PEI_MP_SERVICES_PPI_H__
#define __PEI_MP_SERVICES_PPI_H__

#include <Protocol/MpService.h>

typedef struct _EFI_PEI_MP_SERVICES_PPI EFI_PEI_MP_SERVICES_PPI;

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_MP_SERVICES_GET_NUMBER_OF_PROCESSORS)(
  IN  CONST EFI_PEI_SERVICES  **PeiServices,
  IN  EFI_PEI_MP_SERVICES_PPI *This,
  OUT UINTN                   *NumberOfProcessors,
  OUT UINTN                   *NumberOfEnabledProcessors
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_MP_SERVICES_GET_PROCESSOR_INFO)(
  IN  CONST EFI_PEI_SERVICES   **PeiServices,
  IN  EFI_PEI_MP_SERVICES_PPI  *This,
  IN  UINTN                    ProcessorNumber,
  OUT EFI_PROCESSOR_INFORMATION *ProcessorInfoBuffer
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_MP_SERVICES_STARTUP_ALL_APS)(
  IN  CONST EFI_PEI_SERVICES  **PeiServices,
  IN  EFI_PEI_MP_SERVICES_PPI *This,
  IN  EFI_AP_PROCEDURE        Procedure,
  IN  BOOLEAN                 SingleThread,
  IN  UINTN                   TimeoutInMicroSeconds,
  IN  VOID                    *ProcedureArgument OPTIONAL
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_MP_SERVICES_STARTUP_THIS_AP)(
  IN  CONST EFI_PEI_SERVICES  **PeiServices,
  IN  EFI_PEI_MP_SERVICES_PPI *This,
  IN  EFI_AP_PROCEDURE        Procedure,
  IN  UINTN                   ProcessorNumber,
  IN  UINTN                   TimeoutInMicroseconds,
  IN  VOID                    *ProcedureArgument OPTIONAL
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_MP_SERVICES_SWITCH_BSP)(
  IN  CONST EFI_PEI_SERVICES  **PeiServices,
  IN  EFI_PEI_MP_SERVICES_PPI *This,
  IN  UINTN                   ProcessorNumber,
  IN  BOOLEAN                 EnableOldBSP
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_MP_SERVICES_ENABLEDISABLEAP)(
  IN  CONST EFI_PEI_SERVICES  **PeiServices,
  IN  EFI_PEI_MP_SERVICES_PPI *This,
  IN  UINTN                   ProcessorNumber,
  IN  BOOLEAN                 EnableAP,
  IN  UINT32                  *HealthFlag OPTIONAL
  );

typedef
EFI_STATUS
(EFIAPI *EFI_PEI_MP_SERVICES_WHOAMI)(
  IN  CONST EFI_PEI_SERVICES  **PeiServices,
  IN  EFI_PEI_MP_SERVICES_PPI *This,
  OUT UINTN                   *ProcessorNumber
  );

struct _EFI_PEI_MP_SERVICES_PPI {
  EFI_PEI_MP_SERVICES_GET_NUMBER_OF_PROCESSORS  GetNumberOfProcessors;
  EFI_PEI_MP_SERVICES_GET_PROCESSOR_INFO        GetProcessorInfo;
  EFI_PEI_MP_SERVICES_STARTUP_ALL_APS           StartupAllAPs;
  EFI_PEI_MP_SERVICES_STARTUP_THIS_AP           StartupThisAP;
  EFI_PEI_MP_SERVICES_SWITCH_BSP                SwitchBSP;
  EFI_PEI_MP_SERVICES_ENABLEDISABLEAP           EnableDisableAP;
  EFI_PEI_MP_SERVICES_WHOAMI                    WhoAmI;
};
STATIC_ASSERT (OFFSET_OF (EFI_PEI_MP_SERVICES_PPI, StartupAllAPs) == 8, "StartupAllAPs is the third member");
STATIC_ASSERT (sizeof (EFI_PEI_MP_SERVICES_PPI) == 28, "seven services");

extern EFI_GUID  gEfiPeiMpServicesPpiGuid;

#endif
