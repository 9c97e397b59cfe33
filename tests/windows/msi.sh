#!/usr/bin/env bash
# The Windows Installer package under Wine's 64-bit msiexec, installed
# silently as an administrator deploys it: into the folder of a client that
# is already there (a space and a non-ASCII letter in its name), and into
# the default folder over an older build of the package. Each time a 64-bit
# and a 32-bit program, through their own mapi32.dll, must load the DLL of
# their own kind and reach that client; msiexec /x must leave no DLL and no
# key, and the client's Quillory.exe where it was. Then what an
# administrator may get wrong: a relative folder, a folder without the
# client, another client made the default, a folder changed at an upgrade,
# the same version built twice.
# usage: msi.sh DIST_DIR
set -uo pipefail
if [ $# -ne 1 ]; then
  echo "usage: msi.sh DIST_DIR" >&2
  exit 2
fi

dist=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/wine-env.sh" "$@"
source "$here/install-checks.sh"

mkdir -p "$c/pkg"
cp "$dist/Quillory_MapiDll.msi" "$c/pkg/"
# An older build of the package, whose DLLs are marked as such.
old="$WINEPREFIX/old-dist"
mkdir -p "$old/Quillory"
for suffix in "${install_suffixes[@]}"; do
  echo "older build" >"$old/Quillory/Quillory_MapiDll_$suffix.dll"
done
bash "$here/../../packaging/build-msi.sh" "$old" 0.9.0 "$c/pkg/old.msi" >/dev/null
# The same version built again (another product code), and a later one.
bash "$here/../../packaging/build-msi.sh" "$dist" 1.0.0 "$c/pkg/rebuilt.msi" >/dev/null
bash "$here/../../packaging/build-msi.sh" "$dist" 1.0.1 "$c/pkg/later.msi" >/dev/null

# From C:\, where a relative folder would land.
msiexec() { (cd "$c" && "$wine64" msiexec "$@" /qn >/dev/null 2>&1 </dev/null); }
# products NAME_OR_VERSION: how many installed products' uninstall entries
# show it.
products() {
  query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s |
    grep -cE "^ +$1\$" || true
}
dlls_as_built() {
  local name
  for name in "${install_suffixes[@]/#/Quillory_MapiDll_}"; do
    cmp -s "$1/$name.dll" "$dist/Quillory/$name.dll" || return 1
  done
}
no_dlls() { ! ls "$1"/Quillory_MapiDll_*.dll >/dev/null 2>&1; }
# mail_default NAME: both views' Clients\Mail default is NAME ("" for none).
mail_default() {
  local key value
  for key in 'HKLM\Software\Clients\Mail' 'HKLM\Software\WOW6432Node\Clients\Mail'; do
    value=$(query "$key" /ve | awk '$2 == "REG_SZ" {sub(/^ *[^ ]+ +REG_SZ +/, ""); print}')
    [ "$value" = "(value not set)" ] && value=""
    [ "$value" = "$1" ] || return 1
  done
}
set_mail_default() {
  local view
  for view in 64 32; do
    "$wine64" reg add 'HKLM\Software\Clients\Mail' /ve /d "$1" /f /reg:$view \
      >/dev/null 2>&1 </dev/null
  done
}
# check_removed WHAT DIR PACKAGE [DEFAULT]: msiexec /x of the installed
# PACKAGE (in C:\pkg) leaves DEFAULT ("" for none) as the default.
check_removed() {
  check "$1: msiexec /x succeeds" msiexec /x "C:\\pkg\\$3"
  check "$1: no DLL left" no_dlls "$2"
  check_unregistered "$1"
  check "$1: the Clients\Mail default is '${4:-}' in both views" mail_default "${4:-}"
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
# Another client made itself the default since.
set_mail_default "Other Mail"
check "the same version built again installs over it" msiexec /i 'C:\pkg\rebuilt.msi'
check "one product is left" \
  test "$(products 'DisplayName +REG_SZ +Quillory Simple MAPI provider')" = 1
check "in the folder it remembered" dlls_as_built "$custom"
check "the upgrade kept the other client as the default" mail_default "Other Mail"
check_removed "custom folder, another client the default" "$custom" rebuilt.msi \
  "Other Mail"

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
check "the older build refuses to install over it" refused msiexec /i 'C:\pkg\old.msi'
check "which leaves the new build in place" dlls_as_built "$default"
check_registration "upgraded" \
  'C:\\Program Files\\Quillory\\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%\.dll'
check_deliveries "upgraded" "$default" 'C:\Program Files\Quillory' "$client"
# A later version into another folder, given without its backslash: the
# folder given wins over the one remembered.
moved="$c/Apps/B"
put_client "$dist" "$moved" "$client"
check "a later version installs into C:\Apps\B" \
  msiexec /i 'C:\pkg\later.msi' 'INSTALLDIR=C:\Apps\B'
check "its DLLs are in C:\Apps\B" dlls_as_built "$moved"
check "and none is left in the old folder" no_dlls "$default"
check_registration "moved" 'C:\\Apps\\B\\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%\.dll'
check_removed "moved" "$moved" later.msi

# Each refused with its client there, so that only the folder's name is
# at fault; a relative folder would land below msiexec's current one.
put_client "$dist" "$c/q%X%" win64
check "a folder whose name holds % is refused" \
  refused msiexec /i 'C:\pkg\Quillory_MapiDll.msi' 'INSTALLDIR=C:\q%X%\'
check "and nothing is installed there" no_dlls "$c/q%X%"
put_client "$dist" "$c/Apps/Rel" win64
check "a relative folder is refused" \
  refused msiexec /i 'C:\pkg\Quillory_MapiDll.msi' 'INSTALLDIR=Apps\Rel\'
check "and nothing is installed below the current folder" no_dlls "$c/Apps/Rel"
mkdir -p "$c/Apps/Empty"
check "a folder without Quillory.exe is refused" \
  refused msiexec /i 'C:\pkg\Quillory_MapiDll.msi' 'INSTALLDIR=C:\Apps\Empty\'
check "and nothing is installed there" no_dlls "$c/Apps/Empty"
check_unregistered "refused"
check "CLIENT_LATER=1 installs before the client" msiexec /i \
  'C:\pkg\Quillory_MapiDll.msi' 'INSTALLDIR=C:\Apps\Empty\' CLIENT_LATER=1
check "its DLLs are there" dlls_as_built "$c/Apps/Empty"
check "msiexec /x removes them" msiexec /x 'C:\pkg\Quillory_MapiDll.msi'
check_unregistered "installed before the client"

finish_checks
