/** @file
  Where the current debug error level comes from.
**/
#ifndef __DEBUG_PRINT_ERROR_LEVEL_LIB_H__
#define __DEBUG_PRINT_ERROR_LEVEL_LIB_H__

/** Returns the current debug error level. */
UINT32
EFIAPI
GetDebugPrintErrorLevel (
  VOID
  );

#endif
