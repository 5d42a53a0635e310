#!/usr/bin/env bash
# Checks the firmware image for what code executed in place must never hold:
# writable data, static constructors, undefined symbols, and x87/SSE instructions
# other than the MMX moves to and from MM0/MM7 and EMMS; and that every function called
# from outside keeps the stack convention (check-convention.py). Prints the image size.
# IMAGE is the ELF or the PE32 form of the module (QuarnPeiPreMem.efi).
set -euo pipefail
image=${1:?usage: check-image.sh IMAGE}
[ -f "$image" ] || { echo "FAIL: $image not found (build the firmware preset first)"; exit 1; }
fail=0

pe=0
grep -q 'file format pei-i386' <<<"$(objdump -f "$image" 2>/dev/null)" && pe=1

# Section table rows without the "[Nr]" column: name type address offset size ...
# (for a PE32 image: name, "PE", flags, -, size, so the same columns serve).
sections() {
  if [ "$pe" -eq 1 ]; then
    objdump -h "$image" | awk '/^ *[0-9]+ /{n=$2; s=$3; getline; f=$0; gsub(/[ ,]+/, "|", f);
                                           print n, "PE", f, "-", s}'
  else
    readelf -SW "$image" | sed -n 's/^ *\[ *[0-9]*\] *//p'
  fi
}

# A PE32 image: every section read-only, base relocations present, the PEIM subsystem.
if [ "$pe" -eq 1 ]; then
  while read -r name _ flags _ _; do
    case "$flags" in *READONLY*) ;; *) echo "FAIL: PE section $name is writable"; fail=1 ;; esac
  done < <(sections)
  grep -q "^\.reloc " <<<"$(sections)" || { echo "FAIL: no base relocations"; fail=1; }
  grep -qE "^Subsystem[[:space:]]+0000000b" <<<"$(objdump -p "$image")" || { echo "FAIL: subsystem is not a boot-service driver"; fail=1; }
fi

# Sections that must be absent or empty.
while read -r name size; do
  if [ "$((16#$size))" -ne 0 ]; then
    echo "FAIL: section $name holds $((16#$size)) bytes"; fail=1
  fi
done < <(sections | awk '$1 ~ /^\.(bss|init_array|ctors|fini_array)/ || ($1 ~ /^\.data/ && $1 != ".data") {print $1, $5}')

# .data: only listed objects, and no instruction stores into them (proved on the ELF,
# whose relocations name every reference; the PE32 form is the same link, converted).
if [ "$pe" -eq 0 ]; then
  if ! readonly=$(python3 "$(dirname "$0")/check-readonly-data.py" "$image"); then
    echo "$readonly" | grep FAIL; fail=1
  else
    echo "$readonly" | tail -1
  fi
fi

undef=$([ "$pe" -eq 1 ] || nm -u "$image" || true)
if [ -n "$undef" ]; then echo "FAIL: undefined symbols:"; echo "$undef"; fail=1; fi

# Every instruction touching x87/MMX/SSE state: only movq to/from %mm0/%mm7 and emms pass.
python3 "$(dirname "$0")/check-fpu.py" "$image" || fail=1

# The PE32 form carries the same code as the ELF; the convention check reads the ELF's
# relocations, so it runs on the ELF.
if [ "$pe" -eq 0 ]; then
  if ! convention=$(python3 "$(dirname "$0")/check-convention.py" "$image"); then
    echo "$convention" | grep FAIL; fail=1
  else
    echo "$convention"
  fi
fi

read -r text rodata data < <(sections | awk '$1==".text"{t=$5} $1==".rodata"||$1==".rdata"{r=$5} $1==".data"{d=$5}
                                           END{print (t==""?"0":t), (r==""?"0":r), (d==""?"0":d)}')
echo "image: $image"
echo "  .text   $((16#$text)) bytes"
echo "  .rodata $((16#$rodata)) bytes"
echo "  .data   $((16#$data)) bytes"
echo "  flash   $((16#$text + 16#$rodata + 16#$data)) bytes (.text + .rodata + .data)"
[ "$fail" -eq 0 ] && echo "image check: PASS" || { echo "image check: FAIL"; exit 1; }
