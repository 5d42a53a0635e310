/** @file
  Pool allocation from the PEI heap.
**/
extern "C" {
#include <PiPei.h>
#include <Library/BaseMemoryLib.h>
#include <Library/MemoryAllocationLib.h>
#include <Library/PeiServicesTablePointerLib.h>
}

extern "C" {

VOID *EFIAPI AllocateZeroPool(IN UINTN AllocationSize) {
  CONST EFI_PEI_SERVICES **PeiServices = GetPeiServicesTablePointer();
  VOID *Buffer = nullptr;
  const EFI_STATUS Status = (*PeiServices)->AllocatePool(PeiServices, AllocationSize, &Buffer);
  if (EFI_ERROR(Status) || Buffer == nullptr) {
    return nullptr;
  }
  ZeroMem(Buffer, AllocationSize);
  return Buffer;
}
}
