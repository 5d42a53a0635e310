/** @file
  The module's own file name, reported as the caller of its status codes.
**/
#pragma once

#include <Base.h>

inline constexpr EFI_GUID gEfiCallerIdGuid =
  {0x1B9F4C72, 0x6E05, 0x4A3D, {0x8C, 0x91, 0xF4, 0x26, 0x3B, 0x7A, 0x0E, 0x58}};

/// The module's base name, as assertion lines show it.
inline constexpr CHAR8 gEfiCallerBaseName[] = "QuarnPeiPreMem";
