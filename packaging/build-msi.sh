#!/usr/bin/env bash
# Builds the Windows Installer package from the install set in DIST
# (DIST/Quillory/*.dll) with Debian's wixl, then adds what wixl does not
# write: the statements of Quillory_MapiDll-msi.sql, DLLPath and
# EventMessageFile as REG_EXPAND_SZ (in the Registry table, a value that
# starts with #%),
# INSTALLDIR and CLIENT_LATER among the secure properties, and each DLL's
# file version (read from its version resource) in the File table.
# usage: build-msi.sh DIST VERSION OUT.msi
set -euo pipefail
if [ $# -ne 3 ]; then
  echo "usage: build-msi.sh DIST VERSION OUT.msi" >&2
  exit 2
fi
here=$(cd "$(dirname "$0")" && pwd)
"$here/../tools/check-version.sh" "$2"
dist=$(cd "$1" && pwd)
version=$2
out=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")

rm -f "$out"
# wixl takes File sources relative to where it runs.
(cd "$dist" && wixl -a x64 -D Version="$version" -o "$out" "$here/Quillory_MapiDll.wxs")
upgrade_code=$(msiinfo export "$out" Property | tr -d '\r' |
  awk -F'\t' '$1 == "UpgradeCode" {print toupper($2)}')
while IFS= read -r statement; do
  case $statement in '' | '#'*) continue ;; esac
  statement=${statement//@VERSION@/$version}
  statement=${statement//@UPGRADECODE@/$upgrade_code}
  if [[ $statement == *@SEQUENCE@* ]]; then
    for table in InstallUISequence InstallExecuteSequence; do
      msibuild "$out" -q "${statement//@SEQUENCE@/$table}"
    done
  else
    msibuild "$out" -q "$statement"
  fi
done <"$here/Quillory_MapiDll-msi.sql"
msiinfo export "$out" Registry | tr -d '\r' |
  awk -F'\t' 'NR > 3 && ($4 == "DLLPath" || $4 == "EventMessageFile") {print $1 "\t" $5}' |
  while IFS=$'\t' read -r row value; do
    msibuild "$out" -q "UPDATE Registry SET Value = '#%$value' WHERE Registry = '$row'"
  done
secure=$(msiinfo export "$out" Property | tr -d '\r' |
  awk -F'\t' '$1 == "SecureCustomProperties" {print $2}')
msibuild "$out" -q "UPDATE Property SET Value = '${secure:+$secure;}INSTALLDIR;CLIENT_LATER' WHERE Property = 'SecureCustomProperties'"
# A versioned file is compared by version, not by hash, at repair and
# upgrade; a DLL without a version resource stays unversioned.
msiinfo export "$out" File | tr -d '\r' | awk -F'\t' 'NR > 3 {print $1 "\t" $3}' |
  while IFS=$'\t' read -r row name; do
    file_version=$("$here/../tools/file-version.sh" "$dist/Quillory/$name" | cut -d' ' -f1) || true
    [ -n "$file_version" ] || continue
    msibuild "$out" -q "UPDATE File SET Version = '$file_version', Language = '1033' WHERE File = '$row'"
    msibuild "$out" -q "DELETE FROM MsiFileHash WHERE File_ = '$row'"
  done
