#!/usr/bin/env bash
# Before anything is built or signed: the certificate CODESIGN_PFX must open
# with CODESIGN_PASSWORD, and its chain must verify against CODESIGN_CA (or
# the system's CA bundle), as the signatures are checked once made. Says
# which check failed; nothing to check without CODESIGN_PFX.
# usage: check-signing.sh
set -euo pipefail
if [ $# -ne 0 ]; then
  echo "usage: check-signing.sh   (reads CODESIGN_PFX, CODESIGN_PASSWORD, CODESIGN_CA)" >&2
  exit 2
fi
[ -n "${CODESIGN_PFX:-}" ] || exit 0
ca=${CODESIGN_CA:-/etc/ssl/certs/ca-certificates.crt}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The password by a private file, never on a command line.
printf '%s' "${CODESIGN_PASSWORD:-}" >"$work/password"

if [ ! -r "$CODESIGN_PFX" ]; then
  echo "Not signing: cannot read the certificate CODESIGN_PFX=$CODESIGN_PFX." >&2
  exit 1
fi
if ! openssl pkcs12 -in "$CODESIGN_PFX" -passin "file:$work/password" \
  -nokeys -clcerts -out "$work/signer.pem" 2>/dev/null ||
  ! grep -q 'BEGIN CERTIFICATE' "$work/signer.pem"; then
  echo "Not signing: the certificate $CODESIGN_PFX does not open with the" \
    "password given (CODESIGN_PASSWORD). Nothing was signed." >&2
  exit 1
fi
openssl pkcs12 -in "$CODESIGN_PFX" -passin "file:$work/password" -nokeys \
  -cacerts -out "$work/chain.pem" 2>/dev/null || : >"$work/chain.pem"
untrusted=()
grep -q 'BEGIN CERTIFICATE' "$work/chain.pem" && untrusted=(-untrusted "$work/chain.pem")
if ! openssl verify -CAfile "$ca" "${untrusted[@]}" "$work/signer.pem" \
  >"$work/verify.log" 2>&1; then
  echo "Not signing: the certificate's chain does not verify against $ca" \
    "($(grep -m1 -o 'error [0-9]*.*' "$work/verify.log" || echo unknown error))." >&2
  echo "Give the CA bundle that issued it as CODESIGN_CA=bundle.pem" \
    "(CODESIGN_CA is now ${CODESIGN_CA:-unset}). Nothing was signed." >&2
  exit 1
fi
