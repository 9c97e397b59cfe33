#!/usr/bin/env bash
# The ARM64 DLL as a native ARM64 program meets it: Debian's arm64 Wine
# under qemu-aarch64-static, the install set in C:\Program Files\Quillory
# registered with the packaged .reg, and a small ARM64 caller of our own
# (tests/support/arm64_caller.cpp) that goes through Wine's arm64 mapi32.dll and plays
# the client's window itself. Its packets must be the bytes the native
# build makes for the same messages.
#
# Debian's arm64 Wine is downloaded with a private APT configuration and
# unpacked under BUILD/arm64-wine, never installed: installing it would
# replace the amd64 Wine the other tests use. Without binfmt_misc, Wine
# cannot start a process of its own (so no wineboot, no explorer started
# for us, no child processes): the script starts the server, the desktop
# and each program itself, and writes what wineboot would have.
# usage: arm64-wine.sh BUILD_DIR DIST_DIR
set -uo pipefail
if [ $# -ne 2 ]; then
  echo "usage: arm64-wine.sh BUILD_DIR DIST_DIR" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
dist=$(cd "$2" && pwd)

skip() {
  echo "SKIPPED: $1, so the ARM64 DLL was checked by its structure only"
  skipped "the ARM64 DLL under arm64 Wine" "$1"
  exit 0
}
source "$(dirname "$0")/../support/checks.sh"
command -v qemu-aarch64-static >/dev/null || skip "qemu-aarch64-static is missing"

# Debian's arm64 wine64 and everything it depends on, from the sources
# this machine's APT uses.
cache=$build/arm64-wine
sysroot=$cache/sysroot
if [ ! -x "$sysroot/usr/lib/wine/wine64" ]; then
  rm -rf "$cache"
  mkdir -p "$cache/apt/lists/partial" "$cache/apt/archives/partial" "$sysroot"
  : >"$cache/apt/status"
  cat >"$cache/apt/apt.conf" <<EOF
APT::Architecture "arm64";
APT::Architectures { "arm64"; };
APT::Install-Recommends "false";
Dir::State "$cache/apt";
Dir::State::Lists "$cache/apt/lists";
Dir::State::status "$cache/apt/status";
Dir::Cache "$cache/apt";
Dir::Cache::archives "$cache/apt/archives";
Dir::Etc::Preferences "/dev/null";
Dir::Etc::PreferencesParts "/dev/null";
EOF
  echo "downloading Debian's arm64 Wine..."
  export APT_CONFIG=$cache/apt/apt.conf
  # A list that fails to refresh (a mirror in mid-sync) may not be one
  # that wine64 needs: the download decides.
  { apt-get update -q; apt-get install -y -q --download-only wine64; } \
    >"$cache/download.log" 2>&1 || skip "Debian's arm64 Wine could not be downloaded"
  unset APT_CONFIG
  for deb in "$cache"/apt/archives/*.deb; do dpkg-deb -x "$deb" "$sysroot"; done
fi

prefix=$(mktemp -d /tmp/quillory-arm64.XXXXXX)
c=$prefix/drive_c
export WINEPREFIX=$prefix WINEDEBUG=-all WINELOADERNOEXEC=1 \
  WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
pids=()
# A process hung under qemu may ignore SIGTERM: it gets 10 s, then SIGKILL.
alive() {
  local pid
  for pid in "${pids[@]}"; do kill -0 "$pid" 2>/dev/null && return 0; done
  return 1
}
cleanup() {
  kill "${pids[@]}" 2>/dev/null
  local _
  for _ in $(seq 20); do alive && sleep 0.5; done
  kill -9 "${pids[@]}" 2>/dev/null
  wait "${pids[@]}" 2>/dev/null
  [ -n "${QUILLORY_KEEP_PREFIX:-}" ] && echo "prefix kept: $prefix" || rm -rf "$prefix"
}
trap cleanup EXIT
loader=(qemu-aarch64-static -L "$sysroot" "$sysroot/usr/lib/wine/wine64")
wine() { timeout -k 10 300 "${loader[@]}" "$@" </dev/null; }
reg() { wine 'C:\windows\system32\reg.exe' "$@" >/dev/null 2>&1; }

echo "preparing an arm64 Wine prefix..."
qemu-aarch64-static -L "$sysroot" "$sysroot/usr/lib/wine/wineserver64" -p -f \
  >/dev/null 2>&1 &
pids+=($!)
sleep 1
mkdir -p "$c/windows/system32" "$c/windows/temp" "$c/tools" "$c/reg"
cp "$sysroot"/usr/lib/aarch64-linux-gnu/wine/aarch64-windows/* "$c/windows/system32/"
# What wineboot would have written: no display, and the system
# environment, PROCESSOR_ARCHITECTURE above all, which DLLPath expands.
reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
environment='HKLM\System\CurrentControlSet\Control\Session Manager\Environment'
for setting in PROCESSOR_ARCHITECTURE=ARM64 'SystemRoot=C:\windows' \
  'windir=C:\windows' 'TEMP=C:\windows\temp' 'TMP=C:\windows\temp' \
  'PATH=C:\windows\system32;C:\windows'; do
  reg add "$environment" /v "${setting%%=*}" /d "${setting#*=}" /f
done

install_dir="$c/Program Files/Quillory"
mkdir -p "$install_dir"
cp "$dist"/Quillory/* "$install_dir/"
cp "$dist/Quillory_MapiDll.reg" "$c/reg/"
wine 'C:\windows\system32\regedit.exe' /S 'C:\reg\Quillory_MapiDll.reg' >/dev/null 2>&1
check "the packaged .reg names the one folder's DLLPath" grep -qE \
  'REG_EXPAND_SZ +C:\\Program Files\\Quillory\\Quillory_MapiDll_%PROCESSOR_ARCHITECTURE%\.dll' \
  <<<"$(wine 'C:\windows\system32\reg.exe' query 'HKLM\Software\Clients\Mail\Quillory' /v DLLPath 2>/dev/null | tr -d '\r')"
cp "$build/clang-aarch64/tests/support/arm64_caller.exe" "$c/tools/"

"${loader[@]}" 'C:\windows\system32\explorer.exe' /desktop </dev/null >/dev/null 2>&1 &
pids+=($!)
sleep 3

result() { tr -d '\r' <"$c/out/result.txt" 2>/dev/null | awk -v k="$1" '$1 == k {print $2}'; }
expected=$prefix/expected
mkdir -p "$expected"
"$build/native/tests/support/expected_packets" "$expected" || exit 1

echo "an ARM64 program sends the plain messages through mapi32.dll, then one with malloc failing..."
rm -rf "$c/out"
timeout -k 10 600 "${loader[@]}" 'C:\tools\arm64_caller.exe' </dev/null >"$prefix/caller.log" 2>&1 ||
  tail -n 5 "$prefix/caller.log"
check "it loaded C:\\Program Files\\Quillory\\Quillory_MapiDll_ARM64.dll" \
  grep -qx 'provider C:\\Program Files\\Quillory\\Quillory_MapiDll_ARM64.dll' \
  <<<"$(tr -d '\r' <"$c/out/result.txt" 2>/dev/null)"
count=$(ls "$expected" | wc -l)
for i in $(seq 0 $((count - 1))); do
  number=$((i + 1))
  check "message $i: 0 (got $(tr -d '\r' <"$c/out/result.txt" 2>/dev/null |
    awk -v i="$i" '$1 == "message" && $2 == i {print $3}'))" \
    grep -qx "message $i 0" <<<"$(tr -d '\r' <"$c/out/result.txt" 2>/dev/null)"
  check "message $i: the bytes the native build makes ($(stat -c %s "$expected/expected-$number.bin") bytes)" \
    cmp -s "$c/out/packet-$number.bin" "$expected/expected-$number.bin"
done
check "a null message: 2 (got $(result null))" test "$(result null)" = 2
check "out of memory: 5, MAPI_E_INSUFFICIENT_MEMORY (got $(result out_of_memory))" \
  test "$(result out_of_memory)" = 5
check "nothing else arrived" test ! -e "$c/out/packet-$((count + 1)).bin"

finish_checks
