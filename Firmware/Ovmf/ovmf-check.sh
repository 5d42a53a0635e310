#!/usr/bin/env bash
# make ovmf: the module dispatched by a PEI core this project did not write. Inserts the
# module's FFS file and the test platform module's into the PEI volume of Debian's IA32
# OVMF (inside its LZMA-compressed main volume; both first in the a-priori file), checks
# the image with UEFIExtract, then boots it on QEMU q35 (SMM, two processors) for both
# boards, the VORN-absent one (ovmf-q35, 1 GiB) and the QUARN one (ovmf-q35-quarn,
# 2.5 GiB, RAM at 0x80000000), and compares each boot with quarn-emu (ovmf-compare.py).
#
#   Firmware/Ovmf/ovmf-check.sh FIRMWARE_BUILD_DIR QUARN_EMU [--module FFS]
#                               [--edk2-asserts] [--release-of QUARN_EMU_DEBUG]
# --module boots another FFS file of the module (default FIRMWARE_BUILD_DIR/QuarnPeiPreMem.ffs:
# make edk2 boots the EDK II builds); --edk2-asserts and --release-of pass on to
# ovmf-compare.py (an EDK II DEBUG build's assertion lines; a RELEASE build).
# OVMF_CHECK_OUT (default FIRMWARE_BUILD_DIR/ovmf) keeps the image and serial logs;
# OVMF_BOOT_SECONDS (default 900) bounds each boot.
set -euo pipefail
usage="usage: ovmf-check.sh FIRMWARE_BUILD_DIR QUARN_EMU [--module FFS] [--edk2-asserts] [--release-of QUARN_EMU_DEBUG]"
fw=${1:?$usage}
emu=${2:?$usage}
shift 2
module=$fw/QuarnPeiPreMem.ffs
compare=()
while [ $# -gt 0 ]; do
  case $1 in
    --module) module=${2:?$usage}; shift 2 ;;
    --edk2-asserts) compare+=(--edk2-asserts); shift ;;
    --release-of) compare+=(--release-of "${2:?$usage}"); shift 2 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tools=$root/Tools/peim
out=${OVMF_CHECK_OUT:-$fw/ovmf}
limit=${OVMF_BOOT_SECONDS:-900}
code=/usr/share/OVMF/OVMF32_CODE_4M.secboot.fd
vars=/usr/share/OVMF/OVMF32_VARS_4M.fd

if [ ! -f "$code" ] || [ ! -f "$vars" ]; then
  echo "ovmf: SKIP: $code not found (Debian package ovmf-ia32 is not installed and could not be)"
  exit 0
fi
command -v qemu-system-i386 >/dev/null || { echo "ovmf: FAIL: qemu-system-i386 not found (qemu-system-x86)"; exit 1; }
mkdir -p "$out"
image=$out/OVMF32_CODE_QUARN.fd
ffs=("$fw/OvmfBoardPei.ffs" "$module")

start=$(date +%s)
python3 "$tools/fvinsert.py" "$code" "$image" "${ffs[@]}" --apriori
rc=0; python3 "$tools/fv-check.py" "$image" "${ffs[@]}" || rc=$?
case $rc in
  0) ;;
  2) echo "ovmf: FAIL: UEFIExtract (Debian package uefitool-cli) is needed to check the image"; exit 1 ;;
  *) exit 1 ;;
esac
echo "ovmf: image ready in $(( $(date +%s) - start )) s"

# boot NAME MEMORY_MIB VORN: starts QEMU in the background; its pid goes to $out/NAME.pid.
boot() {
  local name=$1 memory=$2 vorn=$3
  cp "$vars" "$out/$name.vars.fd"
  rm -f "$out/$name.com1.log" "$out/$name.com2.log"
  qemu-system-i386 -machine q35,smm=on,accel=tcg -m "$memory" -smp 2 \
    -cpu qemu32,family=6,model=85,stepping=4 \
    -global driver=cfi.pflash01,property=secure,value=on \
    -drive if=pflash,format=raw,unit=0,file="$image",readonly=on \
    -drive if=pflash,format=raw,unit=1,file="$out/$name.vars.fd" \
    -display none -monitor none -net none \
    -serial file:"$out/$name.com1.log" -serial file:"$out/$name.com2.log" \
    -fw_cfg name=opt/quarn/vorn,string="$vorn" >"$out/$name.qemu.log" 2>&1 &
  echo $! >"$out/$name.pid"
}

# wait_shell NAME: waits for the Shell prompt on the first UART, then stops that QEMU.
wait_shell() {
  local name=$1 pid waited=0
  pid=$(cat "$out/$name.pid")
  while kill -0 "$pid" 2>/dev/null && ! grep -aq 'Shell> ' "$out/$name.com1.log" 2>/dev/null; do
    if [ "$waited" -ge "$limit" ]; then echo "ovmf: $name: no Shell prompt after $limit s"; break; fi
    sleep 2; waited=$((waited + 2))
  done
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  echo "ovmf: $name: booted to the Shell prompt in $(( $(date +%s) - start )) s (both boots side by side)"
}

start=$(date +%s)
boot ovmf-q35 1024 0
boot ovmf-q35-quarn 2560 1
wait_shell ovmf-q35
wait_shell ovmf-q35-quarn

fail=0
for name in ovmf-q35 ovmf-q35-quarn; do
  python3 "$here/ovmf-compare.py" "$root/Scenarios/$name.toml" "$out/$name.com1.log" "$out/$name.com2.log" "$emu" ${compare[@]+"${compare[@]}"} || fail=1
done
[ "$fail" -eq 0 ] && echo "ovmf: PASS" || { echo "ovmf: FAIL (logs in $out)"; exit 1; }
