#!/usr/bin/env bash
# The packet benchmark for both x86 data models, each ratio against a copy
# measured in the same run. The 64-bit build runs natively; the 32-bit one
# natively where the kernel runs 32-bit programs, else under qemu-i386, and
# then the 64-bit build runs under qemu-x86_64 too, so that the two are
# compared on the same emulated processor (emulation makes vector
# instructions dearer than a copy, so its ratios are not native ones).
# usage: native-bench.sh BUILD_DIR
set -euo pipefail
if [ $# -ne 1 ]; then
  echo "usage: native-bench.sh BUILD_DIR" >&2
  exit 2
fi
build=$1
root=$(cd "$(dirname "$0")/.." && pwd)
bench64=$build/bench/bench/packet_bench
bench32=$build/bench-i386/bench/packet_bench
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

run() {  # NAME COMMAND...: the run's full output, kept for the summary
  local name=$1
  shift
  echo "=== $name"
  "$@" | tee "$out/$name"
}
run "x64" "$bench64"
if [ ! -x "$bench32" ]; then
  echo "x86: not run: the 32-bit Google Benchmark (libbenchmark-dev:i386) is" \
    "not installed; make deps-bench tries again"
  runs=("x64")
elif "$root/tools/runs-32bit.sh"; then
  run "x86" "$bench32"
  runs=("x64" "x86")
else
  run "x86 under qemu" qemu-i386-static "$bench32"
  run "x64 under qemu" qemu-x86_64-static "$bench64"
  runs=("x64" "x86 under qemu" "x64 under qemu")
fi

# One line per case, one column per run.
echo
printf '%-36s' "build / copy"
for name in "${runs[@]}"; do printf '%18s' "$name"; done
echo
for case in "16 MiB note, CR LF" "16 MiB note, LF" "200,000 recipients"; do
  printf '%-36s' "$case"
  for name in "${runs[@]}"; do
    printf '%18s' "$(grep -F "ratio $case:" "$out/$name" | awk '{for (i = 1; i <= NF; i++) if ($i ~ /x$/ && $i ~ /^[0-9.]+x$/) {print $i; exit}}')"
  done
  echo
done
