#!/usr/bin/env bash
# Installs the Debian packages the build, tests, demo and benchmarks need,
# only those missing; the package lists are refreshed once, when needed.
# Where the kernel runs 32-bit programs, the i386 architecture is added and
# Wine's 32-bit side installed too, so that the 32-bit DLL runs under test.
# It never removes a package: an install that would (a conflict with
# something already there) stops instead. QUILLORY_NO_DEPS=1 skips it all,
# for a machine set up by other means. --bench adds the 32-bit Google
# Benchmark (with the i386 architecture, whatever the kernel runs: the
# 32-bit benchmark runs under qemu where it cannot run natively).
#
# What the build, the 64-bit and ARM64 halves and the package need is
# required: without it the script fails. The i386 packages are optional: a
# mirror in mid-sync can leave the i386 lists behind the amd64 ones, so
# that they cannot be installed for hours; everything else still runs.
set -euo pipefail
if [ $# -gt 1 ] || { [ $# -eq 1 ] && [ "$1" != --bench ]; }; then
  echo "usage: install-deps.sh [--bench]   (QUILLORY_NO_DEPS=1 skips it)" >&2
  exit 2
fi
[ -z "${QUILLORY_NO_DEPS:-}" ] || exit 0
here=$(cd "$(dirname "$0")" && pwd)
# Seconds between tries of the lists' refresh (the tests set 0).
retry_pause=${QUILLORY_APT_RETRY_PAUSE:-5}

required=(
  cmake ninja-build make g++ clang clang-format clang-tidy
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libclang-rt-14-dev
  g++-multilib qemu-user-static
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
  wixl msitools osslsigncode openssl
  clang-19 lld-19 llvm-19
  libc6-dev-arm64-cross libstdc++-12-dev-arm64-cross libgcc-12-dev-arm64-cross
)
optional=()

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
add_i386=false
runs_32bit=true
if "$here/runs-32bit.sh"; then
  optional+=(wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || add_i386=true
else
  runs_32bit=false
fi
bench_too=""
if [ "${1:-}" = --bench ]; then
  optional+=(libbenchmark-dev:i386)
  bench_too=", and the 32-bit benchmark is left out"
  dpkg --print-foreign-architectures | grep -qx i386 || add_i386=true
fi

# A name without an architecture means this machine's own (or "all"): a
# multi-arch package installed for i386 too lists once per architecture.
native=$(dpkg --print-architecture)
installed() {
  case $1 in
    *:*) dpkg-query -W -f='${Status}\n' "$1" 2>/dev/null |
      grep -qx 'install ok installed' ;;
    *) dpkg-query -W -f='${Status} ${Architecture}\n' "$1" 2>/dev/null |
      grep -qxE "install ok installed ($native|all)" ;;
  esac
}
missing() {  # PACKAGE...: those not installed, one line each
  local package
  for package in "$@"; do installed "$package" || echo "$package"; done
}
mapfile -t missing_required < <(missing "${required[@]}")
mapfile -t missing_optional < <(missing "${optional[@]}")
[ ${#missing_required[@]} -eq 0 ] && [ ${#missing_optional[@]} -eq 0 ] && exit 0

$runs_32bit || echo "This machine runs no 32-bit programs: Wine's 32-bit" \
  "side is left out, and the 32-bit DLL is checked by its structure only."
echo "Installing: ${missing_required[*]}${missing_required[*]:+ }${missing_optional[*]}"
if $add_i386; then $sudo dpkg --add-architecture i386; fi

log=$(mktemp)
trap 'rm -f "$log"' EXIT
# apt_reason: apt's reason for the last run's failure in one line: the
# first unmet dependency where there is one (its own error line then only
# says that the resolver gave up), else its first error.
apt_reason() {
  local unmet
  unmet=$(grep -m1 -E '^ +[^ ]+ : (Pre)?Depends:' "$log" | sed 's/^ *//') || true
  if [ -n "$unmet" ]; then
    echo "unmet dependencies, such as $unmet"
  else
    { grep -m1 '^E:' "$log" || echo "no reason given"; } | sed 's/ *\[IP: [^]]*\]$//'

  fi
}
# apt COMMAND...: apt-get, its output shown as it comes and kept in $log.
apt() {
  DEBIAN_FRONTEND=noninteractive $sudo apt-get "$@" 2>&1 | tee "$log"
  return "${PIPESTATUS[0]}"
}

# A list that failed to refresh (a mirror in mid-sync) leaves the older
# one in place, which is often enough: the install decides. The retries
# are quiet: the first try has shown what apt says.
refreshed=false
for try in 1 2 3; do
  if [ "$try" -eq 1 ]; then apt update -q; else apt update -q >/dev/null; fi && {
    refreshed=true
    break
  }
  [ "$try" -eq 3 ] || sleep "$retry_pause"
done
$refreshed || echo "install-deps: the package lists did not all refresh" \
  "($(apt_reason)); installing from what is there."

if [ ${#missing_required[@]} -gt 0 ] &&
  ! apt install -y -q --no-remove "${missing_required[@]}"; then
  echo "install-deps: could not install the required packages" \
    "${missing_required[*]}: $(apt_reason)" >&2
  exit 1
fi

# Tried on their own, after the rest, so that they can fail alone; a dry
# run first, so that an install that cannot be made shows one paragraph
# instead of apt's list of what it could not resolve.
[ ${#missing_optional[@]} -gt 0 ] || exit 0
if ! apt install -s -q --no-remove "${missing_optional[@]}" >/dev/null ||
  ! apt install -y -q --no-remove "${missing_optional[@]}"; then
  echo "install-deps: the optional 32-bit packages ${missing_optional[*]}" \
    "could not be installed ($(apt_reason)). Everything else is" \
    "installed: the 32-bit DLL is still built and checked by its structure," \
    "but not run under Wine${bench_too}. \`make deps\` tries again later."
fi
exit 0
