/** @file
  Placeholder debug library: assertion halt code and breakpoint only.
**/
#include <Library/BaseLib.h>
#include <Library/DebugLib.h>
#include <Library/IoLib.h>

extern "C" {

VOID EFIAPI DebugPrint(IN UINTN ErrorLevel, IN CONST CHAR8 *Format, ...) {}

VOID EFIAPI DebugAssert(IN CONST CHAR8 *FileName, IN UINTN LineNumber, IN CONST CHAR8 *Description) {
  IoWrite8(0xCB0, 0xD2);
  CpuBreakpoint();
}

UINT32 EFIAPI GetDebugPrintErrorLevel(VOID) { return 0; }

}
