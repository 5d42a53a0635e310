#!/usr/bin/env bash
# make edk2: QuarnPkg as a platform builds it, from source, by EDK II's own tools, and
# dispatched by OVMF. From nothing, step by step:
#
#   source     Debian's edk2 source package of the very version of the installed
#              ovmf-ia32 (the OVMF we boot), from the same registry as every other
#              package (a private deb-src list); only BaseTools, MdePkg, MdeModulePkg and
#              edksetup.sh are taken from it, with the Debian patches that touch them.
#              Kept in OUT/source-VERSION: a second run starts from there.
#   basetools  BaseTools' C tools (GenFw, GenSec, GenFfs, ...).
#   build      QuarnPkg.dsc for IA32 with GCC5, DEBUG and RELEASE, in a workspace
#              OUT/workspace where QuarnPkg is this repository.
#   headers    every standard-named header of ours against MdePkg's (check-headers.py),
#              and our CMake build's constructor order against EDK II's AutoGen.c.
#   image      the image check on both images (the .debug ELF files: the same link as
#              the PE32 images, with symbols and relocations), and the stack analysis.
#   ffs        the FFS files, made by EDK II's GenSec and GenFfs.
#   boot       both OVMF boards booted with each build (Firmware/Ovmf/ovmf-check.sh): the
#              DEBUG build's console byte for byte as quarn-emu prints it; the RELEASE
#              build's HOBs, MM7 of every processor and status codes as quarn-emu-release
#              has them, none of the DEBUG texts, and the Shell reached.
#
#   Firmware/Edk2/edk2.sh OUT FIRMWARE_BUILD_DIR QUARN_EMU QUARN_EMU_RELEASE
# A step that cannot be had stops the run with "edk2: FAIL at <step>" and what to do.
set -euo pipefail
out=${1:?usage: edk2.sh OUT FIRMWARE_BUILD_DIR QUARN_EMU QUARN_EMU_RELEASE}
fw=${2:?usage: edk2.sh OUT FIRMWARE_BUILD_DIR QUARN_EMU QUARN_EMU_RELEASE}
emu=${3:?usage: edk2.sh OUT FIRMWARE_BUILD_DIR QUARN_EMU QUARN_EMU_RELEASE}
emu_release=${4:?usage: edk2.sh OUT FIRMWARE_BUILD_DIR QUARN_EMU QUARN_EMU_RELEASE}
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
jobs=${JOBS:-$(nproc)}
mkdir -p "$out"
out=$(cd "$out" && pwd)
start=$(date +%s)

# fail STEP WHAT TODO: stops the run.
fail() {
  echo "edk2: FAIL at $1: $2"
  echo "edk2: to do: $3"
  exit 1
}
# tail_log FILE: the end of a step's log, for the failure message.
tail_log() { tail -n 25 "$1" | sed 's/^/  | /'; }
note() { echo "edk2: $* ($(( $(date +%s) - start )) s)"; }

# --- source -----------------------------------------------------------------------
version=$(dpkg-query -W -f='${Version}' ovmf-ia32 2>/dev/null) ||
  fail source "ovmf-ia32 is not installed" "run make deps (it installs ovmf-ia32)"
package=$(dpkg-query -W -f='${source:Package}' ovmf-ia32)
src=$out/source-$version
if [ ! -f "$src/.complete" ]; then
  apt=$out/apt
  rm -rf "$apt" "$src.tmp"
  mkdir -p "$apt/sources.list.d" "$apt/lists/partial" "$apt/cache/archives/partial" "$apt/download" "$src.tmp"
  # The machine's own Debian registry, as deb-src entries (deb822 and one-line lists).
  for list in /etc/apt/sources.list.d/*.sources; do
    [ -f "$list" ] && sed 's/^Types:.*/Types: deb-src/' "$list" >"$apt/sources.list.d/$(basename "$list")"
  done
  for list in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -f "$list" ] && sed -n 's/^deb \(.*\)/deb-src \1/p' "$list" >>"$apt/sources.list.d/machine.list"
  done
  options=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/sources.list.d"
           -o Dir::State::Lists="$apt/lists" -o Dir::Cache="$apt/cache" -o APT::Sandbox::User=root -q)
  apt-get "${options[@]}" update >"$apt/update.log" 2>&1 || {
    tail_log "$apt/update.log"
    fail source "the registry's source lists could not be fetched" "check the network and /etc/apt/sources.list*, then run make edk2 again"
  }
  (cd "$apt/download" && apt-get "${options[@]}" source --download-only "$package=$version") >"$apt/source.log" 2>&1 || {
    tail_log "$apt/source.log"
    fail source "the registry no longer serves $package=$version, the source of the installed ovmf-ia32" \
      "upgrade ovmf-ia32 (sudo apt-get install --only-upgrade ovmf-ia32) so that the binary and its source match again, then run make edk2"
  }
  orig=$(ls "$apt/download/${package}_"*.orig.tar.* 2>/dev/null | head -1)
  debian=$(ls "$apt/download/${package}_${version#*:}".debian.tar.* 2>/dev/null | head -1)
  [ -n "$orig" ] && [ -n "$debian" ] ||
    fail source "the download holds no orig and debian tarballs ($(ls "$apt/download" | tr '\n' ' '))" "report the source package's layout; it changed"
  tar -xf "$orig" -C "$src.tmp" --strip-components=1 --wildcards \
    '*/BaseTools/*' '*/MdePkg/*' '*/MdeModulePkg/*' '*/edksetup.sh' ||
    fail source "$orig could not be unpacked" "remove $out and run make edk2 again"
  mkdir -p "$src.tmp/debian-patches"
  tar -xf "$debian" -C "$src.tmp/debian-patches" --strip-components=2 debian/patches ||
    fail source "$debian holds no patches" "report the source package's layout; it changed"
  # Debian's patches in series order, those whose every file lies in what we took.
  applied=0
  while read -r name _; do
    case "$name" in ''|'#'*) continue ;; esac
    patch=$src.tmp/debian-patches/$name
    dirs=$(sed -n 's/^+++ [^/]*\/\([^/]*\)\/.*/\1/p' "$patch" | sort -u)
    [ -n "$dirs" ] || continue
    if grep -qvE '^(BaseTools|MdePkg|MdeModulePkg)$' <<<"$dirs"; then continue; fi
    patch -d "$src.tmp" -p1 -s <"$patch" >"$apt/patch.log" 2>&1 || {
      tail_log "$apt/patch.log"
      fail source "Debian's patch $name does not apply" "remove $out and run make edk2 again"
    }
    applied=$((applied + 1))
  done <"$src.tmp/debian-patches/series"
  echo "$package $version: $(basename "$orig"), $applied Debian patches" >"$src.tmp/.complete"
  rm -rf "$src"
  mv "$src.tmp" "$src"
fi
note "source: $(cat "$src/.complete")"

# --- basetools --------------------------------------------------------------------
if [ ! -x "$src/BaseTools/Source/C/bin/GenFfs" ]; then
  make -C "$src/BaseTools/Source/C" -j "$jobs" >"$out/basetools.log" 2>&1 || {
    tail_log "$out/basetools.log"
    fail basetools "BaseTools' C tools did not build (log: $out/basetools.log)" \
      "install what the log names as missing (make deps installs nasm, uuid-dev, g++), then run make edk2 again"
  }
fi
note "basetools: $(ls "$src/BaseTools/Source/C/bin" | wc -l) tools"

# --- build ------------------------------------------------------------------------
# The framework's packages sit in the workspace too (edk2/), so that every source is
# named from the workspace on.
ws=$out/workspace
mkdir -p "$ws/Conf"
ln -sfn "$root" "$ws/QuarnPkg"
ln -sfn "$src" "$ws/edk2"
edk2_env() {
  export WORKSPACE=$ws PACKAGES_PATH=$ws/edk2:$ws EDK_TOOLS_PATH=$ws/edk2/BaseTools CONF_PATH=$ws/Conf
  set --
  # shellcheck disable=SC1091
  (set +eu; cd "$ws/edk2" && . ./edksetup.sh >/dev/null && cd "$ws" &&
   build -p QuarnPkg/QuarnPkg.dsc -a IA32 -t GCC5 -b DEBUG -b RELEASE -n "$jobs" -q)
}
edk2_env >"$out/build.log" 2>&1 || {
  grep -E "error|Error" "$out/build.log" | grep -v '^"' | head -20 | sed 's/^/  | /'
  fail build "BaseTools could not build QuarnPkg.dsc (log: $out/build.log)" \
    "build the same by hand to see it whole: see README, \"Integrating QuarnPkg into a platform\""
}
images=$ws/Build/QuarnPkg
for target in DEBUG RELEASE; do
  [ -f "$images/${target}_GCC5/IA32/QuarnPeiPreMem.efi" ] ||
    fail build "no $target image after the build" "read $out/build.log"
done
note "build: QuarnPkg.dsc built DEBUG and RELEASE"

# --- headers ----------------------------------------------------------------------
python3 "$here/check-headers.py" --mdepkg "$src/MdePkg" --root "$root" \
  --autogen "$images/DEBUG_GCC5/IA32/QuarnPkg/Pei/QuarnPeiPreMem/QuarnPeiPreMem/DEBUG/AutoGen.c" \
  --our-autogen "$fw/AutoGen/AutoGen.cpp" \
  >"$out/headers.log" 2>&1 || {
  grep FAIL "$out/headers.log" | head -20
  fail headers "a standard-named header of ours differs from MdePkg's (log: $out/headers.log)" \
    "declare it as MdePkg does, or move what is ours alone to a header with our own name"
}
tail -1 "$out/headers.log"

# --- image ------------------------------------------------------------------------
for target in DEBUG RELEASE; do
  elf=$images/${target}_GCC5/IA32/QuarnPeiPreMem.debug
  "$root/Firmware/check-image.sh" "$elf" >"$out/image-$target.log" 2>&1 || {
    grep FAIL "$out/image-$target.log"
    fail image "the $target image fails the image check (log: $out/image-$target.log)" \
      "mend the module, or list a read-only object in Firmware/readonly-data.txt with why it is only read"
  }
  grep -E "^  flash" "$out/image-$target.log" | sed "s/^  /edk2: image $target: /"
done

# --- ffs --------------------------------------------------------------------------
bin=$src/BaseTools/Source/C/bin
guid=$(sed -n 's/^ *FILE_GUID *= *\([0-9A-Fa-f-]*\).*/\1/p' "$root/Pei/QuarnPeiPreMem/QuarnPeiPreMem.inf")
for target in DEBUG RELEASE; do
  dir=$images/${target}_GCC5/IA32/QuarnPkg/Pei/QuarnPeiPreMem/QuarnPeiPreMem
  suffix=$([ "$target" = RELEASE ] && echo Release || true)
  sections=$out/sections-$target
  mkdir -p "$sections"
  {
    "$bin/GenSec" -s EFI_SECTION_PEI_DEPEX -o "$sections/depex.sec" "$dir/OUTPUT/QuarnPeiPreMem.depex" &&
    "$bin/GenSec" -s EFI_SECTION_PE32 -o "$sections/pe32.sec" "$dir/OUTPUT/QuarnPeiPreMem.efi" &&
    "$bin/GenSec" -s EFI_SECTION_USER_INTERFACE -n QuarnPeiPreMem -o "$sections/ui.sec" &&
    "$bin/GenFfs" -t EFI_FV_FILETYPE_PEIM -g "$guid" -o "$out/QuarnPeiPreMem$suffix.ffs" -a 128 \
      -i "$sections/depex.sec" -i "$sections/pe32.sec" -n 0 -i "$sections/ui.sec"
  } >"$out/ffs-$target.log" 2>&1 || {
    tail_log "$out/ffs-$target.log"
    fail ffs "GenSec/GenFfs could not make the $target FFS file" "read $out/ffs-$target.log"
  }
done
note "ffs: QuarnPeiPreMem.ffs and QuarnPeiPreMemRelease.ffs"

# --- boot -------------------------------------------------------------------------
OVMF_CHECK_OUT=$out/ovmf-debug \
  "$root/Firmware/Ovmf/ovmf-check.sh" "$fw" "$emu" --module "$out/QuarnPeiPreMem.ffs" --edk2-asserts ||
  fail boot "OVMF did not run the EDK II DEBUG build as quarn-emu runs the module (logs: $out/ovmf-debug)" \
    "compare the logs with quarn-emu run Scenarios/ovmf-q35*.toml"
OVMF_CHECK_OUT=$out/ovmf-release \
  "$root/Firmware/Ovmf/ovmf-check.sh" "$fw" "$emu_release" --module "$out/QuarnPeiPreMemRelease.ffs" --release-of "$emu" ||
  fail boot "OVMF did not run the EDK II RELEASE build as quarn-emu-release runs the module (logs: $out/ovmf-release)" \
    "compare the logs with quarn-emu-release run Scenarios/ovmf-q35*.toml"
note "PASS"
