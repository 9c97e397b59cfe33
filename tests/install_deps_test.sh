#!/usr/bin/env bash
# tools/install-deps.sh's own decisions, against stand-in apt-get, dpkg,
# dpkg-query and sudo first on PATH: no root, no network, no package
# installed. A 32-bit kernel is assumed, so that wine32:i386 is asked for.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/tests/support/checks.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/tools"
cp "$root/tools/install-deps.sh" "$work/tools/"
printf '#!/bin/sh\nexit 0\n' >"$work/tools/runs-32bit.sh"

# The stand-ins keep their state in $state: absent (packages not installed,
# one a line), refuse (packages apt cannot install), update-fails (how many
# refreshes fail), calls (each apt-get command line).
state=$work/state
cat >"$work/bin/apt-get" <<'EOF'
#!/usr/bin/env bash
echo "$*" >>"$STATE/calls"
case $1 in
  update)
    left=$(cat "$STATE/update-fails")
    if [ "$left" -gt 0 ]; then
      echo $((left - 1)) >"$STATE/update-fails"
      echo "E: Failed to fetch http://mirror/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?"
      exit 100
    fi
    echo "Get:1 http://mirror stable InRelease" ;;
  install)
    shift
    packages=$(printf '%s\n' "$@" | grep -v '^-')
    if refused=$(grep -xF -f "$STATE/refuse" <<<"$packages"); then
      echo "The following packages have unmet dependencies:"
      echo " $refused : Depends: libfoo:i386 (>= 1) but it is not going to be installed"
      echo "E: Unable to correct problems, you have held broken packages."
      exit 100
    fi
    printf '%s\n' "$@" | grep -qx -- -s && exit 0
    grep -vxF -f <(echo "$packages") "$STATE/absent" >"$STATE/absent.new"
    mv "$STATE/absent.new" "$STATE/absent"
    echo "Setting up $(echo $packages) ..." ;;
esac
EOF
cat >"$work/bin/dpkg-query" <<'EOF'
#!/usr/bin/env bash
# dpkg-query -W -f=FORMAT PACKAGE
grep -qxF "${3}" "$STATE/absent" && exit 1
case $2 in *Architecture*) echo "install ok installed amd64" ;; *) echo "install ok installed" ;; esac
EOF
cat >"$work/bin/dpkg" <<'EOF'
#!/usr/bin/env bash
case $1 in
  --print-architecture) echo amd64 ;;
  --print-foreign-architectures) echo i386 ;;
esac
EOF
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work"/bin/* "$work/tools"/*.sh

# run ABSENT REFUSE UPDATE_FAILS [ARGS...]: the script with that state;
# leaves its output in $out, its exit status in $status.
run() {
  rm -rf "$state"
  mkdir -p "$state"
  printf '%s\n' $1 >"$state/absent"
  printf '%s\n' $2 >"$state/refuse"
  echo "$3" >"$state/update-fails"
  : >"$state/calls"
  shift 3
  out=$(env -u QUILLORY_NO_DEPS PATH="$work/bin:$PATH" STATE="$state" \
    QUILLORY_APT_RETRY_PAUSE=0 "$work/tools/install-deps.sh" "$@" 2>&1)
  status=$?
}
calls() { grep -c "^$1" "$state/calls"; }
absent() { grep -qxF "$1" "$state/absent"; }
says() { grep -qF -- "$1" <<<"$out"; }

run "" "" 0
check "nothing missing: exit 0, no apt call, no output" \
  test "$status:$(wc -l <"$state/calls"):$out" = "0:0:"

run "cmake wine32:i386" "" 0
check "all installable: exit 0, one refresh, both installed" \
  test "$status:$(calls update)" = "0:1" -a ! -s "$state/absent"
check "all installable: the required ones first, then the optional alone" \
  test "$(grep -v update "$state/calls" | tr '\n' '|')" = \
  "install -y -q --no-remove cmake|install -s -q --no-remove wine32:i386|install -y -q --no-remove wine32:i386|"

run "cmake" "" 9
check "refresh failing: tried three times, then installs (exit $status)" \
  test "$status:$(calls update)" = "0:3" -a ! -s "$state/absent"
check "refresh failing: one line with apt's reason, the retries quiet" \
  test "$(grep -c 'E: Failed' <<<"$out")" = 2 -a -n "$(says "did not all refresh (E: Failed to fetch http://mirror/Packages.xz  File has unexpected size (1 != 2). Mirror sync in progress?)" && echo x)"
run "cmake" "" 1
check "refresh failing once: two tries, no complaint" \
  test "$status:$(calls update)" = "0:2" -a ! -s "$state/absent" -a -z "$(says refresh && echo x)"

run "cmake libbenchmark-dev:i386 wine32:i386" "wine32:i386" 9 --bench
check "optional refused: exit 0, the required one installed" \
  test "$status" = 0 -a "$(cat "$state/absent" | tr '\n' ' ')" = "libbenchmark-dev:i386 wine32:i386 "
check "optional refused: one paragraph naming them, the reason and make deps" \
  says "the optional 32-bit packages wine32:i386 libbenchmark-dev:i386 could not be installed (unmet dependencies, such as wine32:i386 : Depends: libfoo:i386"
check "optional refused: the paragraph says what still runs" says "make deps\` tries again later"
check "optional refused: apt's own list of unmet dependencies not shown" \
  refused says "have unmet dependencies"

run "cmake clang-19 wine32:i386" "clang-19" 0
check "required refused: fails, naming it and apt's reason (exit $status)" \
  test "$status" -ne 0 -a -n "$(says "required packages cmake clang-19: unmet dependencies, such as clang-19 :" && echo x)"
check "required refused: the optional ones not tried" \
  test "$(calls 'install -s')" = 0


finish_checks
