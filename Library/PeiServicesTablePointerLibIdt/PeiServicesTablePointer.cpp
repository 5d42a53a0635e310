/** @file
  The PEI core keeps the pointer to the PEI Services table pointer in the 32-bit word
  just below the IDT base. Nothing is cached: every call reads the IDTR again.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/PeiServicesTablePointerLib.h>
}

extern "C" {

CONST EFI_PEI_SERVICES **EFIAPI GetPeiServicesTablePointer(VOID) {
  IA32_DESCRIPTOR Idtr;
  AsmReadIdtr(&Idtr);
  const UINTN WordAddress = static_cast<UINTN>(Idtr.Base) - sizeof(UINT32);
  auto *PeiServices =
      reinterpret_cast<CONST EFI_PEI_SERVICES **>(ReadUnaligned32(reinterpret_cast<const UINT32 *>(WordAddress)));
  ASSERT (PeiServices != NULL);
  return PeiServices;
}
}
