/** @file
  Board settings a QEMU run may pass to the stub as fw_cfg files (-fw_cfg
  name=opt/quarn/NAME,string=VALUE). Without them the stub sets up the board the
  scenario qemu-q35 describes; with them the same ROM boots the other qemu-q35-*
  scenarios:

  | file                        | value                 | effect                                |
  |-----------------------------|-----------------------|---------------------------------------|
  | opt/quarn/cmos-error-level  | 32-bit number         | CMOS 0x7A..0x7D (default 0x80000042)  |
  | opt/quarn/cmos-0e           | 8-bit number          | written to CMOS 0x0E (bit 7: invalid) |
  | opt/quarn/mm0               | 64-bit number         | loaded into MM0 before the dispatch   |

  Numbers are decimal or 0x-prefixed hexadecimal. The test platform module of the OVMF
  boots reads a whole binary file the same way (RomFwCfgFile).
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

extern "C" {

/** Reads the fw_cfg file opt/quarn/<Name> as a number. FALSE when there is no fw_cfg
    device, no such file, or the text is not a number that fits 64 bits. */
BOOLEAN RomFwCfgNumber(IN CONST CHAR8 *Name, OUT UINT64 *Value);

/** Finds the fw_cfg file opt/quarn/<Name> and sets *Size to its length in bytes; with a
    Buffer, also reads the whole file into it. FALSE when there is no fw_cfg device or no
    such file, or when a Buffer is given and the file is longer than Capacity (nothing
    is read then; *Size still tells the length). */
BOOLEAN RomFwCfgFile(IN CONST CHAR8 *Name, OUT VOID *Buffer OPTIONAL, IN UINT32 Capacity, OUT UINT32 *Size);
}
