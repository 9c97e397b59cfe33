#!/usr/bin/env bash
# Fails, naming the problem, unless VERSION is what Windows takes as a
# file and product version: 1 to 4 dot-separated decimal numbers, the
# first two at most 255 (Windows Installer's product version), the others
# at most 65535 (each a 16-bit field of the version resource).
# usage: check-version.sh VERSION
set -u
if [ $# -ne 1 ]; then
  echo "usage: check-version.sh VERSION" >&2
  exit 2
fi
version=$1
if ! [[ $version =~ ^[0-9]+(\.[0-9]+){0,3}$ ]]; then
  echo "VERSION '$version' is not 1 to 4 dot-separated numbers (such as 1.2.3)" >&2
  exit 1
fi
IFS=. read -ra fields <<<"$version"
limits=(255 255 65535 65535)
for i in "${!fields[@]}"; do
  # 10# reads a leading zero as decimal, not octal.
  if [ "${#fields[$i]}" -gt 5 ] || [ $((10#${fields[$i]})) -gt "${limits[$i]}" ]; then
    echo "VERSION '$version': field $((i + 1)) is over ${limits[$i]}, the most Windows takes there" >&2
    exit 1
  fi
done
