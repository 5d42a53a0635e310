#!/usr/bin/env bash
# Boots the ROM in qemu-system-i386 (machine q35, TCG) and compares the module's console
# on the first UART, byte for byte, with quarn-emu's console for the built-in scenario
# qemu-q35; both must end in EFI_UNSUPPORTED. Builds nothing: it needs the firmware
# preset's ROM and a built quarn-emu.
#
#   qemu-check.sh [ROM.bin [QUARN_EMU]]
#     ROM.bin    default build/firmware/QuarnRom.bin (QuarnRom.elf beside it is checked too)
#     QUARN_EMU  default build/bin/quarn-emu
#   QEMU_CHECK_OUT=DIR keeps the captured files in DIR (default: a temporary directory,
#   kept only when the check fails).
#
# Exit status: 0 match, 1 mismatch or a failed boot, 2 something needed is missing.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rom=${1:-$root/build/firmware/QuarnRom.bin}
emu=${2:-$root/build/bin/quarn-emu}
scenario_name=qemu-q35
scenario_file=$root/Scenarios/$scenario_name.toml
qemu=${QEMU_SYSTEM_I386:-qemu-system-i386}
time_limit=${QEMU_CHECK_TIMEOUT:-60}

missing() { echo "qemu: $1"; exit 2; }
[ -f "$rom" ] || missing "$rom not found (build the firmware preset: make firmware)"
[ -f "${rom%.bin}.elf" ] || missing "${rom%.bin}.elf not found beside the ROM"
[ -x "$emu" ] || missing "$emu not found (build quarn-emu: make run or make host)"
[ -f "$scenario_file" ] || missing "$scenario_file not found"
command -v "$qemu" >/dev/null || missing "$qemu not found (Debian package qemu-system-x86)"
command -v python3 >/dev/null || missing "python3 not found"

if [ -n "${QEMU_CHECK_OUT:-}" ]; then
  out=$QEMU_CHECK_OUT; keep=1; mkdir -p "$out"
else
  out=$(mktemp -d "${TMPDIR:-/tmp}/qemu-check.XXXXXX"); keep=0
fi
rm -f "$out/uart1.bin" "$out/uart2.bin" "$out/quarn-emu.json"

# What code executed in place must never hold, checked on the ROM as on the module image.
if ! "$here/check-image.sh" "${rom%.bin}.elf" >"$out/rom-check.txt" 2>&1; then
  cat "$out/rom-check.txt"; echo "qemu: the ROM image check failed"; exit 1
fi

# The boot: one processor with the CPU signature the scenario names, both UARTs to files,
# the stub's result on the debug-exit port.
timeout "$time_limit" "$qemu" \
  -machine q35,accel=tcg -cpu qemu32,family=6,model=85,stepping=4 -smp 1 -m 128M \
  -bios "$rom" -nodefaults -no-user-config -display none -monitor none -no-reboot \
  -serial "file:$out/uart1.bin" -serial "file:$out/uart2.bin" \
  -device isa-debug-exit,iobase=0xf4,iosize=0x04 >"$out/qemu.log" 2>&1
qemu_exit=$?
echo "qemu: q35 boot ended with exit status $qemu_exit (33 EFI_SUCCESS, 35 EFI_UNSUPPORTED, 37 other status, 39 exception, 124 time limit)"
sed -n 's/^rom: /qemu: stub: /p' "$out/uart2.bin" | tr -d '\r'

"$emu" run "$scenario_name" --json >"$out/quarn-emu.json" 2>"$out/quarn-emu.err"
emu_exit=$?
if [ "$emu_exit" -ne 0 ]; then
  cat "$out/quarn-emu.err"
  echo "qemu: quarn-emu run $scenario_name failed with exit status $emu_exit"
  echo "qemu: files kept in $out"; exit 1
fi

[ "$keep" -eq 1 ] && echo "qemu: files in $out"
# The verdict is the last line printed.
python3 "$here/qemu-compare.py" "$out/uart1.bin" "$out/uart2.bin" "$out/quarn-emu.json" \
  "$scenario_file" "$qemu_exit" >"$out/verdict.txt"
verdict=$?
if [ "$verdict" -ne 0 ] && [ "$keep" -eq 0 ]; then echo "qemu: files kept in $out"; fi
cat "$out/verdict.txt"
[ "$keep" -eq 0 ] && [ "$verdict" -eq 0 ] && rm -rf "$out"
exit "$verdict"
