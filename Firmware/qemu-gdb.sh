#!/usr/bin/env bash
# Debugs the module where it runs under QEMU: boots a board paused, with QEMU's gdb
# stub, has gdb load the module's symbols at the address the module executes at, and
# stops at BREAK (a function or FILE:LINE).
#
#   Firmware/qemu-gdb.sh rom SCENARIO BREAK [--batch]
#       the q35 boot ROM (make qemu) for a Scenarios/qemu-q35*.toml board; the module
#       executes in place in the ROM, so the symbols are QuarnRom.debug as linked.
#   Firmware/qemu-gdb.sh ovmf BOARD BREAK [--batch] [--module FFS --symbols FILE.debug]
#       OVMF's PEI core dispatching the module (make ovmf), BOARD a scenario the OVMF
#       board expresses (ovmf-q35, ovmf-q35-quarn, ...); the symbols are the image's
#       .debug file, loaded at the base fvinsert.py rebased the image to. --module and
#       --symbols take another build of the module (make edk2's: build/edk2/
#       QuarnPeiPreMem.ffs with build/edk2/workspace/Build/QuarnPkg/DEBUG_GCC5/IA32/
#       QuarnPeiPreMem.debug).
#
# Interactive by default: gdb starts stopped at BREAK, with the source around it; quit
# gdb to end the boot. --batch prints the backtrace and the source line at the stop and
# ends; exit status 0 when BREAK was reached, 1 when not within QEMU_GDB_SECONDS (90).
# FIRMWARE_BUILD_DIR (default build/firmware) and QUARN_EMU (default build/bin/quarn-emu).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
usage="usage: qemu-gdb.sh rom|ovmf BOARD BREAK [--batch] [--module FFS --symbols FILE.debug]"
kind=${1:?$usage}
board=${2:?$usage}
where=${3:?$usage}
shift 3
batch=0
module=""
symbols=""
while [ $# -gt 0 ]; do
  case $1 in
    --batch) batch=1; shift ;;
    --module) module=${2:?$usage}; shift 2 ;;
    --symbols) symbols=${2:?$usage}; shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
fw=${FIRMWARE_BUILD_DIR:-$root/build/firmware}
limit=${QEMU_GDB_SECONDS:-90}
command -v gdb >/dev/null || { echo "qemu-gdb: SKIP: gdb not found (Debian package gdb)"; exit 77; }
command -v qemu-system-i386 >/dev/null || { echo "qemu-gdb: qemu-system-i386 not found (qemu-system-x86)"; exit 2; }
out=$(mktemp -d "${TMPDIR:-/tmp}/qemu-gdb.XXXXXX")
qemu_pid=""
cleanup() {
  [ -n "$qemu_pid" ] && kill "$qemu_pid" 2>/dev/null || true
  rm -rf "$out"
}
trap cleanup EXIT

port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
gdb_setup=(-ex "set pagination off" -ex "set confirm off" -ex "set architecture i386")

case $kind in
  rom)
    scenario=$root/Scenarios/$board.toml
    [ -f "$scenario" ] || { echo "qemu-gdb: no scenario $scenario"; exit 2; }
    mapfile -t args < <(python3 "$here/qemu-compare.py" args "$scenario") ||
      { echo "qemu-gdb: the q35 ROM cannot be the board of $board"; exit 2; }
    symbols=${symbols:-$fw/QuarnRom.debug}
    qemu-system-i386 -machine q35,accel=tcg -smp 1 -m 128M "${args[@]}" -bios "$fw/QuarnRom.bin" \
      -nodefaults -no-user-config -display none -monitor none -no-reboot \
      -serial "file:$out/uart1.bin" -serial "file:$out/uart2.bin" \
      -device isa-debug-exit,iobase=0xf4,iosize=0x04 -gdb "tcp:127.0.0.1:$port" -S >"$out/qemu.log" 2>&1 &
    qemu_pid=$!
    gdb_setup+=(-ex "file $symbols")
    ;;
  ovmf)
    module=${module:-$fw/QuarnPeiPreMem.ffs}
    symbols=${symbols:-$fw/QuarnPeiPreMem.debug}
    boot=$(OVMF_CHECK_OUT=$out/ovmf "$here/Ovmf/ovmf-check.sh" "$fw" "${QUARN_EMU:-$root/build/bin/quarn-emu}" \
             --module "$module" --scenario "$board" --gdb "tcp:127.0.0.1:$port" 2>"$out/boot.err" | tail -2) ||
      { cat "$out/boot.err"; echo "qemu-gdb: could not boot OVMF for $board"; exit 2; }
    qemu_pid=$(sed -n 's/^pid //p' <<<"$boot")
    base=$(sed -n 's/^module base //p' <<<"$boot")
    [ -n "$base" ] && [ -n "$qemu_pid" ] || { echo "$boot"; cat "$out/boot.err"; echo "qemu-gdb: no module base"; exit 2; }
    echo "qemu-gdb: OVMF boots $board; the module executes at $base (its PE32 image base)"
    # The ELF image is linked at 0 (its headers' place): every section moves by the base.
    gdb_setup+=(-ex "add-symbol-file $symbols -o $base")
    ;;
  *) echo "$usage" >&2; exit 2 ;;
esac

# LTO images describe an inlined function in another unit than its calls: expanding
# every unit first lets "break FUNCTION" find each place it was inlined.
gdb_setup+=(-ex "maint expand-symtabs" -ex "target remote 127.0.0.1:$port" -ex "break $where")
if [ "$batch" -eq 1 ]; then
  timeout "$limit" gdb -q -nx -batch "${gdb_setup[@]}" -ex continue -ex "bt" \
    -ex "kill" >"$out/gdb.txt" 2>&1 || true
  cat "$out/gdb.txt"
  if grep -qE "^(Thread [0-9]+ hit )?Breakpoint 1, " "$out/gdb.txt"; then
    echo "qemu-gdb: stopped at $where"
    exit 0
  fi
  echo "qemu-gdb: $where was not reached within $limit s"
  exit 1
fi
gdb -q -nx "${gdb_setup[@]}" -ex continue -ex "list"
