/** @file
  DEBUG_PRINT_PPI: a sink for formatted debug messages installed by another module.
  Only WriteMessage is used: it receives the NUL-terminated message and its length
  (characters, the NUL not counted).
**/
#pragma once

#include <Base.h>

inline constexpr EFI_GUID gDebugPrintPpiGuid =
  {0x2C6A0D19, 0x8E44, 0x4B5F, {0xA1, 0x07, 0x3D, 0xF2, 0x69, 0x0B, 0xC8, 0x54}};

typedef VOID (EFIAPI *DEBUG_PRINT_WRITE_MESSAGE)(IN CONST CHAR8 *Message, IN UINTN Length);

typedef struct {
  DEBUG_PRINT_WRITE_MESSAGE WriteMessage;
} DEBUG_PRINT_PPI;
