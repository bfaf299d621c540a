#!/usr/bin/env bash
# Signs Windows binaries in place (Authenticode, SHA-256) with osslsigncode,
# when the environment names a certificate:
#
#   CM_SIGN_PFX        the certificate and its key, a PKCS#12 (.pfx) file
#   CM_SIGN_PASSWORD   its password (may be empty, but must be set)
#   CM_SIGN_TIMESTAMP  optional: an RFC 3161 time-stamping server's URL, so
#                      the signature stays valid after the certificate expires
#
# Without CM_SIGN_PFX it signs nothing, says so and succeeds: a build for
# tests needs no certificate. With one, any failure fails the whole call and
# leaves every file as it was; nothing is half signed.
#
#   scripts/lib/sign.sh FILE...
set -euo pipefail

if [ -z "${CM_SIGN_PFX:-}" ]; then
  echo "sign: no certificate (CM_SIGN_PFX is not set): the binaries are NOT signed"
  exit 0
fi
[ -f "$CM_SIGN_PFX" ] || { echo "sign: CM_SIGN_PFX: no such file: $CM_SIGN_PFX" >&2; exit 1; }
[ -n "${CM_SIGN_PASSWORD+set}" ] || { echo "sign: CM_SIGN_PFX is set but CM_SIGN_PASSWORD is not" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The password goes through a private file, not the command line, where any
# user of the machine could read it in the process list.
umask 077
printf '%s' "$CM_SIGN_PASSWORD" > "$work/password"

timestamp=()
[ -n "${CM_SIGN_TIMESTAMP:-}" ] && timestamp=(-ts "$CM_SIGN_TIMESTAMP")

n=0
for file in "$@"; do
  n=$((n + 1))
  osslsigncode sign -pkcs12 "$CM_SIGN_PFX" -readpass "$work/password" -h sha256 \
    -n "Brevano MySQL" "${timestamp[@]}" -in "$file" -out "$work/$n" >"$work/log" 2>&1 || {
    echo "sign: signing $file failed:" >&2
    cat "$work/log" >&2
    exit 1
  }
done
# Only once every file is signed are the originals replaced.
n=0
for file in "$@"; do
  n=$((n + 1))
  cat "$work/$n" > "$file"
done
echo "sign: signed with $(basename "$CM_SIGN_PFX"): $*"
