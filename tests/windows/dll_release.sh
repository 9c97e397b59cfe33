#!/usr/bin/env bash
# Checks what a release DLL carries besides its code: the version resource
# that Explorer and Windows Installer read; no debug information or symbols
# of its own, but a CodeView record naming its PDB by file name alone; and
# the PDB and the DLL in SYMBOLS, the symbol store make dist leaves, where a
# debugger's symbol path finds them by the keys a symbol server uses. The
# PDB must match the record (GUID and age), turn the export's address into
# its source line, list the hand-off's calls among the guard table's valid
# targets, and hold no code the DLL never runs; neither file may hold a
# path of the tree it was built in. Read with LLVM's tools, which know
# every architecture the DLL ships for.
# usage: dll_release.sh DLL SYMBOLS VERSION SUFFIX
set -uo pipefail
if [ $# -ne 4 ]; then
  echo "usage: dll_release.sh DLL SYMBOLS VERSION SUFFIX" >&2
  exit 2
fi
dll=$1
symbols=$2
version=$3
suffix=$4
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$(dirname "$0")/../support/checks.sh"
check_prefix="$suffix: "
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
section() {  # FILE NAME: the section's bytes as hex, one run
  llvm-objcopy-19 --dump-section "$2=$work/section" "$1" "$work/copy" 2>/dev/null &&
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

headers=$(llvm-readobj-19 --file-headers --sections --coff-exports \
  --coff-debug-directory --coff-load-config "$dll")
field() { awk -v name="$1:" '$1 == name {print $2; exit}' <<<"$headers"; }
check "stripped: no debug sections, no symbol table" eval \
  '! grep -q "Name: \.debug_" <<<"$headers" && [ "$(field PointerToSymbolTable)" = 0x0 ]'
pdb_name=Quillory_MapiDll_$suffix.pdb
check "its CodeView record names $pdb_name alone" \
  test "$(field PDBFileName)" = "$pdb_name"

# The keys a symbol server files them under: the PDB's GUID and age, the
# DLL's time stamp and image size (hex, the stamp in 8 digits).
guid=$(field PDBGUID | tr -d '{}-')
pdb=$symbols/$pdb_name/$guid$(printf '%x' "$(field PDBAge)")/$pdb_name
summary=$(llvm-pdbutil-19 dump --summary "$pdb" 2>/dev/null)
check "the store holds it as ${pdb#"$symbols"/}" test -f "$pdb"
check "with the record's GUID and age" test \
  "$(awk '$1 == "GUID:" {guid = $2} $1 == "Age:" {age = $2} END {print guid age}' \
    <<<"$summary" | tr -d '{}-')" \
  = "$guid$(field PDBAge)"
stamp=$(awk '$1 == "TimeDateStamp:" {print $NF; exit}' <<<"$headers" | tr -d '()')
name=Quillory_MapiDll_$suffix.dll
stored=$symbols/$name/$(printf '%08X%x' "$stamp" "$(field SizeOfImage)")/$name
check "and the DLL as ${stored#"$symbols"/}, the same code" \
  eval '[ -n "$(section "$dll" .text)" ] && [ "$(section "$dll" .text)" = "$(section "$stored" .text)" ]'

# Read from the PDB alone, beside a copy of the DLL, as a debugger would.
cp "$dll" "$pdb" "$work/" 2>/dev/null
copy=$work/${dll##*/}
base=$(field ImageBase)
rva=$(awk '/Name: MAPISendMail/ {found = 1} found && $1 == "RVA:" {print $2; exit}' <<<"$headers")
address=$(printf '0x%x' $((base + rva)))
where=$(llvm-symbolizer-19 --obj="$copy" "$address" 2>&1 | tr '\n' ' ')
check "the export's address $address reads as MAPISendMail in its source ($where)" \
  grep -qE '^MAPISendMail src\\entry\\mapi_send_mail\.cpp:[0-9]+:[0-9]+ +$' <<<"$where"
targets=$(sed -n '/^GuardFidTable/,/^]/p' <<<"$headers" | grep -oE '0x[0-9A-F]+' |
  llvm-symbolizer-19 --obj="$copy" --no-inlines 2>/dev/null)
check "the guard table's valid targets include the hand-off's calls" \
  grep -q "::SendCopyData\$" <<<"$targets"

# The DLL holds only what it runs: the string forms of the rules and their
# helpers live outside its code.
extra=$(llvm-pdbutil-19 dump --publics --symbols "$pdb" 2>/dev/null | grep -oE \
  'CountByte|CountNote|PlanLineBreaks|NormalizeLineBreaks|FormatRecipient|ReplaceAll|EraseChar|CountChar' |
  sort -u | tr '\n' ' ')
check "no string-only helper among its symbols (${extra:-none})" test -z "$extra"

# Build paths would differ between two trees, and tell where it was built.
check "no path of the tree it was built in" eval \
  '! grep -qF "$root" <(strings -a "$dll" "$pdb"; strings -a -el "$dll" "$pdb") 2>/dev/null'

finish_checks
