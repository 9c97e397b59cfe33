#!/usr/bin/env bash
# Checks what a release DLL carries besides its code: the version resource
# that Explorer and Windows Installer read, and debug information kept
# apart in DEBUG_FILE, tied to the stripped DLL by its .gnu_debuglink and
# good enough to turn the export's address into its source line.
# usage: dll_release.sh OBJDUMP DLL DEBUG_FILE VERSION SUFFIX
set -uo pipefail
if [ $# -ne 5 ]; then
  echo "usage: dll_release.sh OBJDUMP DLL DEBUG_FILE VERSION SUFFIX" >&2
  exit 2
fi
objdump=$1
dll=$2
debug_file=$3
version=$4
suffix=$5
tools=${objdump%objdump}
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

resource=$("${tools}windres" -i "$dll" -O rc 2>/dev/null | tr -d '\r')
IFS=. read -ra fields <<<"$version.0.0.0"
fixed="${fields[0]}, ${fields[1]}, ${fields[2]}, ${fields[3]}"
has_line() { grep -qxF "$1" <<<"$resource"; }
check "FILEVERSION $fixed" has_line " FILEVERSION $fixed"
check "PRODUCTVERSION $fixed" has_line " PRODUCTVERSION $fixed"
for pair in "FileVersion:$version" "ProductVersion:$version" \
  "CompanyName:Quillory" "ProductName:Quillory Simple MAPI provider" \
  "OriginalFilename:Quillory_MapiDll_$suffix.dll"; do
  check "${pair%%:*} \"${pair#*:}\"" \
    has_line "      VALUE \"${pair%%:*}\", \"${pair#*:}\""
done

headers=$("$objdump" -h "$dll")
check "stripped: no debug sections" eval '! grep -q " \.debug_" <<<"$headers"'
section=$(mktemp)
trap 'rm -f "$section"' EXIT
"${tools}objcopy" --dump-section .gnu_debuglink="$section" "$dll" /dev/null 2>/dev/null
link=$(od -An -tx1 "$section" | tr -d ' \n')
name=${debug_file##*/}
name_hex=$(printf '%s' "$name" | od -An -tx1 | tr -d ' \n')
check ".gnu_debuglink names $name" test "${link:0:${#name_hex}}" = "$name_hex"
# The link ends with the debug file's CRC-32, little-endian: the same four
# bytes that end a gzip stream's trailer.
crc=$(gzip -c <"$debug_file" | tail -c 8 | head -c 4 | od -An -tx1 | tr -d ' \n')
check ".gnu_debuglink holds the debug file's CRC ($crc)" test "${link: -8}" = "$crc"

base=$("$objdump" -p "$dll" | awk '$1 == "ImageBase" {print $2}')
rva=$("$objdump" -p "$dll" | awk '/Export RVA/ {print $(NF - 2); exit}')
address=$(printf '0x%x' $((16#$base + 16#$rva)))
where=$("${tools}addr2line" -f -e "$debug_file" "$address" | tr '\n' ' ')
check "the export's address $address reads as MAPISendMail in its source ($where)" \
  grep -qE '^MAPISendMail(@20)? .*src/entry/mapi_send_mail\.cpp:[0-9]+ $' <<<"$where"

[ "$failures" -eq 0 ]
