#!/usr/bin/env bash
# Installs the Debian packages the build, tests, demo and benchmarks need,
# only those missing; the package lists are refreshed once, when needed.
set -euo pipefail

packages=(
  cmake ninja-build make g++ clang clang-format clang-tidy
  libgtest-dev libgmock-dev googletest libbenchmark-dev
  libclang-rt-14-dev
  g++-multilib qemu-user-static
  g++-mingw-w64-i686 g++-mingw-w64-x86-64
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64
  wine wine64 xvfb xauth
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [ "$status" = "install ok installed" ] || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
