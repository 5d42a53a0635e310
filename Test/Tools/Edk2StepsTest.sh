#!/usr/bin/env bash
# make edk2 stops at the step that cannot be had, names it and what to do, and never
# reports a pass: the installed OVMF unknown, the registry without its source version,
# BaseTools that do not build. The package tools are stand-ins on PATH (no network).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/edk2-steps.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin"
failed=0

# expect NAME TEXT: runs make edk2's script on $work/out; it must fail with TEXT.
expect() {
  local name=$1 text=$2 rc=0
  PATH="$work/bin:$PATH" "$root/Firmware/Edk2/edk2.sh" "$work/out" "$work/fw" "$work/emu" "$work/emu" \
    >"$work/out.txt" 2>&1 || rc=$?
  if [ "$rc" -ne 1 ] || ! grep -qF "$text" "$work/out.txt" || grep -q "PASS" "$work/out.txt" ||
     ! grep -q "^edk2: to do: " "$work/out.txt"; then
    echo "FAIL $name (exit status $rc):"; sed 's/^/     /' "$work/out.txt"; failed=1
  else
    echo "ok   $name: $(grep '^edk2: FAIL' "$work/out.txt")"
  fi
}

cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/bin/sh
exit 1
STANDIN
chmod +x "$work/bin/dpkg-query"
expect "OVMF not installed" "edk2: FAIL at source: ovmf-ia32 is not installed"

cat >"$work/bin/dpkg-query" <<'STANDIN'
#!/bin/sh
case "$*" in *source:Package*) echo edk2 ;; *) echo 0.0-1 ;; esac
STANDIN
cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/sh
case "$*" in *" update"*) exit 0 ;; *) echo "E: Can not find version '0.0-1' of package 'edk2'" >&2; exit 100 ;; esac
STANDIN
chmod +x "$work/bin/dpkg-query" "$work/bin/apt-get"
expect "source version no longer served" "edk2: FAIL at source: the registry no longer serves edk2=0.0-1"

cat >"$work/bin/apt-get" <<'STANDIN'
#!/bin/sh
echo "E: The repository is not signed." >&2
exit 100
STANDIN
expect "registry unreachable" "edk2: FAIL at source: the registry's source lists could not be fetched"

# A source tree that is there, with BaseTools that do not build.
mkdir -p "$work/out/source-0.0-1/BaseTools/Source/C"
echo "edk2 0.0-1: stand-in" >"$work/out/source-0.0-1/.complete"
printf 'all:\n\t@echo "GenFw.c:1: error: uuid/uuid.h: No such file" >&2; exit 2\n' \
  >"$work/out/source-0.0-1/BaseTools/Source/C/GNUmakefile"
expect "BaseTools do not build" "edk2: FAIL at basetools: BaseTools' C tools did not build"
grep -q "uuid/uuid.h" "$work/out.txt" || { echo "FAIL: the build log's end is not shown"; failed=1; }

[ "$failed" -eq 0 ] && echo "edk2 steps: PASS" || { echo "edk2 steps: FAIL"; exit 1; }
