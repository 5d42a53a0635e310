/** @file
  The image entry of a PEI module in our own builds: the library constructors in the
  order the build computed, then the module's entry point. (EDK II's build links the
  framework's instance of this class instead; the CMake builds generate the two lists
  from the package files, cmake/autogen.py.)
**/
extern "C" {
#include <PiPei.h>
#include <Library/PeimEntryPoint.h>
}

extern "C" {

/**
  Called once by the PEI core.
  @param FileHandle   The module's file.
  @param PeiServices  The PEI services.
  @return What the module's entry point returns.
**/
EFI_STATUS EFIAPI _ModuleEntryPoint(IN EFI_PEI_FILE_HANDLE FileHandle, IN CONST EFI_PEI_SERVICES **PeiServices) {
  ProcessLibraryConstructorList(FileHandle, PeiServices);
  return ProcessModuleEntryPointList(FileHandle, PeiServices);
}
}
