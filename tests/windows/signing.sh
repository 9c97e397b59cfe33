#!/usr/bin/env bash
# A release as a vendor makes it: `make dist` with a version and a
# code-signing certificate (a throwaway one, from a throwaway CA), into a
# folder of its own. Every DLL and the package must carry a signature that
# verifies against that CA, the version everywhere Windows reads one, and
# the signed DLLs must be in the symbol store with PDBs that match them. A
# bad password, a bad version and a changed byte must each be caught; a
# certificate that does not open or verify stops the release before
# anything is built or signed.
# usage: signing.sh BUILD_DIR
set -uo pipefail
if [ $# -ne 1 ]; then
  echo "usage: signing.sh BUILD_DIR" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
source "$root/tests/support/checks.sh"

cd "$work"
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throwaway Test CA" \
  -addext basicConstraints=critical,CA:TRUE -addext keyUsage=critical,keyCertSign \
  -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Quillory Test Signing" \
  -keyout signer.key -out signer.csr 2>/dev/null
printf 'extendedKeyUsage=codeSigning\nkeyUsage=critical,digitalSignature\n' >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial \
  -days 2 -extfile signer.ext -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -passout pass:'s3cret pw' \
  -out signer.pfx
# A self-signed one, whose chain verifies against no CA bundle but itself.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Self-Signed Test" \
  -addext extendedKeyUsage=codeSigning -keyout self.key -out self.pem 2>/dev/null
openssl pkcs12 -export -inkey self.key -in self.pem -passout pass:pw -out self.pfx

release() {  # DIST VERSION PASSWORD
  make -C "$root" --no-print-directory dist BUILD="$build" DIST="$1" VERSION="$2" \
    CODESIGN_PFX="$work/signer.pfx" CODESIGN_PASSWORD="$3" \
    CODESIGN_CA="$work/ca.pem" >"$work/make.log" 2>&1
}
verifies() { osslsigncode verify -CAfile "$work/ca.pem" -in "$1" >/dev/null 2>&1; }

check "make dist VERSION=1.2.3 with a certificate succeeds" release "$work/dist" 1.2.3 's3cret pw'
dist=$work/dist
for file in win32/Quillory_MapiDll.dll win64/Quillory_MapiDll.dll \
  arm64/Quillory_MapiDll.dll Quillory/Quillory_MapiDll_x86.dll \
  Quillory/Quillory_MapiDll_AMD64.dll Quillory/Quillory_MapiDll_ARM64.dll \
  Quillory_MapiDll.msi; do
  check "$file: its signature verifies against the CA" verifies "$dist/$file"
done
for pair in win32:x86 win64:AMD64 arm64:ARM64; do
  dir=${pair%%:*} suffix=${pair#*:}
  check "the install set's $suffix DLL is the signed $dir one" \
    cmp -s "$dist/$dir/Quillory_MapiDll.dll" "$dist/Quillory/Quillory_MapiDll_$suffix.dll"
  check "the signed $suffix DLL keeps its version, and is in the symbol store with its PDB" \
    bash "$root/tests/windows/dll_release.sh" "$dist/$dir/Quillory_MapiDll.dll" "$dist/symbols" \
    1.2.3 "$suffix"
done
table() { msiinfo export "$dist/Quillory_MapiDll.msi" "$1" | tr -d '\r'; }
check "the package's ProductVersion is 1.2.3" \
  grep -qxP 'ProductVersion\t1\.2\.3' <<<"$(table Property)"
check "its File table gives the three DLLs the file version 1.2.3.0" \
  test "$(table File | grep -cP '\tQuillory_MapiDll_(x86|AMD64|ARM64)\.dll\t[0-9]+\t1\.2\.3\.0\t')" = 3

cp "$dist/win64/Quillory_MapiDll.dll" changed.dll
printf 'X' | dd of=changed.dll bs=1 seek=4096 conv=notrunc 2>/dev/null
check "a DLL changed after signing no longer verifies" refused verifies changed.dll
check "an unsigned DLL does not verify" refused verifies "$build/mingw-x86_64/Quillory_MapiDll.dll"
check "a wrong password fails the release" refused release "$work/dist-bad" 1.2.3 wrong
check "naming the password, before anything is built" \
  grep -q "does not open with the password given" "$work/make.log"
check "and leaving nothing" test ! -e "$work/dist-bad"
self_signed() {
  make -C "$root" --no-print-directory dist BUILD="$build" DIST="$work/dist-self" \
    VERSION=1.2.3 CODESIGN_PFX="$work/self.pfx" CODESIGN_PASSWORD=pw CODESIGN_CA= \
    >"$work/make.log" 2>&1
}
check "a self-signed certificate without CODESIGN_CA fails the release" refused self_signed
check "saying its chain does not verify, and naming CODESIGN_CA" \
  grep -q "chain does not verify.*CODESIGN_CA=" <<<"$(tr '\n' ' ' <"$work/make.log")"
check "before anything is built or signed" \
  test ! -e "$work/dist-self" -a -z "$(grep -l 'Build files have been written' "$work/make.log")"
check "VERSION=banana fails the release" refused release "$work/dist-banana" banana 's3cret pw'
check "naming the problem, before anything is built" \
  grep -q "VERSION 'banana' is not" "$work/make.log"

finish_checks
