#!/usr/bin/env bash
# Builds the Windows Installer package from the install set in DIST
# (DIST/Quillory/*.dll) with Debian's wixl, then mends two things wixl does
# not write: DLLPath as REG_EXPAND_SZ (in the Registry table, a value that
# starts with #%), and INSTALLDIR among the secure properties.
# usage: build-msi.sh DIST VERSION OUT.msi
set -euo pipefail
dist=$(cd "$1" && pwd)
version=$2
out=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
wxs=$(cd "$(dirname "$0")" && pwd)/Quillory_MapiDll.wxs

rm -f "$out"
# wixl takes File sources relative to where it runs.
(cd "$dist" && wixl -a x64 -D Version="$version" -o "$out" "$wxs")
msiinfo export "$out" Registry | tr -d '\r' |
  awk -F'\t' 'NR > 3 && $4 == "DLLPath" {print $1 "\t" $5}' |
  while IFS=$'\t' read -r row value; do
    msibuild "$out" -q "UPDATE Registry SET Value = '#%$value' WHERE Registry = '$row'"
  done
secure=$(msiinfo export "$out" Property | tr -d '\r' |
  awk -F'\t' '$1 == "SecureCustomProperties" {print $2}')
msibuild "$out" -q "UPDATE Property SET Value = '${secure:+$secure;}INSTALLDIR' WHERE Property = 'SecureCustomProperties'"
