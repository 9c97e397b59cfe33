#!/usr/bin/env bash
# The example client (examples/client) under Wine, installed as Quillory.exe
# beside the DLLs in C:\Program Files\Quillory and registered with
# dist/Quillory_MapiDll.reg: programs of each kind, through their own
# mapi32.dll, start it and see their mail in it, the attachment that exists
# copied and the other shown as missing; stray WM_COPYDATA messages leave
# it running; a second instance, started by hand or by two callers at once,
# leaves the first one alone. What it shows comes from its log, one line
# per message.
# usage: example-client.sh DIST_DIR
set -uo pipefail
if [ $# -ne 1 ]; then
  echo "usage: example-client.sh DIST_DIR" >&2
  exit 2
fi

dist=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../support/wine-env.sh" "$@"
source "$here/install-checks.sh"

mkdir -p "$c/reg"
cp "$dist/Quillory_MapiDll.reg" "$c/reg/"
"$wine64" regedit /S 'C:\reg\Quillory_MapiDll.reg' >/dev/null 2>&1 </dev/null
default="$c/Program Files/Quillory"
# The sample message's attachments: one there, one missing.
mkdir -p "$c/Reports"
seq 1000 >"$c/Reports/Quarterly report.pdf"

# The client's log lines, CR removed (it writes control characters
# escaped, so each message is one line).
store() { find "$c/users" -type d -name QuilloryExampleClient 2>/dev/null; }
log_lines() { tr -d '\r' 2>/dev/null <"$(store)/received.log"; }
caller() { "$wine64" 'C:\tools\win64\mail_caller.exe' "$@" >/dev/null 2>&1 </dev/null; }
# clients_running: how many Quillory.exe processes this prefix has.
clients_running() {
  local pid n=0
  for pid in $(pgrep -f 'Quillory\.exe'); do
    grep -qzxF "WINEPREFIX=$WINEPREFIX" "/proc/$pid/environ" 2>/dev/null && n=$((n + 1))
  done
  echo $n
}

# The sample message as the client shows it, around the folder it copied
# the first attachment to.
shown_head='Subject: Quarterly report\r\nTo: "Bob Jones" <bob@example.org>\r\nTo: "Carol White" <carol@example.org>\r\nTo: <archive@example.org>\r\nAttachment: C:\Reports\Quarterly report.pdf (copied to C:\'
shown_tail='\Quarterly report.pdf)\r\nAttachment: C:\Reports\Figures.xlsx (missing)\r\n\r\nHello all,\r\n\r\nthe quarterly report and its figures are attached.\r\n\r\nRegards,\r\nAnn\r\n----------------------------------------\r\n'
# shows_sample LINE N: LINE is the sample message as mail N.
shows_sample() { [[ $1 == "Mail $2\\r\\n$shown_head"*"$shown_tail" ]]; }
# copied_intact LINE: the copy LINE names holds the original's bytes.
copied_intact() {
  local path=${1#*"(copied to C:\\"}
  path=${path%%)*}
  cmp -s "$c/${path//\\//}" "$c/Reports/Quarterly report.pdf"
}

for client in "${kinds[@]}"; do
  bits=${client#win}
  install_dist "$dist" "$default" "$client"
  cp "$dist/$client/quillory_example_client.exe" "$default/Quillory.exe"
  rm -rf "$(store)"
  for kind in "${kinds[@]}"; do
    as="$bits-bit client, $kind program"
    end_clients
    send "$kind" "$client-$kind"
    check "$as, no client running: 0 in about 2.5 s (got $result after $elapsed ms)" \
      test "$result" = 0 -a "$elapsed" -ge 2000 -a "$elapsed" -lt 10000
    line=$(log_lines | tail -n 1)
    check "$as: the client shows the mail as sent" shows_sample "$line" 1
    check "$as: its copy of the attachment is intact" \
      copied_intact "$line"
  done

  # Another program's dwData, garbage under ours, and nothing at all.
  as="$bits-bit client"
  for stray in "--send-raw 944" "--send-raw 943" "--send-empty 943"; do
    # shellcheck disable=SC2086 # option and value
    check "$as: its window is there for a stray WM_COPYDATA ($stray)" caller $stray
  done
  send win64 "$client-after-stray"
  check "$as, after them: 0 without a start (got $result after $elapsed ms)" \
    test "$result" = 0 -a "$elapsed" -lt 2000
  check "$as: ignored the other dwData, dropped the two unreadable ones, showed the mail" \
    test "$(log_lines | tail -n 3 | head -n 2 | paste -sd '|')" = \
    'Dropped an unreadable message of 3 bytes.\r\n|Dropped an unreadable message of 0 bytes.\r\n'
  check "$as: ... and the mail after them" \
    shows_sample "$(log_lines | tail -n 1)" 2

  # Attachment paths: a drive path with either slash and a \\?\ one are
  # copied; drive-relative and device forms refused, whatever they name.
  caller --mapi32 --subject paths --out 'C:\out\paths' \
    --attach 'C:/Reports/Quarterly report.pdf' \
    --attach '\\?\C:\Reports\Quarterly report.pdf' \
    --attach 'C:Reports\Quarterly report.pdf' \
    --attach '\??\C:\Reports\Quarterly report.pdf' \
    --attach '\\.\C:\Reports\Quarterly report.pdf' \
    --attach '//./C:/Reports/Quarterly report.pdf'
  check "$as"': copies C:/... and \\?\C:\...; refuses C:file, \??\, \\.\ and //./' \
    test "$(log_lines | tail -n 1 | grep -o '(copied to\|(not a usable path)' | paste -sd,)" = \
    '(copied to,(copied to,(not a usable path),(not a usable path),(not a usable path),(not a usable path)'

  "$wine64" 'C:\Program Files\Quillory\Quillory.exe' >/dev/null 2>&1 </dev/null &
  second=$!
  left=no
  for _ in $(seq 100); do
    kill -0 $second 2>/dev/null || { left=yes; break; }
    sleep 0.2
  done
  kill $second 2>/dev/null
  check "$as: a second instance leaves at once, handing over" test "$left" = yes \
    -a "$(log_lines | tail -n 1)" = 'Second instance: left it to the running one.'

  # Two first calls at once, each of which may start the client.
  end_clients
  before=$(log_lines | wc -l)
  for i in 1 2; do
    mkdir -p "$c/out/$client-race-$i"
    timeout -k 10 120 "$wine64" 'C:\tools\win64\mail_caller.exe' --mapi32 --message sample \
      --out "C:\\out\\$client-race-$i" >/dev/null 2>&1 </dev/null &
  done
  wait
  results="$(result_field "$c/out/$client-race-1" result),$(result_field "$c/out/$client-race-2" result)"
  check "$as, two first calls at once: both 0 (got $results)" test "$results" = 0,0
  race=$(log_lines | tail -n +$((before + 1)))
  check "$as: one client took both" test "$(grep -c '^Mail ' <<<"$race")" = 2 \
    -a "$(grep -c '^Mail 2' <<<"$race")" = 1
  check "$as: one client process is left ($(grep -c "^Second" <<<"$race") handed over)" \
    test "$(clients_running)" = 1
  end_clients
done

finish_checks
