#!/usr/bin/env bash
# Runs each fuzzer for SECONDS, from the native build and from the 32-bit
# one (where sizes are 32 bits wide; natively where the kernel runs 32-bit
# programs, else under qemu), each keeping its corpus. One line per run; a
# failure shows the end of its log and fails the whole.
# usage: run.sh BUILD_DIR SECONDS FUZZER...
set -uo pipefail
if [ $# -lt 3 ]; then
  echo "usage: run.sh BUILD_DIR SECONDS FUZZER..." >&2
  exit 2
fi
build=$1
seconds=$2
shift 2
root=$(cd "$(dirname "$0")/../.." && pwd)
# Under qemu, LeakSanitizer (which stops the world with ptrace, which qemu
# does not offer) would hang at exit, and AddressSanitizer's default
# quarantine runs the emulated 32-bit address space out within a minute.
# The native runs look for leaks.
runner32=(env ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=16 qemu-i386-static)
"$root/tools/runs-32bit.sh" && runner32=()

for variant in fuzz fuzz-i386; do
  runner=()
  [ "$variant" = fuzz-i386 ] && runner=("${runner32[@]}")
  for target in "$@"; do
    dir=$build/$variant
    mkdir -p "$dir/corpus-$target"
    # Bounded: a run that hangs fails instead of stopping the suite.
    timeout -k 10 $((seconds * 4 + 120)) "${runner[@]}" "$dir/tests/$target" -max_total_time="$seconds" \
      -print_final_stats=1 "$dir/corpus-$target" >"$dir/$target.log" 2>&1
    status=$?
    runs=$(grep -m1 -o 'stat::number_of_executed_units: [0-9]*' "$dir/$target.log" | awk '{print $2}')
    echo "$variant/$target: ${runs:-no} runs, exit $status"
    if [ $status -ne 0 ]; then
      tail -n 40 "$dir/$target.log"
      exit $status
    fi
  done
done
