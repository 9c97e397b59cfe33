#!/usr/bin/env bash
# Exit 0 when this machine runs 32-bit x86 programs (its kernel has the
# 32-bit entry); the one thing 32-bit Windows programs under Wine need of
# it. Probed with a hand-made 96-byte static program that only exits with
# 42, so that no compiler or 32-bit library is needed before the first
# install. QUILLORY_NO_32BIT=1 answers no, to try what a machine that
# cannot run them does.
set -u
[ -z "${QUILLORY_NO_32BIT:-}" ] || exit 1
probe=$(mktemp "${TMPDIR:-/tmp}/quillory-probe32.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT
# ELF header, one loadable segment, then: mov eax,1; mov ebx,42; int 0x80.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00'\
'\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00'\
'\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00'\
'\x00\x00\x00\x00'\
'\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08'\
'\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00'\
'\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$probe"
chmod +x "$probe"
"$probe" 2>/dev/null
[ $? -eq 42 ]
