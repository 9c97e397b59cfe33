#!/usr/bin/env bash
# End-to-end tests of the DLL under Wine: real user32, shell32 and mapi32,
# with the stand-in client and a caller of the same kind as the DLL, which
# loads the provider as mail-enabled programs do. One fresh Wine prefix and
# X display per run. Exits 77 (skipped) for the 32-bit DLL where 32-bit
# programs cannot run.
# usage: e2e.sh MINGW_BUILD_DIR win32|win64
set -uo pipefail
if [ $# -ne 2 ] || { [ "$2" != win32 ] && [ "$2" != win64 ]; }; then
  echo "usage: e2e.sh MINGW_BUILD_DIR win32|win64" >&2
  exit 2
fi

build=$(cd "$1" && pwd)
arch=$2
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/tests/support/wine-env.sh" "$@"
if [ "$arch" = win32 ]; then
  if ! why=$(can_run_win32); then
    echo "SKIPPED: $why, so the 32-bit DLL was checked by its structure only"
    skipped "the 32-bit DLL end to end" "$why"
    exit 77
  fi
  wine=$wine32
fi
echo "the $arch DLL, with a $arch client and caller"

echo "preparing a Wine prefix..."
prepare_prefix

# Folders, as Windows paths and their Unix twins.
install_client() {  # DIR [DLL_NAME]: a client with the provider beside it
  mkdir -p "$1"
  cp "$build/tests/support/standin_client.exe" "$1/Quillory.exe"
  cp "$build/Quillory_MapiDll.dll" "$1/${2:-Quillory_MapiDll.dll}"
}
mkdir -p "$c/tools" "$c/out" "$c/empty"
cp "$build/tests/support/mail_caller.exe" "$build/tests/support/debug_listener.exe" "$c/tools/"
install_client "$c/running"
install_client "$c/Program Files/Quillory Mail" "Quillory Provider.dll"
for dir in late hung held busy gone shy replaced replacing planted silent; do
  install_client "$c/$dir"
done
# A folder where the client should be.
mkdir -p "$c/exefolder/Quillory.exe"
cp "$build/Quillory_MapiDll.dll" "$c/exefolder/"
cp "$build/Quillory_MapiDll.dll" "$c/empty/"
# deep NAME LENGTH: a folder path about LENGTH characters long under C:\.
deep() { printf '%s' "$1"; for _ in $(seq $(($2 / 100))); do printf '/%099d' 0; done; }
long_dir=$(deep running/long 300)
deep300=$(deep deep300 300)
deep1000=$(deep deep1000 1000)
for dir in "$long_dir" "$deep300" "$deep1000" 'q%X%'; do
  mkdir -p "$c/$dir"
  cp "$build/Quillory_MapiDll.dll" "$c/$dir/"
done
winpath() { printf 'C:\\%s' "${1//\//\\}"; }

# call OUT_NAME ARGS...: runs the caller, leaves result and elapsed time in
# $result and $elapsed. Output goes to files: a started client inherits it.
call() {
  local out=$1
  shift
  mkdir -p "$c/out/$out"
  # Bounded: a provider that hangs or crashes its caller fails a check
  # instead of stopping the suite. Wine prints the provider's debug output
  # and its event stubs' arguments and strings on these channels.
  WINEDEBUG=-all,err+eventlog,warn+seh,fixme+advapi \
    timeout -k 10 120 "$wine" 'C:\tools\mail_caller.exe' "$@" --out "C:\\out\\$out" \
    >"$c/out/$out/caller.txt" 2>&1 </dev/null
  result=$(result_field "$c/out/$out" result)
  elapsed=$(result_field "$c/out/$out" elapsed_ms)
  result=${result:-none}
  elapsed=${elapsed:-0}
}

# report OUT lines|ids|strings: what the provider reported of the call
# OUT, as Wine shows it: its debug lines (whole ones only, Wine cuts long
# ones short), each event's id, and their strings, one a line (an empty
# one left out).
report() {
  local file="$c/out/$1/caller.txt"
  case $2 in
    lines) tr -d '\r' <"$file" |
      sed -n 's/^[0-9a-f]*:warn:seh:OutputDebugStringA "\(.*\)\\r\\n"$/\1/p' ;;
    ids) tr -d '\r' <"$file" |
      sed -n 's/^.*:fixme:advapi:ReportEventW ([^,]*,[^,]*,[^,]*,0x\([0-9a-f]*\),.*/\1/p' |
      while read -r id; do echo $((16#$id)); done ;;
    strings) tr -d '\r' <"$file" |
      sed -n 's/^[0-9a-f]*:err:eventlog:ReportEventW L"\(.*\)"$/\1/p' ;;
  esac
}
no_marker() { ! grep -q QuilloryMarker "$c/out/$1/caller.txt"; }
# logged OUT ID WORDS [ERROR]: one event, ID, its first string holding
# WORDS and its second the system's ERROR; one debug line saying both; and
# nothing of the message's markers anywhere.
logged() {
  local strings line
  strings=$(report "$1" strings)
  line=$(report "$1" lines)
  [ "$(report "$1" ids)" = "$2" ] &&
    grep -qF -- "$3" <<<"$(head -n 1 <<<"$strings")" &&
    { [ -z "${4:-}" ] || [ "$(sed -n 2p <<<"$strings")" = "$4" ]; } &&
    [ "$(wc -l <<<"$line")" -eq 1 ] && [[ $line == "Quillory MAPI: "*"$3"* ]] &&
    { [ -z "${4:-}" ] || [[ $line == *"; system error $4: "* ]]; } &&
    no_marker "$1"
}
# delivered_only OUT: no event, one short debug line naming the delivery.
delivered_only() {
  [ -z "$(report "$1" ids)" ] && [ -z "$(report "$1" strings)" ] &&
    [[ $(report "$1" lines) =~ ^"Quillory MAPI: delivered to the client's window (process "[0-9]+"), "[0-9]+" bytes, "[0-9]+" ms"$ ]] &&
    no_marker "$1"
}

start_client() {  # DIR [ENV=VALUE...]: starts it and waits for its window
  local dir=$1
  shift
  rm -f "$c/$dir"/received.log "$c/$dir"/packet-*.bin
  env "$@" "$wine" "C:\\$dir\\Quillory.exe" >/dev/null 2>&1 </dev/null &
  wait_for_client "$c/$dir/received.log"
}

kill_clients() {
  "$wine" 'C:\tools\mail_caller.exe' --kill-clients >/dev/null 2>&1 </dev/null
}
stop_clients() { check "clients stopped, no client window left" kill_clients; }

packets_in() { ls "$c/$1"/packet-*.bin 2>/dev/null | wc -l; }
same_bytes() { cmp -s "$1" "$2"; }
is_hex() { [ "$(od -An -v -tx1 "$1" | tr -s ' \n' ' ' | sed 's/^ //;s/ $//')" = "$2" ]; }

echo "client running"
check "client starts and shows its window" start_client running
n=0
for message in empty worked linebreaks recipients attachments sample large; do
  call "$message" --dll 'C:\running\Quillory_MapiDll.dll' --message "$message"
  n=$((n + 1))
  check "$message: result 0" test "$result" = 0
  check "$message: client got the bytes BuildMailPacket makes" \
    same_bytes "$c/running/packet-$n.bin" "$c/out/$message/expected.bin"
done
check "empty message arrives as 16 zero bytes" \
  is_hex "$c/running/packet-1.bin" "$(printf '00 %.0s' {1..16} | sed 's/ $//')"
check "worked example arrives byte for byte" is_hex "$c/running/packet-2.bin" \
  "02 00 00 00 41 42 04 00 00 00 78 0d 0a 79 01 00 00 00 07 00 00 00 22 4e 22 20 3c 61 3e 01 00 00 00 04 00 00 00 43 3a 5c 66"
check "every packet tagged with dwData 943" \
  test "$(tr -d '\r' <"$c/running/received.log" | grep -c 'dwData 943$')" -eq "$n"

# A message of one's own, every kind of field: command-line text made 8-bit
# as a caller's own conversion does (Wine's ANSI code page here is 1252),
# the note file's bytes as they are, each recipient form, a display name.
printf 'Own note\r\nwith \xe9, a lone\rCR\n' >"$c/tools/note.txt"
call own --dll 'C:\running\Quillory_MapiDll.dll' --subject 'Grüße, Привет' \
  --note-file 'C:\tools\note.txt' --to 'Bob Jones <bob@example.org>' \
  --cc carol@example.org --bcc '"Dan, the archivist"' \
  --attach 'C:\tools\note.txt' --attach 'C:\tools\missing.pdf|Shown name.pdf'
n=$((n + 1))
check "own message: result 0" test "$result" = 0
check "own message: client got the bytes BuildMailPacket makes" \
  same_bytes "$c/running/packet-$n.bin" "$c/out/own/expected.bin"
own_shown='  subject: Gr\xFC\xDFe, ??????
  note text: Own note\r\nwith \xE9, a loneCR\r\n
  recipients: 3
    "Bob Jones" <bob@example.org>
    <carol@example.org>
    "Dan, the archivist" 
  attachments: 2
    C:\tools\note.txt
    C:\tools\missing.pdf'
check "own message: each field as given" test "$(tr -d '\r' <"$c/running/received.log" |
  grep -A9 "^packet $n:" | tail -n +2)" = "$own_shown"
"$wine" 'C:\tools\mail_caller.exe' --help >"$c/out/help.txt" 2>&1 </dev/null
check "--help: exit 0, every sample and the options of an own message listed" \
  bash -c "for w in empty worked linebreaks recipients attachments sample large oversized \
    --subject --note --note-file --to --cc --bcc --attach; do
    grep -q \"^  \$w \" '$c/out/help.txt' || exit 1; done"
"$wine" 'C:\tools\mail_caller.exe' --mapi32 --frob >"$c/out/frob.txt" 2>&1 </dev/null
frob=$?
check "an unknown option: exit 2 (got $frob), one line naming it" \
  test "$frob" = 2 -a "$(tr -d '\r' <"$c/out/frob.txt")" = 'unknown option: --frob; see --help'

for variant in "9 0" "8 12345" "2 0"; do
  set -- $variant
  call "flags-$1-$2" --dll 'C:\running\Quillory_MapiDll.dll' --message sample \
    --flags "$1" --session "$2"
  n=$((n + 1))
  check "flags $1, session $2: result 0" test "$result" = 0
  check "flags $1, session $2: same bytes" \
    same_bytes "$c/running/packet-$n.bin" "$c/out/sample/expected.bin"
done

"$wine" 'C:\tools\mail_caller.exe' --send-raw 1 >/dev/null 2>&1 </dev/null
"$wine" 'C:\tools\mail_caller.exe' --send-raw 943 >/dev/null 2>&1 </dev/null
check "stand-in client names a message with another dwData" \
  grep -q '^ignored: message with dwData 1 (3 bytes)' "$c/running/received.log"
check "stand-in client names a packet it cannot read" \
  grep -q 'UNREADABLE: not a well-formed packet' \
  "$c/running/received.log"
n=$((n + 1))  # the unreadable packet is recorded too

# The result folder the caller is given need not exist yet.
timeout -k 10 120 "$wine" 'C:\tools\mail_caller.exe' --dll 'C:\running\Quillory_MapiDll.dll' \
  --message worked --out 'C:\out\made\by the caller' >/dev/null 2>&1 </dev/null
n=$((n + 1))
check "the test caller makes a missing --out folder and its parents" \
  test "$(result_field "$c/out/made/by the caller" result)" = 0

call null-running --dll 'C:\running\Quillory_MapiDll.dll' --message null
check "null message: result 2" test "$result" = 2
check "null message: nothing delivered" test "$(packets_in running)" -eq "$n"
check "null message: event 1 and a debug line say there was none" \
  logged null-running 1 "passed no message"

echo "what the provider reports, with a marker in every field of the message"
check "with nothing reading the debug output, a delivery writes no line" \
  test -z "$(report sample lines)" -a -z "$(report sample ids)"
"$wine" 'C:\tools\debug_listener.exe' 'C:\out\debug.txt' >/dev/null 2>&1 </dev/null &
check "a listener of the kind DebugView is starts" \
  wait_for_client "$c/out/debug.txt"
call markers --dll 'C:\running\Quillory_MapiDll.dll' --message markers
n=$((n + 1))
check "delivered: result 0" test "$result" = 0
check "delivered, a listener there: no event, one debug line with the window's process, size and time" \
  delivered_only markers
call oom --dll 'C:\running\Quillory_MapiDll.dll' --message markers --fail-malloc
check "out of memory (malloc failing): result 5 (got $result)" test "$result" = 5
check "out of memory: nothing delivered" test "$(packets_in running)" -eq "$n"
check "out of memory: event 3 and its line say so" logged oom 3 "no memory"

call long-path --dll "$(winpath "$long_dir")\\Quillory_MapiDll.dll" --message worked
n=$((n + 1))
check "provider in a folder past 260 characters: result 0" test "$result" = 0
check "provider in a folder past 260 characters: same bytes" \
  same_bytes "$c/running/packet-$n.bin" "$c/out/long-path/expected.bin"

echo "through the system's Simple MAPI layer (mapi32.dll)"
# Both places, since Wine gives 32-bit programs the WOW6432Node copy.
cat >"$c/provider.reg" <<'EOF'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\SOFTWARE\Clients\Mail]
@="Quillory"
[HKEY_LOCAL_MACHINE\SOFTWARE\Clients\Mail\Quillory]
"DLLPath"="C:\\running\\Quillory_MapiDll.dll"
[HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Clients\Mail]
@="Quillory"
[HKEY_LOCAL_MACHINE\SOFTWARE\WOW6432Node\Clients\Mail\Quillory]
"DLLPath"="C:\\running\\Quillory_MapiDll.dll"
EOF
"$wine64" regedit /S 'C:\provider.reg' >/dev/null 2>&1 </dev/null
call mapi32 --mapi32 --message recipients
n=$((n + 1))
check "mapi32: result 0" test "$result" = 0
check "mapi32: same bytes" \
  same_bytes "$c/running/packet-$n.bin" "$c/out/mapi32/expected.bin"

# Wine's transport refuses WM_COPYDATA past about the receiving thread's
# stack reserve, 2 MiB for the stand-in client (and the receiving
# process does not survive it); Windows carries such packets. Last here,
# since the client may be gone afterwards.
call oversized --dll 'C:\running\Quillory_MapiDll.dll' --message oversized
check "a 2 MiB packet, past what Wine carries: result 2, not a false success" \
  test "$result" = 2
check "nothing half-delivered" test "$(packets_in running)" -eq "$n"
stop_clients

echo "client not running"
call null-stopped --dll 'C:\Program Files\Quillory Mail\Quillory Provider.dll' --message null
check "null message: result 2 at once (got $result after ${elapsed} ms)" \
  test "$result" = 2 -a "$elapsed" -lt 1000
check "null message: nothing started" \
  test ! -e "$c/Program Files/Quillory Mail/received.log"

call start --dll 'C:\Program Files\Quillory Mail\Quillory Provider.dll' --message sample
check "provider starts the client beside it, in a folder with spaces: result 0 (got $result after ${elapsed} ms)" \
  test "$result" = 0
check "started client got the same bytes" same_bytes \
  "$c/Program Files/Quillory Mail/packet-1.bin" "$c/out/start/expected.bin"
check "a started client's window gets the settle pause first" test "$elapsed" -ge 2000
stop_clients

QUILLORY_STANDIN_WINDOW_DELAY_MS=4000 call late --dll 'C:\late\Quillory_MapiDll.dll' --message worked
check "a window that appears late is still reached: result 0 (got $result after ${elapsed} ms)" \
  test "$result" = 0 -a "$elapsed" -ge 6000
check "late window got the same bytes" \
  same_bytes "$c/late/packet-1.bin" "$c/out/late/expected.bin"
stop_clients

echo "a client that stops responding"
check "hung client shows its window" \
  start_client hung QUILLORY_STANDIN_HANG=after-start
sleep 6  # long enough for the system to count it as hung
call hung --dll 'C:\hung\Quillory_MapiDll.dll' --message markers
check "the call comes back with result 2 (got $result after ${elapsed} ms)" \
  test "$result" = 2 -a "$elapsed" -lt 15000
check "nothing was recorded as delivered" test "$(packets_in hung)" -eq 0
check "event 10 and its line say the client is hung, with system error 1460" \
  logged hung 10 "not responding (hung)" 1460
stop_clients

echo "a client that keeps the message, still reading messages (bound cut to 6 s)"
check "holding client shows its window" \
  start_client held QUILLORY_STANDIN_HOLD_MS=9000
call held --handoff-timeout-ms 6000 --message worked
check "held past the bound counts as delivered: result 0 (got $result after ${elapsed} ms)" \
  test "$result" = 0 -a "$elapsed" -ge 5900 -a "$elapsed" -lt 8500
check "the holding client has the packet" test "$(packets_in held)" -eq 1
stop_clients

echo "a client that stops reading messages just before the send (bound cut to 7 s)"
check "busy client shows its window" start_client busy
call busy --handoff-timeout-ms 7000 --busy-client-ms 10000 --message worked
check "a message the client never took is no delivery: result 2 (got $result after ${elapsed} ms)" \
  test "$result" = 2 -a "$elapsed" -ge 6900 -a "$elapsed" -lt 9500
sleep 4  # the client reads messages again
check "the withdrawn message never arrives" test "$(packets_in busy)" -eq 0
stop_clients

echo "a client whose window goes while the message waits for it"
check "closing client shows its window" \
  start_client gone QUILLORY_STANDIN_CLOSE_AFTER_BUSY=1
call gone --dll 'C:\gone\Quillory_MapiDll.dll' --busy-client-ms 3000 --message markers
check "result 2 (got $result after ${elapsed} ms)" test "$result" = 2
check "the window closed with the message waiting, which never arrived" \
  test "$(packets_in gone)" -eq 0 -a -n "$(grep '^window closed' "$c/gone/received.log")"
check "event 9 and its line say the window went away" \
  logged gone 9 "window went away before the message reached it"
stop_clients

echo "a client that sends to every window before it makes its own"
QUILLORY_STANDIN_BROADCAST_FIRST=1 call shy --dll 'C:\shy\Quillory_MapiDll.dll' \
  --message worked --own-window
check "the provider answers while it waits: result 0 (got $result after ${elapsed} ms)" \
  test "$result" = 0 -a "$elapsed" -lt 10000
check "the client's broadcast was answered" \
  grep -q '^broadcast answered' "$c/shy/received.log"
check "and it got the packet" same_bytes "$c/shy/packet-1.bin" "$c/out/shy/expected.bin"
stop_clients

echo "a client that replaces its first window while it starts"
QUILLORY_STANDIN_REPLACE_WINDOW_MS=1000 call replaced \
  --dll 'C:\replaced\Quillory_MapiDll.dll' --message worked
check "the window found after the settle pause gets it: result 0 (got $result after ${elapsed} ms)" \
  test "$result" = 0
check "delivered after the replacement" \
  bash -c "tr -d '\r' <'$c/replaced/received.log' | grep -A1 '^window replaced' | grep -q '^packet 1'"
stop_clients

echo "a client that keeps replacing its window, hidden (8000 calls)"
check "replacing client is up" start_client replacing \
  QUILLORY_STANDIN_QUIET=1 QUILLORY_STANDIN_REPLACE_WINDOW_MS=1 \
  QUILLORY_STANDIN_REPLACE_EVERY=1
call replacing --dll 'C:\replacing\Quillory_MapiDll.dll' --message worked --repeat 8000
succeeded=$(result_field "$c/out/replacing" succeeded)
received=$(result_field "$c/out/replacing" received)
check "no success for a message that never arrived, none arrived unreported ($succeeded of 8000 succeeded, $received arrived)" \
  test -n "$succeeded" -a "$succeeded" = "$received"
stop_clients

echo "a folder named Quillory.exe beside the provider"
call exefolder --dll 'C:\exefolder\Quillory_MapiDll.dll' --message markers
check "result 2 at once (got $result after ${elapsed} ms)" \
  test "$result" = 2 -a "$elapsed" -lt 1000
check "event 6 and its line say Quillory.exe is no program" \
  logged exefolder 6 "is a folder or a device"
check "no window opened on the folder" \
  test -z "$(pgrep -f 'explorer.exe C:.exefolder.Quillory.exe')"

echo "install folders the shell would not take literally"
for dir in "$deep300" "$deep1000"; do
  call "deep-${#dir}" --dll "$(winpath "$dir")\\Quillory_MapiDll.dll" --message worked
  check "provider in a folder of ${#dir} characters, no client: result 2 at once (got $result after ${elapsed} ms)" \
    test "$result" = 2 -a "$elapsed" -lt 1000
  check "and event 5 says the start was refused" \
    test "$(report "deep-${#dir}" ids)" = 5
done
X='\..\planted' call percent --dll 'C:\q%X%\Quillory_MapiDll.dll' --message markers
check "provider in C:\\q%X%\\ with X=\\..\\planted: result 2 at once (got $result after ${elapsed} ms)" \
  test "$result" = 2 -a "$elapsed" -lt 1000
sleep 1
check "the program where %X% points never ran" test ! -e "$c/planted/received.log"
check "event 5 and its line say the start was refused for the folder" \
  logged percent 5 "Quillory.exe was not started"
stop_clients

# Both 30 s waits at once: nothing of one can reach the other, as the
# silent client shows its window only after both have given up.
echo "no client installed, and one that shows no window (about 30 s)"
call none --dll 'C:\empty\Quillory_MapiDll.dll' --message markers &
none=$!
QUILLORY_STANDIN_WINDOW_DELAY_MS=45000 call silent --dll 'C:\silent\Quillory_MapiDll.dll' \
  --message markers
wait "$none"
for out in none silent; do
  result=$(result_field "$c/out/$out" result)
  elapsed=$(result_field "$c/out/$out" elapsed_ms)
  check "$out: result 2 after the bounded wait (got $result after $elapsed ms)" \
    test "$result" = 2 -a "${elapsed:-0}" -ge 29000 -a "${elapsed:-0}" -lt 45000
done
check "no client: event 7 and its line say the start failed, with system error 2" \
  logged none 7 "could not be started" 2
check "silent client: event 8 and its line say no window came after the start" \
  logged silent 8 "no client window (class QuilloryDlg) appeared in 30 s"
reasons=$(for out in none silent exefolder percent hung gone oom; do report $out ids; done |
  sort -u | wc -l)
check "seven failures, seven reasons (got $reasons)" test "$reasons" -eq 7
listened() { [ -n "$(tr -d '\r' <"$c/out/debug.txt" | grep -E "^[0-9]+ Quillory MAPI: $1\$")" ]; }
for line in "delivered to the client's window .* ms" "there was no memory.*(AMD64|x86)" \
  "Quillory.exe could not be started.*(AMD64|x86)"; do
  check "the listener got whole lines, after the writer's process id: $line" \
    listened "$line"
done
check "and nothing of the message" refused grep -q QuilloryMarker "$c/out/debug.txt"

finish_checks
