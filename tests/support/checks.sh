# Sourced by the test scripts. check WHAT COMMAND...: runs the command,
# counts and prints the outcome (after $check_prefix, when a script sets
# one); finish_checks prints the totals and fails if any check did;
# refused COMMAND...: the command fails.
passed=0
failed=0
check() {
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
    echo "ok   ${check_prefix:-}$what"
  else
    failed=$((failed + 1))
    echo "FAIL ${check_prefix:-}$what"
  fi
}
finish_checks() {
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
refused() { ! "$@"; }
# skipped WHAT WHY: a part of this stage that was left out, for the
# summary line of make test (run-tests.sh), which groups them by WHY.
skipped() {
  [ -z "${QUILLORY_SKIP_LOG:-}" ] ||
    printf '%s\t%s: %s\n' "$2" "${QUILLORY_STAGE:-${0##*/}}" "$1" >>"$QUILLORY_SKIP_LOG"
}
