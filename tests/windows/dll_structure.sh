#!/usr/bin/env bash
# Checks a built Quillory_MapiDll.dll as Windows will load it: PE format,
# exactly one export MAPISendMail at ordinal 1 under its plain name, imports
# from system DLLs only, the loader's security flags and, on 32-bit, the
# stdcall return that pops the caller's 20 bytes of arguments.
# usage: dll_structure.sh OBJDUMP DLL win32|win64
set -uo pipefail
if [ $# -ne 3 ]; then
  echo "usage: dll_structure.sh OBJDUMP DLL win32|win64" >&2
  exit 2
fi
objdump=$1
dll=$2
arch=$3
failures=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok   $arch: $what"
  else
    echo "FAIL $arch: $what"
    failures=$((failures + 1))
  fi
}

headers=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }
case $arch in
  win32) format=pei-i386 ;;
  win64) format=pei-x86-64 ;;
  *) echo "unknown arch $arch"; exit 2 ;;
esac

check "format $format" grep -q "file format $format\$" <<<"$headers"
check "DLL named Quillory_MapiDll.dll" \
  grep -qE '^Name[[:space:]]+[0-9a-f]+ Quillory_MapiDll\.dll$' <<<"$headers"

names=$(sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' <<<"$headers" |
  grep -E '^[[:space:]]+\[')
check "one export, named MAPISendMail, undecorated" \
  grep -qxE '[[:space:]]*\[ *0\] MAPISendMail' <<<"$names"
check "no other export names" test "$(wc -l <<<"$names")" -eq 1
addresses=$(sed -n '/Export Address Table -- Ordinal Base/,/^$/p' <<<"$headers" |
  grep -E '^[[:space:]]+\[')
check "ordinal base 1, one address" \
  grep -qE 'Export Address Table -- Ordinal Base 1$' <<<"$headers"
check "no other export addresses" test "$(wc -l <<<"$addresses")" -eq 1

imports=$(grep -E '^[[:space:]]*DLL Name:' <<<"$headers" | awk '{print tolower($3)}')
unexpected=$(grep -vxE 'kernel32\.dll|user32\.dll|shell32\.dll|msvcrt\.dll' \
  <<<"$imports" || true)
check "imports from system DLLs only ($(echo $imports))" test -z "$unexpected"
check "no toolchain runtime DLLs" \
  bash -c "! grep -qiE 'libstdc|libgcc|winpthread' <<<\"$imports\""
check "address space layout randomisation" grep -q 'DYNAMIC_BASE' <<<"$headers"
check "no-execute data" grep -q 'NX_COMPAT' <<<"$headers"

if [ "$arch" = win32 ]; then
  rva=$(sed -nE 's/.*\+base\[ *1\] ([0-9a-f]+) Export RVA.*/\1/p' <<<"$addresses")
  base=$(awk '/^ImageBase/ {print $2; exit}' <<<"$headers")
  start=$((0x$base + 0x$rva))
  # The first return reached from the entry point: a plain `ret` would
  # leave the caller's arguments on its stack.
  first_ret=$("$objdump" -d --start-address=$start --stop-address=$((start + 4096)) \
    "$dll" | grep -m1 -E '[[:space:]]ret[[:space:]]*' || true)
  check "stdcall return: ret \$0x14 (${first_ret##*:})" \
    grep -qE 'ret[[:space:]]+\$0x14' <<<"$first_ret"
fi

[ "$failures" -eq 0 ] || exit 1
