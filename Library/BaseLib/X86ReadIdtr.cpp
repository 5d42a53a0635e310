/** @file
  The IDTR image.
**/
extern "C" {
#include <Base.h>
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
}
#include <Library/CpuIntrinsicsLib.h>

extern "C" {

VOID EFIAPI AsmReadIdtr(OUT IA32_DESCRIPTOR *Idtr) {
  ASSERT (Idtr != NULL);
  CpuSidt(Idtr);
}
}
