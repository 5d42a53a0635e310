/** @file
  The test platform module of the OVMF boots: its file name, and the fw_cfg settings a
  run passes to it (-fw_cfg name=opt/quarn/NAME,string=VALUE):

  | file                       | value        | effect                                         |
  |----------------------------|--------------|------------------------------------------------|
  | opt/quarn/vorn             | 0 or 1       | 1: a VORN with QUARN firmware at 00:18.x (RAM at 0x80000000 needed) |
  | opt/quarn/cmos-error-level | 32-bit       | CMOS 0x7A..0x7D (default 0x80000042)           |
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

inline constexpr EFI_GUID gQuarnOvmfBoardFileGuid =
  {0x5E0C7A93, 0x2B41, 0x4D8F, {0xA6, 0x1D, 0x93, 0x70, 0xC2, 0x4E, 0x15, 0xB8}};
