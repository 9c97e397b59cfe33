#!/usr/bin/env bash
# The provider at work under Wine, installed as on 64-bit Windows: one
# client in C:\Program Files\Quillory with the DLLs beside it. A
# mail-enabled program sends a message through the system's Simple MAPI
# layer; first to a running client, then with no client running, so that the
# provider starts it; then, where this machine runs 32-bit programs, a 32-bit
# program loads the 32-bit DLL from the same folder and starts the same
# client. It builds first, into a log, and prints only what happened.
# usage: demo.sh BUILD_DIR DIST_DIR VERSION   (run by make demo, with MAKE)
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: demo.sh BUILD_DIR DIST_DIR VERSION   (run by make demo)" >&2
  exit 2
fi
root=$(cd "$(dirname "$0")/.." && pwd)
mkdir -p "$1"
build=$(cd "$1" && pwd)
log=$build/demo.log
# Under the display that wine-env.sh brings the script back with, the build
# is done already.
if [ -z "${QUILLORY_WINE_DISPLAY:-}" ]; then
  echo "Building the three DLLs and the test programs (a minute or two the"
  echo "first time, seconds after); the build's output goes to $log"
  started=$(date +%s)
  # make demo has set up the machine already.
  if ! QUILLORY_NO_DEPS=1 "${MAKE:-make}" -C "$root" --no-print-directory dist BUILD="$build" \
    DIST="$2" VERSION="$3" >"$log" 2>&1; then
    cat "$log"
    echo "The build failed; its output is above and in $log."
    exit 1
  fi
  echo "Built in $(($(date +%s) - started)) s."
fi
mkdir -p "$2"
dist=$(cd "$2" && pwd)
source "$root/tests/support/wine-env.sh" "$@"

install_dir="$c/Program Files/Quillory"
out="$c/out"
# The packets outlive the Wine prefix, which goes at exit, and make dist,
# which empties dist/.
keep="$build/demo-packets"
rm -rf "$keep" && mkdir -p "$keep"

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

result_of() { result_field "$out" "$1"; }

# same_as_first STEP: one line on whether the client got the bytes of step 1.
same_as_first() {
  if cmp -s "$install_dir/packet-1.bin" "$keep/step1-running.bin"; then
    echo "   The client received the same $(stat -c %s "$keep/step1-running.bin") bytes as in step 1."
  else
    echo "   The client received other bytes than in step 1:"
    show_received
  fi
}

# STEP: ends the client, keeps the packets it got as STEP.bin, and clears
# its record for the next step.
stop_client() {
  "$wine" 'C:\tools\win64\mail_caller.exe' --kill-clients >/dev/null 2>&1 </dev/null
  cp "$install_dir/packet-1.bin" "$keep/$1.bin" 2>/dev/null || true
  rm -f "$install_dir/received.log" "$install_dir"/packet-*.bin
}

send() {  # [LOADER KIND]
  rm -f "$out/result.txt"
  "${1:-$wine}" "C:\\tools\\${2:-win64}\\mail_caller.exe" --mapi32 --message sample --out 'C:\out' \
    >"$out/caller.txt" 2>&1 </dev/null &
  wait_with_dots $!
  local result
  result=$(result_of result)
  case $result in
    0) echo; echo "   MAPISendMail returned 0 (SUCCESS_SUCCESS) after $(result_of elapsed_ms) ms."
       echo "   (the program had loaded $(result_of provider))" ;;
    2) echo; echo "   MAPISendMail returned 2 (MAPI_E_FAILURE) after $(result_of elapsed_ms) ms." ;;
    *) echo; echo "   the caller did not finish: $(cat "$out/caller.txt")"; exit 1 ;;
  esac
}

echo "Quillory_MapiDll demo (under Wine)"
echo
printf 'Preparing a fresh Wine environment (its first start takes a while)'
prepare_prefix &
wait_with_dots $!
echo " done."

install_dist "$dist" "$install_dir" win64
mkdir -p "$out"
cp "$dist/Quillory_MapiDll.reg" "$c/provider.reg"
"$wine64" regedit /S 'C:\provider.reg' >/dev/null 2>&1 </dev/null
echo "Installed a stand-in Quillory.exe (64-bit) in C:\Program Files\Quillory\ with"
echo "the x86, AMD64 and ARM64 DLLs beside it, registered by dist/Quillory_MapiDll.reg"
echo "(DLLPath ...\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%.dll)."
echo
echo "The message a program sends: subject \"Quarterly report\", a short note,"
echo "three recipients (To, Cc, Bcc) and two attachments."
echo

echo "1. A 64-bit program; the mail client is already running."
printf '   Starting the client..'
"$wine" 'C:\Program Files\Quillory\Quillory.exe' >/dev/null 2>&1 </dev/null &
wait_for_client "$install_dir/received.log" .
echo " its window is up."
printf '   The program calls MAPISendMail through mapi32.dll'
send
show_received
stop_client step1-running
echo

echo "2. A 64-bit program; no mail client is running."
printf '   The program calls MAPISendMail; the provider starts Quillory.exe from its\n'
printf '   own folder and waits for its window'
send
tr -d '\r' <"$install_dir/received.log" | grep -q '^started' &&
  echo "   (the client was started by the provider)"
same_as_first
stop_client step2-started
echo

if why=$(can_run_win32); then
  echo "3. A 32-bit program, through its own mapi32.dll; no mail client is running."
  printf '   %%PROCESSOR_ARCHITECTURE%% is x86 there, so it loads the 32-bit DLL from the\n'
  printf '   same folder, which starts the same Quillory.exe'
  send "$wine32" win32
  tr -d '\r' <"$install_dir/received.log" | grep -q '^started' &&
    echo "   (the one client in C:\Program Files\Quillory was started)"
  same_as_first
  stop_client step3-32bit
else
  echo "3. (A 32-bit program is left out: $why.)"
fi
echo
echo "Run \`make test\` for the full checks. The bytes each step's client received"
echo "are kept in $keep/: $(cd "$keep" && ls *.bin | tr '\n' ' ')"
