/** @file
  Anchors the image: its entry comes from the module library (the PEI entry-point
  class: the library constructors, then the module's entry point).
**/
extern "C" {
#include <PiPei.h>
#include <Library/PeimEntryPoint.h>
}

/// The image's entry, kept by the linker.
extern "C" const EFI_PEIM_ENTRY_POINT2 gQuarnImageEntry = _ModuleEntryPoint;
