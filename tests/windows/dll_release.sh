#!/usr/bin/env bash
# Checks what a release DLL carries besides its code: the version resource
# that Explorer and Windows Installer read, and debug information kept
# apart in DEBUG_FILE, tied to the stripped DLL by its .gnu_debuglink and
# good enough to turn the export's address into its source line; and no
# code the DLL never runs. Read with LLVM's tools, which know every
# architecture the DLL ships for.
# usage: dll_release.sh DLL DEBUG_FILE VERSION SUFFIX
set -uo pipefail
if [ $# -ne 4 ]; then
  echo "usage: dll_release.sh DLL DEBUG_FILE VERSION SUFFIX" >&2
  exit 2
fi
dll=$1
debug_file=$2
version=$3
suffix=$4
failures=0
check() {
  local what=$1
  shift
  if "$@"; then
    echo "ok   $suffix: $what"
  else
    echo "FAIL $suffix: $what"
    failures=$((failures + 1))
  fi
}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
section() {  # NAME: the section's bytes as hex, one run
  llvm-objcopy-19 --dump-section "$1=$work/section" "$dll" "$work/copy" 2>/dev/null &&
    od -An -tx1 -v "$work/section" | tr -d ' \n'
}

versions=$("$(dirname "$0")/../../tools/file-version.sh" "$dll")
IFS=. read -ra want <<<"$version.0.0.0"
expected="${want[0]}.${want[1]}.${want[2]}.${want[3]}"
check "fixed file and product version $expected (got $versions)" \
  test "$versions" = "$expected $expected"
llvm-objcopy-19 --dump-section ".rsrc=$work/rsrc" "$dll" "$work/copy" 2>/dev/null
strings=$(strings -el "$work/rsrc")
for pair in "FileVersion:$version" "ProductVersion:$version" \
  "CompanyName:Quillory" "ProductName:Quillory Simple MAPI provider" \
  "OriginalFilename:Quillory_MapiDll_$suffix.dll"; do
  check "${pair%%:*} \"${pair#*:}\"" \
    grep -qxF "${pair#*:}" <<<"$(grep -xF -A1 "${pair%%:*}" <<<"$strings" | tail -n 1)"
done

headers=$(llvm-readobj-19 --sections --file-headers --coff-exports "$dll")
check "stripped: no debug sections" eval '! grep -q "Name: \.debug_" <<<"$headers"'
link=$(section .gnu_debuglink)
name=${debug_file##*/}
name_hex=$(printf '%s' "$name" | od -An -tx1 | tr -d ' \n')
check ".gnu_debuglink names $name" test "${link:0:${#name_hex}}" = "$name_hex"
# The link ends with the debug file's CRC-32, little-endian: the same four
# bytes that end a gzip stream's trailer.
crc=$(gzip -c <"$debug_file" | tail -c 8 | head -c 4 | od -An -tx1 | tr -d ' \n')
check ".gnu_debuglink holds the debug file's CRC ($crc)" test "${link: -8}" = "$crc"

# The DLL holds only what it runs: the string forms of the rules and their
# helpers live outside its code.
extra=$(llvm-nm-19 "$debug_file" 2>/dev/null | grep -oE \
  'CountByte|CountNote|PlanLineBreaks|NormalizeLineBreaks|FormatRecipient|ReplaceAll|EraseChar|CountChar' |
  sort -u | tr '\n' ' ')
check "no string-only helper among its symbols (${extra:-none})" test -z "$extra"

base=$(awk '$1 == "ImageBase:" {print $2}' <<<"$headers")
rva=$(awk '/Name: MAPISendMail/ {found = 1} found && $1 == "RVA:" {print $2; exit}' <<<"$headers")
address=$(printf '0x%x' $((base + rva)))
where=$(llvm-addr2line-19 -f -e "$debug_file" "$address" | tr '\n' ' ')
check "the export's address $address reads as MAPISendMail in its source ($where)" \
  grep -qE '^_?MAPISendMail(@20)? .*src/entry/mapi_send_mail\.cpp:[0-9]+ $' <<<"$where"

[ "$failures" -eq 0 ]
