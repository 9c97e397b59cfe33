#!/usr/bin/env bash
# The provider at work under Wine: a mail-enabled program sends a message
# through the system's Simple MAPI layer; first to a running client, then
# with no client running, so that the provider starts it.
# usage: demo.sh MINGW_X86_64_BUILD_DIR
set -euo pipefail

build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tools/wine-env.sh" "$@"

install_dir="$c/Program Files/Quillory"
out="$c/out"

# Dots while a background job runs, so a wait never looks like a hang.
wait_with_dots() {
  local pid=$1
  while kill -0 "$pid" 2>/dev/null; do
    printf '.'
    sleep 1
  done
  wait "$pid" || true
}

# The client's record, with the note's CR LF breaks shown as line ends.
show_received() {
  echo "   The client received:"
  tr -d '\r' <"$install_dir/received.log" | awk '/^packet /{p=1} p' |
    sed -e '/^  note text: /{s/^  note text: /  note text (each line break arrived as CR LF):\n    | /' \
      -e 's/\\r\\n/\n    | /g}' | sed 's/^/      /'
}

result_of() { tr -d '\r' <"$out/result.txt" | awk -v k="$1" '$1 == k {print $2}'; }

send() {
  rm -f "$out/result.txt"
  "$wine" 'C:\tools\mail_caller.exe' --mapi32 --message sample --out 'C:\out' \
    >"$out/caller.txt" 2>&1 </dev/null &
  wait_with_dots $!
  local result
  result=$(result_of result)
  case $result in
    0) echo " MAPISendMail returned 0 (SUCCESS_SUCCESS) after $(result_of elapsed_ms) ms." ;;
    2) echo " MAPISendMail returned 2 (MAPI_E_FAILURE) after $(result_of elapsed_ms) ms." ;;
    *) echo " the caller did not finish: $(cat "$out/caller.txt")"; exit 1 ;;
  esac
}

echo "Quillory_MapiDll demo (64-bit DLL, under Wine)"
echo
printf 'Preparing a fresh Wine environment (its first start takes a while)'
"$wine" wineboot -i >/dev/null 2>&1 &
wait_with_dots $!
echo " done."

mkdir -p "$install_dir" "$c/tools" "$out"
cp "$build/Quillory_MapiDll.dll" "$install_dir/"
cp "$build/tools/standin_client.exe" "$install_dir/Quillory.exe"
cp "$build/tools/mail_caller.exe" "$c/tools/"
cp "$root/packaging/Quillory_MapiDll-win64.reg" "$c/provider.reg"
"$wine" regedit /S 'C:\provider.reg' >/dev/null 2>&1 </dev/null
echo "Installed C:\\Program Files\\Quillory\\Quillory_MapiDll.dll beside a stand-in"
echo "Quillory.exe, and registered it as the system's mail provider"
echo "(dist/Quillory_MapiDll-win64.reg)."
echo
echo "The message a program sends: subject \"Quarterly report\", a short note,"
echo "three recipients (To, Cc, Bcc) and two attachments."
echo

echo "1. The mail client is already running."
printf '   Starting the client..'
"$wine" 'C:\Program Files\Quillory\Quillory.exe' >/dev/null 2>&1 </dev/null &
wait_for_client "$install_dir/received.log" .
echo " its window is up."
printf '   The program calls MAPISendMail through mapi32.dll'
send
show_received
"$wine" 'C:\tools\mail_caller.exe' --kill-clients >/dev/null 2>&1 </dev/null
rm -f "$install_dir/received.log" "$install_dir"/packet-*.bin
echo

echo "2. No mail client is running."
printf '   The program calls MAPISendMail; the provider starts Quillory.exe from its\n'
printf '   own folder and waits for its window'
send
tr -d '\r' <"$install_dir/received.log" | grep -q '^started' &&
  echo "   (the client was started by the provider)"
show_received
echo
echo "The raw bytes of each packet are in packet-N.bin beside the client; run"
echo "\`make test\` for the full checks."
