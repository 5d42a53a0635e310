#!/usr/bin/env bash
# The module debugged where it runs under a PEI core we did not write: OVMF boots the
# default scenario's board paused under QEMU's gdb stub, gdb loads the module's symbols at
# the base the volume executes it at and stops at QuarnPreDidReset; the backtrace names
# it and the entry point with their source lines. (make ovmf runs it.)
#   OvmfDebugSession.sh [FIRMWARE_BUILD_DIR]
# Exit status 77 (skipped) where gdb is not installed.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
command -v gdb >/dev/null || { echo "ovmf debug session: SKIP: gdb not found (Debian package gdb)"; exit 77; }
out=$(FIRMWARE_BUILD_DIR=${1:-$root/build/firmware} "$root/Firmware/qemu-gdb.sh" ovmf default QuarnPreDidReset --batch 2>&1)
status=$?
fail=0
grep -qE "^qemu-gdb: OVMF boots default; the module executes at 0x[0-9a-f]{8} " <<<"$out" || { echo "FAIL: no module base"; fail=1; }
grep -qE "^#0 +(0x[0-9a-f]+ in )?QuarnPreDidReset \(\) at .*/Pei/QuarnPeiPreMem/PreDidReset\.cpp:[0-9]+$" <<<"$out" ||
  { echo "FAIL: not stopped in QuarnPreDidReset with its source line"; fail=1; }
grep -qE "^#[0-9]+ +(0x[0-9a-f]+ in )?QuarnPeiPreMemEntryPoint \(.*\) at .*/Pei/QuarnPeiPreMem/QuarnPeiPreMem\.cpp:[0-9]+$" <<<"$out" ||
  { echo "FAIL: the backtrace does not reach the entry point"; fail=1; }
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; fail=1; }
if [ "$fail" -ne 0 ]; then echo "$out"; echo "ovmf debug session: FAIL"; exit 1; fi
grep -E "^#[0-9] " <<<"$out" | head -6
echo "ovmf debug session: PASS (a breakpoint in the module hit under OVMF's PEI core)"
