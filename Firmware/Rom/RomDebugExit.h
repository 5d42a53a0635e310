/** @file
  How the boot stub ends a QEMU run: one byte written to the isa-debug-exit device at
  port 0xF4. QEMU then exits with (byte << 1) | 1:

  | byte | QEMU exit status | meaning                                              |
  |------|------------------|------------------------------------------------------|
  | 0x10 | 33               | the entry point returned EFI_SUCCESS                 |
  | 0x11 | 35               | the entry point returned EFI_UNSUPPORTED             |
  | 0x12 | 37               | the entry point returned another status              |
  | 0x13 | 39               | a processor exception other than the breakpoint      |

  Any other exit (a timeout, QEMU's own 0 or 1) means the stub never got there.
**/
#pragma once

extern "C" {
#include <PiPei.h>
}

constexpr UINT16 kRomDebugExitPort = 0xF4;

constexpr UINT8 kRomExitSuccess = 0x10;
constexpr UINT8 kRomExitUnsupported = 0x11;
constexpr UINT8 kRomExitOtherStatus = 0x12;
constexpr UINT8 kRomExitException = 0x13;

/** The byte that reports Status. */
constexpr UINT8 RomExitCode(EFI_STATUS Status) {
  return Status == EFI_SUCCESS       ? kRomExitSuccess
         : Status == EFI_UNSUPPORTED ? kRomExitUnsupported
                                     : kRomExitOtherStatus;
}

/** The exit status QEMU gives for a byte written to the device. */
constexpr UINT32 RomQemuExitStatus(UINT8 Code) { return (UINT32(Code) << 1) | 1u; }

static_assert(RomQemuExitStatus(RomExitCode(EFI_SUCCESS)) == 33, "documented mapping");
static_assert(RomQemuExitStatus(RomExitCode(EFI_UNSUPPORTED)) == 35, "documented mapping");
static_assert(RomQemuExitStatus(RomExitCode(EFI_TIMEOUT)) == 37, "documented mapping");
static_assert(RomQemuExitStatus(kRomExitException) == 39, "documented mapping");
