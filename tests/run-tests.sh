#!/usr/bin/env bash
# What `make test` runs: every stage, even after one fails, then one line
# saying what passed, what failed, and what was skipped and why. The
# stages' skips reach it through the file named by QUILLORY_SKIP_LOG (a
# line each: why, a tab, then the stage and what it left out), and are
# grouped by why; each stage is told its name in QUILLORY_STAGE.
# usage: run-tests.sh   (from make, which passes its variables on)
set -uo pipefail
if [ $# -ne 0 ]; then
  echo "usage: tests/run-tests.sh   (run by make test)" >&2
  exit 2
fi
make=${MAKE:-make}
QUILLORY_SKIP_LOG=$(mktemp)
export QUILLORY_SKIP_LOG
trap 'rm -f "$QUILLORY_SKIP_LOG"' EXIT

# target:what it is
stages=(
  "format-check:format check"
  "unit:unit tests"
  "unit-sanitize:unit tests under ASan and UBSan"
  "unit-i386:32-bit unit tests"
  "unit-aarch64:ARM64 unit tests"
  "fuzz:fuzzers"
  "dist-test:DLL structure, release and Wine end-to-end tests"
  "arm64-wine-test:ARM64 DLL under arm64 Wine"
  "install-test:install test"
  "example-client-test:example client under Wine"
  "msi-test:package test"
  "sign-test:signed release test"
)
# Set up once, not once a stage: a package that cannot be had (a mirror
# in mid-sync) would otherwise be tried again by every one of them.
echo "=== make deps"
if ! "$make" --no-print-directory deps; then
  echo "make test: stopped before any stage: required packages are missing (above)"
  exit 1
fi
export QUILLORY_NO_DEPS=1
# A stage that hangs fails after this many seconds, so that the rest still
# run and the summary still comes: all of them take about 13 minutes.
limit=${QUILLORY_STAGE_LIMIT:-1200}
passed=()
failed=()
for stage in "${stages[@]}"; do
  target=${stage%%:*}
  echo "=== make $target"
  # timeout runs the stage in a process group of its own, which the
  # terminal's Ctrl-C does not reach: it is passed on.
  QUILLORY_STAGE=${stage#*:} timeout -k 30 "$limit" \
    "$make" --no-print-directory "$target" &
  stage_pid=$!
  trap 'kill -TERM -- -$stage_pid 2>/dev/null; exit 130' INT TERM
  wait $stage_pid
  status=$?
  trap - INT TERM
  if [ $status -eq 0 ]; then
    passed+=("${stage#*:}")
  else
    [ $status -eq 124 ] || [ $status -eq 137 ] &&
      echo "make test: $target stopped after $limit s (QUILLORY_STAGE_LIMIT)"
    failed+=("${stage#*:}")
  fi
done

join() { local IFS=';'; printf '%s' "$*" | sed 's/;/, /g'; }
failed_list=$(join "${failed[@]}")
skipped=$(sort -u "$QUILLORY_SKIP_LOG" | awk -F '\t' '
  $1 != why { if (NR > 1) printf "%s (%s); ", parts, why; why = $1; parts = $2; next }
  { parts = parts ", " $2 }
  END { if (NR > 0) printf "%s (%s)", parts, why }')
echo "make test: ${#passed[@]} passed, ${#failed[@]} failed" \
  "(failed: ${failed_list:-none}; passed: $(join "${passed[@]}");" \
  "skipped: ${skipped:-nothing})"
[ ${#failed[@]} -eq 0 ]
