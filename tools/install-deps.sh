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
set -euo pipefail
if [ $# -gt 1 ] || { [ $# -eq 1 ] && [ "$1" != --bench ]; }; then
  echo "usage: install-deps.sh [--bench]   (QUILLORY_NO_DEPS=1 skips it)" >&2
  exit 2
fi
[ -z "${QUILLORY_NO_DEPS:-}" ] || exit 0
here=$(cd "$(dirname "$0")" && pwd)

packages=(
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

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
add_i386=false
runs_32bit=true
if "$here/runs-32bit.sh"; then
  packages+=(wine32:i386)
  dpkg --print-foreign-architectures | grep -qx i386 || add_i386=true
else
  runs_32bit=false
fi
if [ "${1:-}" = --bench ]; then
  packages+=(libbenchmark-dev:i386)
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
missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

$runs_32bit || echo "This machine runs no 32-bit programs: Wine's 32-bit" \
  "side is left out, and the 32-bit DLL is checked by its structure only."
echo "Installing: ${missing[*]}"
if $add_i386; then $sudo dpkg --add-architecture i386; fi
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-remove "${missing[@]}"
