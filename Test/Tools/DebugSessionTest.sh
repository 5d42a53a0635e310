#!/usr/bin/env bash
# quarn-emu debug, as a user starts it: gdb stops the run at the pre-DID reset request and
# the backtrace names the module's function with its source line. The launcher starts
# gdb natively, or attached to qemu-i386's stub on the emulated path (QUARN_FORCE_QEMU=1).
#   DebugSessionTest.sh QUARN_EMU
# Exit status 77 (skipped) where gdb is not installed.
set -uo pipefail
emu=${1:?usage: DebugSessionTest.sh QUARN_EMU}
command -v gdb >/dev/null || { echo "SKIP: gdb not found (Debian package gdb)"; exit 77; }
out=$("$emu" debug --batch pre-did-counter-immediate --break-on message:pre-did-reset 2>&1)
status=$?
echo "$out" | grep -v '^\[' | head -40
fail=0
grep -q "^quarn-emu: --break-on message:pre-did-reset: occurrence 1 at " <<<"$out" || { echo "FAIL: no stop message"; fail=1; }
grep -q "SIGTRAP" <<<"$out" || { echo "FAIL: gdb did not take the stop"; fail=1; }
grep -qE "^#[0-9]+ +(0x[0-9a-f]+ in )?QuarnPreDidReset \(\) at .*/Pei/QuarnPeiPreMem/PreDidReset\.cpp:[0-9]+$" <<<"$out" ||
  { echo "FAIL: the backtrace does not name QuarnPreDidReset with its source line"; fail=1; }
grep -qE "^#[0-9]+ +(0x[0-9a-f]+ in )?QuarnPeiPreMemEntryPoint \(.*\) at .*/Pei/QuarnPeiPreMem/QuarnPeiPreMem\.cpp:[0-9]+$" <<<"$out" ||
  { echo "FAIL: the backtrace does not reach the entry point"; fail=1; }
grep -q "no debugger took the stop" <<<"$out" && { echo "FAIL: the stop went past gdb"; fail=1; }
[ "$status" -eq 0 ] || { echo "FAIL: exit status $status"; fail=1; }
[ "$fail" -eq 0 ] && echo "debug session: PASS" || exit 1
