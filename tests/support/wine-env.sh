# Sourced by the Wine scripts, with their arguments: runs the script again
# under an X display of its own when it has none from us, then gives it a
# fresh prefix, no debug noise, no installer dialogs, and the prefix's
# server stopped and removed at exit.
if [ -z "${QUILLORY_WINE_DISPLAY:-}" ]; then
  exec env QUILLORY_WINE_DISPLAY=1 xvfb-run -a bash "$0" "$@"
fi
wine64=$(command -v wine64 || echo /usr/lib/wine/wine64)
# Present only where Wine's 32-bit side is installed.
wine32=/usr/lib/wine/wine
wine=$wine64
# Paths with non-ASCII letters cross to Wine as UTF-8.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
WINEPREFIX=$(mktemp -d /tmp/quillory-wine.XXXXXX)
export WINEPREFIX
c="$WINEPREFIX/drive_c"
wine_cleanup() {
  wineserver -k >/dev/null 2>&1
  if [ -n "${QUILLORY_KEEP_PREFIX:-}" ]; then
    echo "prefix kept: $WINEPREFIX"
  else
    rm -rf "$WINEPREFIX"
  fi
}
trap wine_cleanup EXIT

source "$(dirname "${BASH_SOURCE[0]}")/checks.sh"

# prepare_prefix: makes the prefix; a program that crashes then ends with a
# backtrace on its standard error instead of waiting on a crash dialog.
prepare_prefix() {
  "$wine64" wineboot -i >/dev/null 2>&1 </dev/null
  "$wine64" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog \
    /t REG_DWORD /d 0 /f >/dev/null 2>&1 </dev/null
}

# can_run_win32: whether 32-bit Windows programs run here; prints why not.
can_run_win32() {
  if ! "$(dirname "${BASH_SOURCE[0]}")/../../tools/runs-32bit.sh"; then
    echo "this machine runs no 32-bit programs"
    return 1
  fi
  if [ ! -x "$wine32" ]; then
    echo "32-bit Wine not installed; make deps tries again"
    return 1
  fi
}

# result_field DIR KEY: a value from the test caller's DIR/result.txt
# (result, elapsed_ms, provider: one line each); empty when there is none.
result_field() {
  tr -d '\r' 2>/dev/null <"$1/result.txt" |
    awk -v k="$2" '$1 == k {sub(/^[^ ]+ /, ""); print}'
}

# put_client DIST DIR KIND: the stand-in client of KIND (win64 or win32)
# from DIST as Quillory.exe in the Unix folder DIR, its logs cleared; and
# each kind's test caller as C:\tools\KIND\mail_caller.exe.
put_client() {
  local kind
  mkdir -p "$2"
  cp "$1/$3/quillory_standin_client.exe" "$2/Quillory.exe"
  rm -f "$2/received.log" "$2"/packet-*.bin
  for kind in win64 win32; do
    mkdir -p "$c/tools/$kind"
    cp "$1/$kind/quillory_mail_caller.exe" "$c/tools/$kind/mail_caller.exe"
  done
}

# install_dist DIST DIR KIND: put_client, with the install set of DIST
# (both DLLs under their install names, the register scripts) beside it.
install_dist() {
  put_client "$@"
  cp "$1"/Quillory/* "$2/"
}

# The loader and the install name's suffix (PROCESSOR_ARCHITECTURE) of each
# kind of program.
declare -A loader=([win64]="$wine64" [win32]="$wine32")
declare -A dll_suffix=([win64]=AMD64 [win32]=x86)
# Every DLL of the install set, ARM64's included.
install_suffixes=(x86 AMD64 ARM64)

# wait_for_client LOG [DOT]: until the stand-in client writing LOG has its
# window up, at most 20 s; prints DOT at each look, if given.
wait_for_client() {
  for _ in $(seq 100); do
    grep -q '^ready' "$1" 2>/dev/null && return 0
    printf '%s' "${2:-}"
    sleep 0.2
  done
  return 1
}
