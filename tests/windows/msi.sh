#!/usr/bin/env bash
# The Windows Installer package under Wine's 64-bit msiexec, installed
# silently as an administrator deploys it: into the folder of a client that
# is already there (a space and a non-ASCII letter in its name), and into
# the default folder over an older build of the package. Each time a 64-bit
# and a 32-bit program, through their own mapi32.dll, must load the DLL of
# their own kind and reach that client; msiexec /x must leave no DLL and no
# key, and the client's Quillory.exe where it was.
# usage: msi.sh DIST_DIR
set -uo pipefail

dist=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../tools/wine-env.sh" "$@"
source "$here/install-checks.sh"

mkdir -p "$c/pkg"
cp "$dist/Quillory_MapiDll.msi" "$c/pkg/"
# An older build of the package, whose DLLs are marked as such.
old="$WINEPREFIX/old-dist"
mkdir -p "$old/Quillory"
for suffix in "${dll_suffix[@]}"; do
  echo "older build" >"$old/Quillory/Quillory_MapiDll_$suffix.dll"
done
bash "$here/../../packaging/build-msi.sh" "$old" 0.9.0 "$c/pkg/old.msi" >/dev/null

msiexec() { "$wine64" msiexec "$@" /qn >/dev/null 2>&1 </dev/null; }
# products NAME_OR_VERSION: how many installed products' uninstall entries
# show it.
products() {
  query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
    grep -cE "^ +$1\$" || true
}
dlls_as_built() {
  local name
  for name in "${dll_suffix[@]/#/Quillory_MapiDll_}"; do
    cmp -s "$1/$name.dll" "$dist/Quillory/$name.dll" || return 1
  done
}
no_dlls() { ! ls "$1"/Quillory_MapiDll_*.dll >/dev/null 2>&1; }
check_removed() {  # WHAT DIR
  check "$1: msiexec /x succeeds" msiexec /x 'C:\pkg\Quillory_MapiDll.msi'
  check "$1: no DLL left" no_dlls "$2"
  check_unregistered "$1"
  check "$1: the client's Quillory.exe is where it was" test -f "$2/Quillory.exe"
}

custom="$c/Apps/Mail Müller/Quillory"
wincustom='C:\Apps\Mail Müller\Quillory'
put_client "$dist" "$custom" win64
check "installed silently into $wincustom" \
  msiexec /i 'C:\pkg\Quillory_MapiDll.msi' "INSTALLDIR=$wincustom\\"
check "both DLLs as built, beside the client" dlls_as_built "$custom"
check_registration "custom folder" \
  'C:\\Apps\\Mail M.+ller\\Quillory\\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%\.dll'
check_deliveries "custom folder" "$custom" "$wincustom" win64
rm "$custom/Quillory_MapiDll_x86.dll"
check "repair puts a lost DLL back in the custom folder" msiexec /i \
  'C:\pkg\Quillory_MapiDll.msi' REINSTALL=ALL REINSTALLMODE=amus
check "both DLLs as built again" dlls_as_built "$custom"
check_removed "custom folder" "$custom"

default="$c/Program Files/Quillory"
client=${kinds[-1]}
put_client "$dist" "$default" "$client"
check "the older build (0.9.0) installs into the default folder" \
  msiexec /i 'C:\pkg\old.msi'
check "the new build installs over it" msiexec /i 'C:\pkg\Quillory_MapiDll.msi'
check "one product is left, the new one (found $(products 'DisplayVersion +REG_SZ +0\.9\.0') old)" \
  test "$(products 'DisplayName +REG_SZ +Quillory Simple MAPI provider')" = 1 \
  -a "$(products 'DisplayVersion +REG_SZ +0\.9\.0')" = 0
check "the new build's DLLs are in place" dlls_as_built "$default"
refused() { ! msiexec "$@"; }
check "the older build refuses to install over it" refused /i 'C:\pkg\old.msi'
check "which leaves the new build in place" dlls_as_built "$default"
check_registration "upgraded" \
  'C:\\Program Files\\Quillory\\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%\.dll'
check_deliveries "upgraded" "$default" 'C:\Program Files\Quillory' "$client"
check_removed "upgraded" "$default"

mkdir -p "$c/q%X%"
check "a folder whose name holds % is refused" \
  refused /i 'C:\pkg\Quillory_MapiDll.msi' 'INSTALLDIR=C:\q%X%\'

check "and nothing is installed there" no_dlls "$c/q%X%"
check_unregistered "refused"

finish_checks
