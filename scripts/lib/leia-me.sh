#!/usr/bin/env bash
# Writes the operator's copy of the guide: the Notepad of older Windows reads
# accents as UTF-8 only after a byte-order mark, and breaks lines only at
# CR LF. Whatever the checkout did to the source (a mark, CR LF), the copy
# gets exactly one mark and CR LF on every line.
#
#   scripts/lib/leia-me.sh docs/LEIA-ME.txt OUT
set -euo pipefail
{ printf '\xef\xbb\xbf'; sed '1s/^\xef\xbb\xbf//; s/\r$//; s/$/\r/' "$1"; } >"$2"
