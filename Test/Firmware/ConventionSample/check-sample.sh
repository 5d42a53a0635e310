#!/usr/bin/env bash
# The convention check must pass an image whose table-reached callback is EFIAPI and
# fail the same image built with the callback taking register arguments; the x87 check
# must pass the image's constant bytes in .text and fail an x87 instruction in its code. (The sample is
# .cxx so that the test program, which takes every .cpp here, leaves it alone.)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/convention-sample.XXXXXX")
trap 'rm -rf "$work"' EXIT
build() {  # build OUTPUT [DEFINES...]
  local out=$1; shift
  g++ -std=c++20 -m32 -ffreestanding -fno-pic -no-pie -fno-exceptions -fno-rtti -mregparm=3 -Oz \
      -fno-asynchronous-unwind-tables -nostdlib -static -Wl,--emit-relocs -Wl,-e,SampleEntry \
      -Wl,--build-id=none -I"$root/MdeSubset/Include" -I"$root/MdeSubset/Include/Ia32" -I"$root/Include" "$@" \
      "$here/Sample.cxx" -o "$out"
}
build "$work/efiapi.elf"
build "$work/plain.elf" -DSAMPLE_PLAIN
python3 "$root/Firmware/check-convention.py" "$work/efiapi.elf" "$root" | tee "$work/efiapi.txt"
grep -qx "  stack convention: SampleCallback" "$work/efiapi.txt"
grep -qx "  stack convention: SampleEntry" "$work/efiapi.txt"
if python3 "$root/Firmware/check-convention.py" "$work/plain.elf" "$root" >"$work/plain.txt"; then
  cat "$work/plain.txt"; echo "FAIL: register arguments of SampleCallback not found"; exit 1
fi
cat "$work/plain.txt"
grep -q "^FAIL: SampleCallback is called from outside but takes register arguments" "$work/plain.txt"

python3 "$root/Firmware/check-fpu.py" "$work/efiapi.elf"
objdump -d "$work/efiapi.elf" >"$work/efiapi.s"
grep -q "fld1" "$work/efiapi.s"  # the bytes are there, and decode as x87
build "$work/x87.elf" -DSAMPLE_X87
if python3 "$root/Firmware/check-fpu.py" "$work/x87.elf" >"$work/x87.txt"; then
  cat "$work/x87.txt"; echo "FAIL: the x87 instructions of SampleAsm not found"; exit 1
fi
cat "$work/x87.txt"
grep -qE "^ +1 fld1$" "$work/x87.txt"
grep -qE "^ +1 fstp +%st\(0\)$" "$work/x87.txt"
[ "$(grep -c '^ ' "$work/x87.txt")" -eq 2 ]  # nothing of the data bytes
echo "convention and x87 check sample: PASS"
