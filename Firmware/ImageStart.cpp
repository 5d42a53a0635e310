/** @file
  Anchors the image: the entry point comes from the module library.
**/
#include <Pei/QuarnPeiPreMem/QuarnPeiPreMem.h>

/// The image's entry, kept by the linker.
extern "C" const EFI_PEIM_ENTRY_POINT2 gQuarnImageEntry = QuarnPeiPreMemEntryPoint;
