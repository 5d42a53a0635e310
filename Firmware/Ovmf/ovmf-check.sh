#!/usr/bin/env bash
# make ovmf / make ovmf-all: the module dispatched by a PEI core this project did not
# write, on boards that scenarios describe. Inserts the module's FFS file and the test
# platform module's into the PEI volume of Debian's IA32 OVMF (inside its LZMA-compressed
# main volume; both first in the a-priori file) and checks the image with UEFIExtract.
# Then, for each scenario: ovmf-board.py decides whether QEMU's q35 under OVMF can be its
# board and writes the board description (and the QEMU arguments: memory, processors,
# CPU signature); each board that can be is booted on QEMU q35 (SMM, TCG) up to the UEFI
# Shell prompt, at most JOBS boots side by side, and compared with quarn-emu's run of the
# scenario's OVMF form (ovmf-compare.py). A scenario that cannot be expressed is listed
# with the reasons.
#
#   Firmware/Ovmf/ovmf-check.sh FIRMWARE_BUILD_DIR QUARN_EMU [--module FFS]
#       [--edk2-asserts] [--release-of QUARN_EMU_DEBUG]
#       [--all | --scenario NAME ...] [--jobs N]
# Without --all or --scenario: the two boards of make ovmf, ovmf-q35 (no VORN, 1 GiB)
# and ovmf-q35-quarn (QUARN firmware, 2.5 GiB: RAM at 0x80000000 plays the VORN).
# --all: every built-in scenario (make ovmf-all); those that cannot be expressed are
# listed, not failed. --scenario NAME (repeatable; a built-in name or a file): these
# only; each must be expressible. --jobs N: boots side by side (default 2).
# --module boots another FFS file of the module (default FIRMWARE_BUILD_DIR/QuarnPeiPreMem.ffs:
# make edk2 boots the EDK II builds); --edk2-asserts and --release-of pass on to
# ovmf-compare.py (an EDK II DEBUG build's assertion lines; a RELEASE build).
# --gdb ENDPOINT (one scenario): boots that board paused, QEMU's gdb stub at ENDPOINT
# (tcp:127.0.0.1:PORT), leaves it running and prints "pid PID" (QEMU's) and "module base
# ADDRESS" (where the module's PE32 image executes): Firmware/qemu-gdb.sh attaches gdb.
# OVMF_CHECK_OUT (default FIRMWARE_BUILD_DIR/ovmf) keeps the image and, per scenario, the
# board, the serial logs and the comparison; OVMF_BOOT_SECONDS (default 300) bounds each
# boot. The last line is the verdict: how many scenarios ran under OVMF and matched.
set -euo pipefail
usage="usage: ovmf-check.sh FIRMWARE_BUILD_DIR QUARN_EMU [--module FFS] [--edk2-asserts] [--release-of QUARN_EMU_DEBUG] [--all | --scenario NAME ...] [--jobs N] [--gdb ENDPOINT]"
help() { echo "$usage"; sed -n '2,/^set -euo/p' "$0" | sed '$d; s/^# \{0,1\}//'; }
case ${1:-} in -h|--help) help; exit 0 ;; esac
fw=${1:?$usage}
emu=${2:?$usage}
shift 2
module=$fw/QuarnPeiPreMem.ffs
compare=()
scenarios=()
all=0
jobs=2
gdb=""
while [ $# -gt 0 ]; do
  case $1 in
    --module) module=${2:?$usage}; shift 2 ;;
    --edk2-asserts) compare+=(--edk2-asserts); shift ;;
    --release-of) compare+=(--release-of "${2:?$usage}"); shift 2 ;;
    --all) all=1; shift ;;
    --scenario) scenarios+=("${2:?$usage}"); shift 2 ;;
    --jobs) jobs=${2:?$usage}; shift 2 ;;
    --gdb) gdb=${2:?$usage}; shift 2 ;;
    -h|--help) help; exit 0 ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
case $jobs in ''|*[!0-9]*|0) echo "ovmf: --jobs takes a positive number" >&2; exit 2 ;; esac
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
tools=$root/Tools/peim
out=${OVMF_CHECK_OUT:-$fw/ovmf}
limit=${OVMF_BOOT_SECONDS:-300}
code=/usr/share/OVMF/OVMF32_CODE_4M.secboot.fd
vars=/usr/share/OVMF/OVMF32_VARS_4M.fd

if [ ! -f "$code" ] || [ ! -f "$vars" ]; then
  echo "ovmf: SKIP: $code not found (Debian package ovmf-ia32 is not installed and could not be)"
  exit 0
fi
command -v qemu-system-i386 >/dev/null || { echo "ovmf: FAIL: qemu-system-i386 not found (qemu-system-x86)"; exit 1; }
if [ "$all" -eq 1 ]; then
  mapfile -t scenarios < <(python3 "$here/ovmf-board.py" names "$emu")
elif [ "${#scenarios[@]}" -eq 0 ]; then
  scenarios=(ovmf-q35 ovmf-q35-quarn)
fi
mkdir -p "$out"
image=$out/OVMF32_CODE_QUARN.fd
ffs=("$fw/OvmfBoardPei.ffs" "$module")

begin=$(date +%s)
python3 "$tools/fvinsert.py" "$code" "$image" "${ffs[@]}" --apriori
rc=0; python3 "$tools/fv-check.py" "$image" "${ffs[@]}" >"$out/fv-check.txt" || rc=$?
cat "$out/fv-check.txt"
case $rc in
  0) ;;
  2) echo "ovmf: FAIL: UEFIExtract (Debian package uefitool-cli) is needed to check the image"; exit 1 ;;
  *) exit 1 ;;
esac
echo "ovmf: image ready in $(( $(date +%s) - begin )) s"

# check_one NAME DIR: boots the prepared board in DIR up to the Shell prompt and compares;
# everything it says goes to DIR/result.txt, its verdict to DIR/status (0 match, 1 not).
# TCG runs every processor in one thread: with a thread each, four processors and two
# boots side by side on two host cores took 20 to 100 s a boot, one thread takes about
# 9 s whatever the count (the processors idle in PEI spin).
check_one() {
  local name=$1 dir=$2 pid waited=0 start status=1 args
  start=$(date +%s)
  mapfile -t args <"$dir/qemu.args"
  cp "$vars" "$dir/vars.fd"
  rm -f "$dir/com1.log" "$dir/com2.log"
  qemu-system-i386 -machine q35,smm=on -accel tcg,thread=single "${args[@]}" \
    -global driver=cfi.pflash01,property=secure,value=on \
    -drive if=pflash,format=raw,unit=0,file="$image",readonly=on \
    -drive if=pflash,format=raw,unit=1,file="$dir/vars.fd" \
    -display none -monitor none -net none \
    -serial file:"$dir/com1.log" -serial file:"$dir/com2.log" >"$dir/qemu.log" 2>&1 &
  pid=$!
  {
    while kill -0 "$pid" 2>/dev/null && ! grep -aq 'Shell> ' "$dir/com1.log" 2>/dev/null; do
      if [ "$waited" -ge "$limit" ]; then echo "ovmf: $name: no Shell prompt after $limit s"; break; fi
      sleep 1; waited=$((waited + 1))
    done
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
    echo "ovmf: $name: booted (${args[1]} MiB, ${args[3]} processors) to the Shell prompt in $(( $(date +%s) - start )) s"
    if python3 "$here/ovmf-compare.py" "$dir/form.toml" "$dir/com1.log" "$dir/com2.log" "$emu" \
         ${compare[@]+"${compare[@]}"}; then
      status=0
    fi
  } >"$dir/result.txt" 2>&1
  echo "$status" >"$dir/status"
}

# The board of one scenario, paused for a debugger; QEMU stays up for the caller.
if [ -n "$gdb" ]; then
  [ "${#scenarios[@]}" -eq 1 ] || { echo "ovmf: --gdb boots one scenario" >&2; exit 2; }
  name=$(basename "${scenarios[0]}" .toml)
  dir=$out/$name
  rm -rf "$dir"; mkdir -p "$dir"
  python3 "$here/ovmf-board.py" prepare "${scenarios[0]}" "$emu" "$dir" >&2 ||
    { echo "ovmf: $name: not a board the q35 under OVMF can be" >&2; exit 2; }
  base=$(sed -n "s/^fv-check: $(basename "$module"): .*PE32 rebased to \(0x[0-9a-fA-F]*\).*/\1/p" "$out/fv-check.txt")
  [ -n "$base" ] || { echo "ovmf: the module's image base was not found" >&2; exit 2; }
  mapfile -t args <"$dir/qemu.args"
  cp "$vars" "$dir/vars.fd"
  qemu-system-i386 -machine q35,smm=on -accel tcg,thread=single "${args[@]}" \
    -global driver=cfi.pflash01,property=secure,value=on \
    -drive if=pflash,format=raw,unit=0,file="$image",readonly=on \
    -drive if=pflash,format=raw,unit=1,file="$dir/vars.fd" \
    -display none -monitor none -net none \
    -serial file:"$dir/com1.log" -serial file:"$dir/com2.log" -gdb "$gdb" -S >"$dir/qemu.log" 2>&1 &
  echo "pid $!"
  echo "module base $base"
  exit 0
fi

declare -a ready=() unexpressed=() failed=()
for scenario in "${scenarios[@]}"; do
  name=$(basename "$scenario" .toml)
  dir=$out/$name
  rm -rf "$dir"
  mkdir -p "$dir"
  rc=0; python3 "$here/ovmf-board.py" prepare "$scenario" "$emu" "$dir" || rc=$?
  case $rc in
    0) ready+=("$name") ;;
    3) unexpressed+=("$name") ;;
    *) failed+=("$name") ;;
  esac
done
if [ "$all" -eq 0 ] && [ "${#unexpressed[@]}" -gt 0 ]; then failed+=("${unexpressed[@]}"); fi

begin=$(date +%s)
running=0
for name in "${ready[@]}"; do
  if [ "$running" -ge "$jobs" ]; then wait -n || true; running=$((running - 1)); fi
  check_one "$name" "$out/$name" &
  running=$((running + 1))
done
wait || true
matched=0
for name in "${ready[@]}"; do
  cat "$out/$name/result.txt"
  if [ "$(cat "$out/$name/status" 2>/dev/null)" = 0 ]; then matched=$((matched + 1)); else failed+=("$name"); fi
done
seconds=$(( $(date +%s) - begin ))

echo "ovmf: ${#scenarios[@]} scenarios: ${#ready[@]} expressible on the q35 under OVMF, ${#unexpressed[@]} not (${unexpressed[*]:-none})"
if [ "${#failed[@]}" -eq 0 ]; then
  echo "ovmf: PASS: ${#ready[@]} ran under OVMF, $matched matched quarn-emu ($seconds s of boots, $jobs side by side)"
else
  echo "ovmf: FAIL: ${#ready[@]} ran under OVMF, $matched matched quarn-emu; failed: ${failed[*]} (files in $out)"
  exit 1
fi
