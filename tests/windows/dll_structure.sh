#!/usr/bin/env bash
# Checks a built Quillory_MapiDll.dll as Windows will load it: the machine,
# exactly one export MAPISendMail at ordinal 1 under its plain name, imports
# from system DLLs only, the loader's security flags, the message table
# Event Viewer reads its events' text from and, on 32-bit x86, the stdcall
# return that pops the caller's 20 bytes of arguments. Read with LLVM's
# objdump and readobj, which know every architecture the DLL ships for.
# usage: dll_structure.sh DLL win32|win64|arm64
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: dll_structure.sh DLL win32|win64|arm64" >&2
  exit 2
fi
dll=$1
arch=$2
objdump=llvm-objdump-19
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

case $arch in
  win32) format=coff-i386 ;;
  win64) format=coff-x86-64 ;;
  arm64) format=coff-arm64 ;;
  *) echo "usage: dll_structure.sh DLL win32|win64|arm64" >&2; exit 2 ;;
esac
headers=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }

check "format $format" grep -q "file format $format\$" <<<"$headers"
check "DLL named Quillory_MapiDll.dll" \
  grep -qxE ' DLL name: Quillory_MapiDll\.dll' <<<"$headers"
exports=$(sed -n '/^Export Table:/,/^$/p' <<<"$headers" | grep -E '^ +[0-9]+ +0x')
check "one export, MAPISendMail at ordinal 1, undecorated" \
  grep -qxE ' +1 +0x[0-9a-f]+ +MAPISendMail' <<<"$exports"
check "no other export" test "$(wc -l <<<"$exports")" -eq 1
check "ordinal base 1" grep -qxE ' Ordinal base: 1' <<<"$headers"

imports=$(grep -E '^[[:space:]]*DLL Name:' <<<"$headers" | awk '{print tolower($3)}')
unexpected=$(grep -vxE 'kernel32\.dll|user32\.dll|shell32\.dll|advapi32\.dll|msvcrt\.dll' \
  <<<"$imports" || true)
check "imports from system DLLs only ($(echo $imports))" test -z "$unexpected"
check "address space layout randomisation" grep -q 'DYNAMIC_BASE' <<<"$headers"
check "no-execute data" grep -q 'NX_COMPAT' <<<"$headers"
if [ "$arch" != win32 ]; then
  check "high-entropy address space" grep -q 'HIGH_ENTROPY_VA' <<<"$headers"
fi
check "no thread-local data" \
  grep -qE '^Entry 9 0+ 0+ Thread Storage Directory' <<<"$headers"
# Message 1, U.S. English, as windmc makes it from quillory_events.mc.
resources=$(llvm-readobj-19 --coff-resources "$dll" 2>/dev/null)
check "a message table (resource 1, language 1033)" grep -qzE \
  'Type: MESSAGETABLE( \(ID 11\))? \[[^]]*Name: \(ID 1\) \[[^]]*Language: \(ID 1033\)' \
  <<<"$resources"

if [ "$arch" = win32 ]; then
  rva=$(awk '$3 == "MAPISendMail" {print $2}' <<<"$exports")
  base=$(awk '$1 == "ImageBase" {print $2; exit}' <<<"$headers")
  start=$((16#$base + rva))
  # The first return reached from the entry point: a plain `ret` would
  # leave the caller's arguments on its stack.
  first_ret=$("$objdump" -d --start-address=$start --stop-address=$((start + 4096)) \
    "$dll" | grep -m1 -E '[[:space:]]retl?[[:space:]]*' || true)
  check "stdcall return: ret \$0x14 (${first_ret##*:})" \
    grep -qE 'retl?[[:space:]]+\$0x14' <<<"$first_ret"
fi

[ "$failures" -eq 0 ]
