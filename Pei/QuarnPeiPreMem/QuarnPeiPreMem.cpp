/** @file
  Module entry (placeholder until the flow lands).
**/
#include "QuarnPeiPreMem.h"

extern "C" {

EFI_STATUS EFIAPI QuarnPeiPreMemEntryPoint(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices) {
  return EFI_SUCCESS;
}

}
