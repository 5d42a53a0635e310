#!/usr/bin/env bash
# Boots the ROM in qemu-system-i386 (machine q35, TCG) once for every built-in
# scenario Scenarios/qemu-q35*.toml, and compares the module's console on the first
# UART, byte for byte, with quarn-emu's console for the same scenario; what the module
# left behind (HOBs, CPU record, MM7, records) is compared too, and every run must end
# in EFI_UNSUPPORTED. Firmware/qemu-compare.py turns each scenario into QEMU arguments
# (CPU signature, fw_cfg settings for the stub) and does the comparing. Builds nothing:
# it needs the firmware preset's ROM and a built quarn-emu.
#
#   qemu-check.sh [ROM.bin [QUARN_EMU]]
#     ROM.bin    default build/firmware/QuarnRom.bin (QuarnRom.elf beside it is checked too)
#     QUARN_EMU  default build/bin/quarn-emu
#   QEMU_CHECK_OUT=DIR keeps the captured files in DIR (default: a temporary directory,
#   kept only when the check fails).
#
# Exit status: 0 every board matches, 1 a mismatch or a failed boot, 2 something needed
# is missing. The last line printed is the verdict.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
rom=${1:-$root/build/firmware/QuarnRom.bin}
emu=${2:-$root/build/bin/quarn-emu}
qemu=${QEMU_SYSTEM_I386:-qemu-system-i386}
time_limit=${QEMU_CHECK_TIMEOUT:-60}
compare="$here/qemu-compare.py"

missing() { echo "qemu: $1"; exit 2; }
[ -f "$rom" ] || missing "$rom not found (build the firmware preset: make firmware)"
[ -f "${rom%.bin}.elf" ] || missing "${rom%.bin}.elf not found beside the ROM"
[ -x "$emu" ] || missing "$emu not found (build quarn-emu: make run or make host)"
command -v "$qemu" >/dev/null || missing "$qemu not found (Debian package qemu-system-x86)"
command -v python3 >/dev/null || missing "python3 not found"

# The plain q35 board first, then its variants.
scenarios=()
[ -f "$root/Scenarios/qemu-q35.toml" ] || missing "$root/Scenarios/qemu-q35.toml not found"
scenarios+=("$root/Scenarios/qemu-q35.toml")
for file in "$root"/Scenarios/qemu-q35-*.toml; do [ -f "$file" ] && scenarios+=("$file"); done

if [ -n "${QEMU_CHECK_OUT:-}" ]; then
  out=$QEMU_CHECK_OUT; keep=1; mkdir -p "$out"
else
  out=$(mktemp -d "${TMPDIR:-/tmp}/qemu-check.XXXXXX"); keep=0
fi

# What code executed in place must never hold, checked on the ROM as on the module image.
if ! "$here/check-image.sh" "${rom%.bin}.elf" >"$out/rom-check.txt" 2>&1; then
  cat "$out/rom-check.txt"; echo "qemu: the ROM image check failed"; exit 1
fi

# Boots one scenario's board and compares; the findings go to standard output.
check_board() {
  local file=$1 name dir args qemu_exit emu_exit
  name=$(basename "$file" .toml)
  dir="$out/$name"
  mkdir -p "$dir"
  rm -f "$dir"/*
  if ! mapfile -t args < <(python3 "$compare" args "$file"); then return 1; fi
  [ "${#args[@]}" -gt 0 ] || { echo "qemu: $name: no board for this scenario"; return 1; }

  timeout "$time_limit" "$qemu" \
    -machine q35,accel=tcg -smp 1 -m 128M "${args[@]}" \
    -bios "$rom" -nodefaults -no-user-config -display none -monitor none -no-reboot \
    -serial "file:$dir/uart1.bin" -serial "file:$dir/uart2.bin" \
    -device isa-debug-exit,iobase=0xf4,iosize=0x04 >"$dir/qemu.log" 2>&1
  qemu_exit=$?
  echo "qemu: $name: q35 boot ($(IFS=' '; echo "${args[*]}")) ended with exit status $qemu_exit"
  sed -n "s/^rom: /qemu: $name: stub: /p" "$dir/uart2.bin" | tr -d '\r'

  "$emu" run "$name" --json >"$dir/quarn-emu.json" 2>"$dir/quarn-emu.err"
  emu_exit=$?
  if [ "$emu_exit" -ne 0 ]; then
    sed "s/^/qemu: $name: /" "$dir/quarn-emu.err"
    echo "qemu: $name: quarn-emu run $name failed with exit status $emu_exit"
    return 1
  fi
  python3 "$compare" compare "$dir/uart1.bin" "$dir/uart2.bin" "$dir/quarn-emu.json" "$file" "$qemu_exit"
}

echo "qemu: debug-exit statuses: 33 EFI_SUCCESS, 35 EFI_UNSUPPORTED, 37 other status, 39 exception, 124 time limit"
failed=()
names=()
for file in "${scenarios[@]}"; do
  names+=("$(basename "$file" .toml)")
  check_board "$file" || failed+=("$(basename "$file" .toml)")
done

if [ "${#failed[@]}" -ne 0 ] || [ "$keep" -eq 1 ]; then
  echo "qemu: files in $out"
else
  rm -rf "$out"
fi
if [ "${#failed[@]}" -ne 0 ]; then
  echo "qemu: MISMATCH on ${#failed[@]} of ${#names[@]} q35 boards: ${failed[*]}"
  exit 1
fi
echo "qemu: console matches quarn-emu byte for byte; status EFI_UNSUPPORTED (${#names[@]} q35 boards: ${names[*]})"
exit 0
