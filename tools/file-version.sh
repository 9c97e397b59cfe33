#!/usr/bin/env bash
# Prints a DLL's file version and product version from its version
# resource's fixed file info ("1.2.3.0 1.2.3.0"); nothing, and exit 1, for
# a file without one. Any architecture: the resource is read as bytes.
# usage: file-version.sh DLL
set -uo pipefail
if [ $# -ne 1 ]; then
  echo "usage: file-version.sh DLL" >&2
  exit 2
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
llvm-objcopy-19 --dump-section ".rsrc=$work/rsrc" "$1" "$work/copy" 2>/dev/null || exit 1
rsrc=$(od -An -tx1 -v "$work/rsrc" | tr -d ' \n')
# The fixed file info: signature FEEF04BD, a structure version, then the
# file and the product version, each two 32-bit little-endian words of
# 16-bit fields (major, minor; build, revision).
[[ $rsrc == *bd04effe* ]] || exit 1
fixed=${rsrc#*bd04effe}
fixed=${fixed:8:32}
field() { echo $((16#${fixed:$1+2:2}${fixed:$1:2})); }
echo "$(field 4).$(field 0).$(field 12).$(field 8)" \
  "$(field 20).$(field 16).$(field 28).$(field 24)"
