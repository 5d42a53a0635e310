/** @file
  The test platform module of the OVMF boots: its file name (its state HOB carries the
  same GUID), and what a run passes to it through fw_cfg:

  | file               | content                                                        |
  |--------------------|----------------------------------------------------------------|
  | opt/quarn/board    | the board description (OvmfBoardDescription.h), written by     |
  |                    | Firmware/Ovmf/ovmf-board.py from quarn-emu's run of a scenario  |

  (-fw_cfg name=opt/quarn/board,file=PATH.) Without it, or with one it cannot use, the
  module says so in a "board: error:" line and sets nothing up.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

inline constexpr EFI_GUID gQuarnOvmfBoardFileGuid = {
    0x5E0C7A93, 0x2B41, 0x4D8F, {0xA6, 0x1D, 0x93, 0x70, 0xC2, 0x4E, 0x15, 0xB8}};
