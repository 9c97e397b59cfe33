#!/usr/bin/env bash
# Checks a built Quillory_MapiDll.dll as Windows will load it: the machine,
# exactly one export MAPISendMail at ordinal 1 under its plain name, imports
# from system DLLs only, the loader's security flags, Control Flow Guard
# (the load configuration, the guard table, check and dispatch pointers
# that work where the loader leaves them), a time stamp that is a hash of
# the contents, the message table Event Viewer reads its events' text from
# and, on 32-bit x86, the stdcall return that pops the caller's 20 bytes of
# arguments. Read with LLVM's tools, which know every architecture the DLL
# ships for.
# usage: dll_structure.sh DLL win32|win64|arm64
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: dll_structure.sh DLL win32|win64|arm64" >&2
  exit 2
fi
dll=$1
arch=$2
objdump=llvm-objdump-19
source "$(dirname "$0")/../support/checks.sh"
check_prefix="$arch: "

case $arch in
  win32) format=coff-i386 ;;
  win64) format=coff-x86-64 ;;
  arm64) format=coff-arm64 ;;
  *) echo "usage: dll_structure.sh DLL win32|win64|arm64" >&2; exit 2 ;;
esac
headers=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }
loader=$(llvm-readobj-19 --file-headers --sections --coff-load-config \
  --coff-debug-directory "$dll")

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
if [ "$arch" = win32 ]; then
  check "no structured exception handlers (NO_SEH)" grep -q 'NO_SEH' <<<"$headers"
fi
if [ "$arch" != arm64 ]; then
  check "shadow-stack compatible (CET_COMPAT)" \
    grep -q 'IMAGE_DLL_CHARACTERISTICS_EX_CET_COMPAT' <<<"$loader"
fi

field() { awk -v name="$1:" '$1 == name {print $2; exit}' <<<"$loader"; }
rva=$(awk '$3 == "MAPISendMail" {print $2}' <<<"$exports")
base=$(field ImageBase)
start=$((base + rva))
# A time stamp of 0 would give every release of one image size the same key
# in a symbol store.
check "time stamp a hash of the contents ($(field TimeDateStamp | head -c 10))" \
  eval '[ "$(field TimeDateStamp)" != 1970-01-01 ] && grep -q "Type: Repro" <<<"$loader"'

# Control Flow Guard: the flag, a load configuration large enough for the
# guard fields (on x86 the 32-bit layout), the table of valid call targets
# holding the export, which callers reach through GetProcAddress.
check "Control Flow Guard (GUARD_CF)" grep -q 'DLL_CHARACTERISTICS_GUARD_CF' <<<"$loader"
size=0xC0
[ "$arch" != win32 ] || size=0x78
check "load configuration of $size bytes" test "$(field Size)" = "$size"
check "guard flags: instrumented, with a function table" eval \
  'grep -q "CF_INSTRUMENTED" <<<"$loader" && grep -q "CF_FUNCTION_TABLE_PRESENT" <<<"$loader"'
check "the guard table holds MAPISendMail" grep -qix "  $(printf '0x%X' "$start")" \
  <<<"$(sed -n '/^GuardFidTable/,/^]/p' <<<"$loader")"
# Where the loader leaves the pointers as they are (Wine; a process without
# CFG), each guarded call goes through them: the check must return, the
# dispatch jump to its target (rax), as clang's code expects.
width=8
[ "$arch" != win32 ] || width=4
pointer_at() {  # VA: the pointer stored there, read from the file
  local rva=$(($1 - base)) va size raw
  while read -r va size raw; do
    if [ "$rva" -ge $((va)) ] && [ "$rva" -lt $((va + size)) ]; then
      printf '0x%s' "$(od -An -tx$width -j $((rva - va + raw)) -N $width "$dll" | tr -d ' ')"
    fi
  done < <(awk '$1 == "VirtualSize:" {size = $2} $1 == "VirtualAddress:" {va = $2}
    $1 == "PointerToRawData:" {print va, size, $2}' <<<"$loader")
}
first_instruction() {  # VA
  "$objdump" -d --no-show-raw-insn --start-address=$(($1)) --stop-address=$(($1 + 4)) \
    "$dll" | awk -F'\t' '/^ *[0-9a-f]+:/ {print $2 ($3 ? " " $3 : ""); exit}'
}
check_stub() {  # FIELD WHAT PATTERN
  local pointer target code
  pointer=$(field "$1")
  target=$(pointer_at "$pointer")
  code=$(first_instruction "${target:-0}")
  check "$2 pointer $pointer leads to \"$code\"" grep -qxE "$3" <<<"$code"
}
check_stub GuardCFCheckFunction "guard check" 'ret[lq]?'
if [ "$arch" = win64 ]; then
  check_stub GuardCFCheckDispatch "guard dispatch" 'jmpq \*%rax'
fi

# Message 1, U.S. English, as windmc makes it from quillory_events.mc.
resources=$(llvm-readobj-19 --coff-resources "$dll" 2>/dev/null)
check "a message table (resource 1, language 1033)" grep -qzE \
  'Type: MESSAGETABLE( \(ID 11\))? \[[^]]*Name: \(ID 1\) \[[^]]*Language: \(ID 1033\)' \
  <<<"$resources"

if [ "$arch" = win32 ]; then
  # The first return reached from the entry point: a plain `ret` would
  # leave the caller's arguments on its stack.
  first_ret=$("$objdump" -d --start-address=$start --stop-address=$((start + 4096)) \
    "$dll" | grep -m1 -E '[[:space:]]retl?[[:space:]]*' || true)
  check "stdcall return: ret \$0x14 (${first_ret##*:})" \
    grep -qE 'retl?[[:space:]]+\$0x14' <<<"$first_ret"
fi

finish_checks
