#!/usr/bin/env bash
# The packaged registration under Wine, as an administrator applies it on
# 64-bit Windows: dist/Quillory_MapiDll.reg imported unchanged with the
# 64-bit regedit, both DLLs installed beside their clients in the two
# Program Files folders; then a 64-bit and a 32-bit program, each through
# its own mapi32.dll, must reach the DLL and client of their own kind. The
# user file sets the user's choice; the uninstall file leaves no key.
# usage: registration.sh DIST_DIR
set -uo pipefail

dist=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tools/wine-env.sh" "$@"

prepare_prefix
kinds=(win64)
if why=$(can_run_win32); then
  kinds+=(win32)
else
  echo "SKIPPED for 32-bit programs: $why"
fi

declare -A loader=([win64]="$wine64" [win32]="$wine32")
mkdir -p "$c/reg" "$c/out"
cp "$dist"/*.reg "$c/reg/"
install_dist "$dist"

is_utf16() { [ "$(head -c 2 "$1" | od -An -tx1 | tr -d ' ')" = fffe ]; }
for file in Quillory_MapiDll.reg Quillory_MapiDll-user.reg Quillory_MapiDll-uninstall.reg; do
  check "dist/$file is UTF-16LE with a byte-order mark, as regedit writes" is_utf16 "$dist/$file"
done

regedit() { "$wine64" regedit /S "C:\\reg\\$1" >/dev/null 2>&1 </dev/null; }
# query KEY [VALUE_ARGS...]: reg's answer with CR removed.
query() { "$wine64" reg query "$@" 2>/dev/null </dev/null | tr -d '\r'; }
key_gone() { ! "$wine64" reg query "$1" >/dev/null 2>&1 </dev/null; }
expand_sz='DLLPath[[:space:]]+REG_EXPAND_SZ[[:space:]]+%ProgramFiles%\\Quillory\\Quillory_MapiDll\.dll$'

regedit Quillory_MapiDll.reg
for key in 'HKLM\Software\Clients\Mail' 'HKLM\Software\WOW6432Node\Clients\Mail'; do
  check "$key names Quillory" \
    grep -qE 'REG_SZ[[:space:]]+Quillory$' <<<"$(query "$key" /ve)"
  check "$key\\Quillory\\DLLPath is REG_EXPAND_SZ %ProgramFiles%\\Quillory\\..." \
    grep -qE "$expand_sz" <<<"$(query "$key\\Quillory" /v DLLPath)"
done

for kind in "${kinds[@]}"; do
  dir="$c/${program_files[$kind]}/Quillory"
  rm -rf "$c/out/$kind" && mkdir -p "$c/out/$kind"
  "${loader[$kind]}" "C:\\tools\\$kind\\mail_caller.exe" --mapi32 \
    --message sample --out "C:\\out\\$kind" >"$c/out/$kind.txt" 2>&1 </dev/null
  result=$(result_field "$c/out/$kind" result)
  check "$kind program through its mapi32.dll: result 0 (got ${result:-none})" \
    test "${result:-none}" = 0
  check "$kind program reached the $kind client in C:\\${program_files[$kind]}\\Quillory" \
    bash -c "tr -d '\r' <'$dir/received.log' | grep -q '^started, pid [0-9]*, ${kind#win}-bit$'"
  check "$kind client got the bytes BuildMailPacket makes" \
    cmp -s "$dir/packet-1.bin" "$c/out/$kind/expected.bin"
  "${loader[$kind]}" "C:\\tools\\$kind\\mail_caller.exe" --kill-clients \
    >/dev/null 2>&1 </dev/null
done

regedit Quillory_MapiDll-user.reg
check "the user's choice names Quillory" \
  grep -qE 'REG_SZ[[:space:]]+Quillory$' <<<"$(query 'HKCU\Software\Clients\Mail' /ve)"

regedit Quillory_MapiDll-uninstall.reg
for key in 'HKLM\Software\Clients\Mail\Quillory' 'HKLM\Software\WOW6432Node\Clients\Mail\Quillory'; do
  check "uninstalled: no $key" key_gone "$key"
done

finish_checks
