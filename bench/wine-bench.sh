#!/usr/bin/env bash
# The provider's whole call against bare WM_COPYDATA sends of the same
# packet from the same program, under Wine, with a client that only counts
# what it gets (a client that writes a file per packet into a growing
# folder would slow every send and hide the provider's share).
# usage: wine-bench.sh MINGW_X86_64_BUILD_DIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: wine-bench.sh MINGW_X86_64_BUILD_DIR" >&2
  exit 2
fi

build=$(cd "$1" && pwd)
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/support/wine-env.sh" "$@"

prepare_prefix
mkdir -p "$c/app" "$c/out"
cp "$build/Quillory_MapiDll.dll" "$build/tests/support/mail_caller.exe" "$c/app/"
cp "$build/tests/support/standin_client.exe" "$c/app/Quillory.exe"
QUILLORY_STANDIN_QUIET=1 "$wine" 'C:\app\Quillory.exe' >/dev/null 2>&1 </dev/null &
wait_for_client "$c/app/received.log"
"$wine" 'C:\app\mail_caller.exe' --dll 'C:\app\Quillory_MapiDll.dll' \
  --bench 1000 --out 'C:\out' >"$c/out/caller.txt" 2>&1 </dev/null
tr -d '\r' <"$c/out/bench.txt"
