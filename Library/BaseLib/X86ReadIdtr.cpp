/** @file
  The IDTR image.
**/
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>

extern "C" {

VOID AsmReadIdtr(OUT IA32_DESCRIPTOR *Idtr) {
  DebugCheck(Idtr != nullptr, "Library/BaseLib/X86ReadIdtr", __LINE__, "Idtr != ((void *) 0)");
  CpuSidt(Idtr);
}

}
