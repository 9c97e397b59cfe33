#!/usr/bin/env bash
# Collects the built DLLs, test programs and registration into DIST, builds the
# package, and signs what it ships when a certificate is given.
#   CODESIGN_PFX       the vendor's code-signing certificate and key (PKCS#12)
#   CODESIGN_PASSWORD  its password
#   CODESIGN_TIMESTAMP an RFC 3161 time-stamp server, if any (the
#                      signature then outlives the certificate)
#   CODESIGN_CA        the CA bundle the signatures are checked against
#                      (by default the system's)
# The DLLs are signed before the package is built, since the package
# carries them; then the package itself.
# usage: dist.sh BUILD DIST VERSION
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: dist.sh BUILD DIST VERSION" >&2
  exit 2
fi
build=$1
dist=$2
version=$3
root=$(cd "$(dirname "$0")/.." && pwd)
# make dist has checked the version and the certificate already, before
# building anything.

sign() {
  [ -n "${CODESIGN_PFX:-}" ] || return 0
  local args=(sign -pkcs12 "$CODESIGN_PFX" -readpass "$passfile" -h sha256
    -n "Quillory Simple MAPI provider")
  [ -z "${CODESIGN_TIMESTAMP:-}" ] || args+=(-ts "$CODESIGN_TIMESTAMP")
  osslsigncode "${args[@]}" -in "$1" -out "$1.signed" >/dev/null
  mv "$1.signed" "$1"
}
verify() {
  local args=(verify -in "$1")
  [ -z "${CODESIGN_CA:-}" ] || args+=(-CAfile "$CODESIGN_CA")
  if ! osslsigncode "${args[@]}" >"$1.verify.log" 2>&1; then
    cat "$1.verify.log" >&2
    echo "the signature of $1 does not verify" >&2
    exit 1
  fi
  rm -f "$1.verify.log"
}
if [ -n "${CODESIGN_PFX:-}" ]; then
  # The password goes by a private file, never on a command line.
  passfile=$(mktemp)
  trap 'rm -f "$passfile"' EXIT
  printf '%s' "${CODESIGN_PASSWORD:-}" >"$passfile"
fi

# store_symbols DLL PDB: both into the symbol store $dist/symbols, laid out
# as a symbol server's (what a debugger's symbol path points at): the PDB
# under the GUID and age that the DLL's CodeView record asks for, the DLL
# under its time stamp and image size, as a minidump names it.
store_symbols() {
  local stamp size guid age
  read -r stamp size guid age < <(llvm-readobj-19 --file-headers \
    --coff-debug-directory "$1" | awk '
    $1 == "TimeDateStamp:" && !stamp {stamp = $NF; gsub(/[()]/, "", stamp)}
    $1 == "SizeOfImage:" {size = $2}
    $1 == "PDBGUID:" {guid = $2; gsub(/[{}-]/, "", guid)}
    $1 == "PDBAge:" {age = $2}
    END {print stamp, size, guid, age}')
  local keys=("$(printf '%08X%x' "$stamp" "$size")" "$guid$(printf '%x' "$age")")
  local files=("$1" "$2") i
  for i in 0 1; do
    local name=${files[i]##*/}
    mkdir -p "$dist/symbols/$name/${keys[i]}"
    cp "${files[i]}" "$dist/symbols/$name/${keys[i]}/"
  done
}

rm -rf "$dist"
mkdir -p "$dist/win32" "$dist/win64" "$dist/arm64" "$dist/Quillory" "$dist/symbols"
# The install set: each DLL under the name that the registration's
# %PROCESSOR_ARCHITECTURE% picks (x86 in every 32-bit process, AMD64 in
# every x64 one, ARM64 in native ARM64 ones), the same bytes as the
# build's own name. The test programs need a C++ runtime, which the ARM64
# toolchain lacks.
for triple in mingw-i686:win32:x86 mingw-x86_64:win64:AMD64 clang-aarch64:arm64:ARM64; do
  IFS=: read -r from dir suffix <<<"$triple"
  from=$build/$from
  cp "$from/Quillory_MapiDll.dll" "$dist/$dir/"
  sign "$dist/$dir/Quillory_MapiDll.dll"
  cp "$dist/$dir/Quillory_MapiDll.dll" "$dist/Quillory/Quillory_MapiDll_$suffix.dll"
  store_symbols "$dist/Quillory/Quillory_MapiDll_$suffix.dll" \
    "$from/Quillory_MapiDll_$suffix.pdb"
  [ -f "$from/tests/support/mail_caller.exe" ] || continue
  cp "$from/tests/support/standin_client.exe" "$dist/$dir/quillory_standin_client.exe"
  cp "$from/tests/support/mail_caller.exe" "$dist/$dir/quillory_mail_caller.exe"
  cp "$from/examples/client/quillory_example_client.exe" "$dist/$dir/"
done
# The register scripts with CR LF, which cmd's labels need.
for f in "$root"/packaging/*.cmd; do
  sed 's/$/\r/' "$f" >"$dist/Quillory/${f##*/}"
done
bash "$root/packaging/build-msi.sh" "$dist" "$version" "$dist/Quillory_MapiDll.msi"
sign "$dist/Quillory_MapiDll.msi"
# The registry files as regedit writes them: UTF-16LE with a byte-order
# mark, CR LF.
for f in "$root"/packaging/*.reg; do
  { printf '\377\376'; sed 's/$/\r/' "$f" | iconv -f UTF-8 -t UTF-16LE; } \
    >"$dist/${f##*/}"
done

if [ -n "${CODESIGN_PFX:-}" ]; then
  for f in "$dist"/win*/Quillory_MapiDll.dll "$dist"/arm64/Quillory_MapiDll.dll \
    "$dist"/Quillory/*.dll "$dist/Quillory_MapiDll.msi"; do
    verify "$f"
  done
  echo "signed and verified: the DLLs and $dist/Quillory_MapiDll.msi"
fi
