#!/usr/bin/env bash
# The install under Wine, as on 64-bit Windows: ONE stand-in client as
# Quillory.exe in its folder, both DLLs beside it under their install
# names, dist/Quillory_MapiDll.reg imported unchanged with the 64-bit
# regedit (as an administrator does there). A 64-bit and a 32-bit program,
# each through its own mapi32.dll, must load the DLL of its own kind and
# reach that one client; once with a 64-bit and once with a 32-bit client.
# Then the folder-specific registration, from a folder with a space and a
# non-ASCII letter in its name, and uninstalling, which leaves no key; the
# script's refusals of a folder it cannot name in full or that lacks the
# client, and both views written whatever PROCESSOR_ARCHITECTURE says.
# Last, folders whose names hold ! or & ^ ( ): registered exactly or
# refused, never another folder; and one with % refused.
# usage: install.sh DIST_DIR
set -uo pipefail
if [ $# -ne 1 ]; then
  echo "usage: install.sh DIST_DIR" >&2
  exit 2
fi

dist=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/wine-env.sh" "$@"
source "$here/install-checks.sh"

is_utf16() { [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = fffe ]; }
for file in Quillory_MapiDll.reg Quillory_MapiDll-user.reg Quillory_MapiDll-uninstall.reg; do
  check "dist/$file is UTF-16LE with a byte-order mark, as regedit writes" is_utf16 "$dist/$file"
done
mkdir -p "$c/reg"
cp "$dist"/*.reg "$c/reg/"
regedit() { "$wine64" regedit /S "C:\\reg\\$1" >/dev/null 2>&1 </dev/null; }

default="$c/Program Files/Quillory"
regedit Quillory_MapiDll.reg
check_registration "packaged" \
  'C:\\Program Files\\Quillory\\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%\.dll'
for client in "${kinds[@]}"; do
  install_dist "$dist" "$default" "$client"
  check_deliveries "packaged" "$default" 'C:\Program Files\Quillory' "$client"
done

regedit Quillory_MapiDll-user.reg
check "the user's choice names Quillory" \
  grep -qE 'REG_SZ[[:space:]]+Quillory$' <<<"$(query 'HKCU\Software\Clients\Mail' /ve)"

regedit Quillory_MapiDll-uninstall.reg
check_unregistered "Quillory_MapiDll-uninstall.reg"
rm -rf "$default"

# run_script WINDIR SCRIPT [SETTING]: the script in WINDIR, in a 64-bit
# cmd, with SETTING (NAME=VALUE) set first if given; its output is left in
# $c/out/SCRIPT.txt. (Wine's cmd takes no quoted path after &&, so then
# the script is started from its folder.)
run_script() {
  local command="$1\\$2"
  [ -n "${3:-}" ] && command="cd /d $1&& set $3&& $2"
  "$wine64" cmd /c "$command" >"$c/out/$2.txt" 2>&1 </dev/null
}
says() { grep -q "$1" "$c/out/$2.txt"; }

# Refused, writing nothing: a folder whose path is too long for cmd to
# give the script (it then names none), and a folder without the client.
long="Apps\\$(printf 'L%.0s' {1..150})\\$(printf 'M%.0s' {1..150})"
install_dist "$dist" "$c/${long//\\//}" win64
check "register.cmd refuses a folder over 260 characters" \
  refused run_script "C:\\$long" Quillory_MapiDll-register.cmd
check "saying it is not a full path" says "not a full path" Quillory_MapiDll-register.cmd
check_unregistered "over 260 characters"
mkdir -p "$c/Apps/NoClient"
cp "$dist"/Quillory/* "$c/Apps/NoClient/"
check "register.cmd refuses a folder without the client" \
  refused run_script 'C:\Apps\NoClient' Quillory_MapiDll-register.cmd
check "naming the missing Quillory.exe" \
  says "Quillory.exe is not in C:.Apps.NoClient" Quillory_MapiDll-register.cmd
check_unregistered "no client"

# The client elsewhere, registered from its own folder by the script that
# lies beside it.
custom="$c/Apps/Mail Müller/Quillory"
wincustom='C:\Apps\Mail Müller\Quillory'
install_dist "$dist" "$custom" win64
check "Quillory_MapiDll-register.cmd in $wincustom succeeds" \
  run_script "$wincustom" Quillory_MapiDll-register.cmd
check_registration "register.cmd" \
  'C:\\Apps\\Mail M.+ller\\Quillory\\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%\.dll'
check_deliveries "register.cmd" "$custom" "$wincustom" win64
check "Quillory_MapiDll-unregister.cmd succeeds" \
  run_script "$wincustom" Quillory_MapiDll-unregister.cmd
check_unregistered "Quillory_MapiDll-unregister.cmd"

# A 64-bit cmd told it runs on x86 still writes and removes both views.
check "register.cmd with PROCESSOR_ARCHITECTURE=x86 succeeds" run_script \
  "$wincustom" Quillory_MapiDll-register.cmd PROCESSOR_ARCHITECTURE=x86
check_registration "PROCESSOR_ARCHITECTURE=x86" \
  'C:\\Apps\\Mail M.+ller\\Quillory\\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%\.dll'
check "unregister.cmd with PROCESSOR_ARCHITECTURE=x86 succeeds" run_script \
  "$wincustom" Quillory_MapiDll-unregister.cmd PROCESSOR_ARCHITECTURE=x86
check_unregistered "PROCESSOR_ARCHITECTURE=x86"

# start_script WINDIR SCRIPT: as run_script, but started as Windows' shell
# starts a script, by its quoted path alone: cmd /c "..." cuts a path that
# holds & before the script runs.
start_script() {
  "$wine64" "$1\\$2" >"$c/out/$2.txt" 2>&1 </dev/null
}
# ere TEXT: an extended regular expression matching TEXT alone.
ere() { sed 's/[][\\.^$*+?(){}|]/\\&/g' <<<"$1"; }

# check_own_folder NAME CHARS: from C:\Apps\NAME, with the client there,
# register.cmd registers exactly that folder, whose client then gets the
# mail; or it refuses with a message naming one of CHARS (a grep pattern)
# and writes no key. unregister.cmd there leaves no key either way.
check_own_folder() {
  local win="C:\\Apps\\$1" dir="$c/Apps/$1"
  install_dist "$dist" "$dir" win64
  if start_script "$win" Quillory_MapiDll-register.cmd; then
    check_registration "$1" \
      "$(ere "$win\\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%.dll")"
    check_deliveries "$1" "$dir" "$win" win64
  else
    check "$1: the refusal names the character" \
      says "$2" Quillory_MapiDll-register.cmd
    check_unregistered "$1, refused"
  fi
  check "unregister.cmd in $win succeeds" \
    start_script "$win" Quillory_MapiDll-unregister.cmd
  check_unregistered "unregister.cmd in $win"
}

# A ! in the folder's name, beside a folder named without it that holds a
# client: delayed expansion eats the !, and the script then checked and
# registered the other folder. Without a client of its own it must refuse.
mkdir -p "$c/Apps/a!b"
cp "$dist"/Quillory/* "$c/Apps/a!b/"
put_client "$dist" "$c/Apps/ab" win64
check 'register.cmd in C:\Apps\a!b without a client there refuses' \
  refused start_script 'C:\Apps\a!b' Quillory_MapiDll-register.cmd
check_unregistered 'a!b without a client'
check_own_folder 'a!b' '!'
check 'the client in C:\Apps\ab got nothing' test ! -e "$c/Apps/ab/received.log"
# & ^ ( ) and spaces, which cmd parses as syntax outside quotes.
check_own_folder 'a&b^c (x)' '[&^()]'
# A % is refused, without expanding it on the way: Wine's cmd hands the
# script this folder as C:\Apps\a%b\, Windows' cmd as it is.
install_dist "$dist" "$c/Apps/a%%b" win64
check 'register.cmd in C:\Apps\a%%b refuses' \
  refused start_script 'C:\Apps\a%%b' Quillory_MapiDll-register.cmd
check "saying the name holds %" says "holds %" Quillory_MapiDll-register.cmd
check_unregistered 'a%%b'

finish_checks
