#!/usr/bin/env bash
# The binaries that ship, on copies in a temporary folder: the build's import
# check refuses a library outside a binary's list and names it, refuses a
# function that the stated oldest Windows lacks and names it, and
# scripts/lib/sign.sh signs all three with a certificate (a throwaway one
# made here) so that osslsigncode verifies them, and leaves them as they were
# without one or with a wrong password.
#
#   shipped_binaries_test.sh OBJDUMP CC MINIMUM ConfiguraMySQL.exe ConfiguraMySQL.com unzip32.dll
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
objdump=$1 cc=$2 minimum=$3
shift 3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

fresh() {
  rm -rf "$work/bin"
  mkdir "$work/bin"
  cp "$@" "$work/bin/"
  originals=("$@")
  files=()
  for f in "$@"; do files+=("$work/bin/$(basename "$f")"); done
}
# Fails with why for each copy that differs from its original.
unchanged() {
  for i in "${!files[@]}"; do cmp -s "${files[$i]}" "${originals[$i]}" || fail "$1: ${files[$i]}"; done
}
# check_imports FILE [ALLOW] [MINIMUM]
check_imports() {
  cmake -DOBJDUMP="$objdump" -DFILE="$1" ${2:+-DALLOW=$2} -DCC="$cc" -DMINIMUM="${3:-$minimum}" \
    -P "$root/cmake/check-imports.cmake" >"$work/check" 2>&1
}

# -- the import check ------------------------------------------------------
fresh "$@"
exe=${files[0]}
for f in "${files[@]}"; do
  check_imports "$f" || fail "$(basename "$f") is refused by the check the build passed: $(cat "$work/check")"
done
if check_imports "$exe" kernel32,msvcrt; then
  fail "a program importing user32 passed a check that allows only kernel32 and msvcrt"
else
  grep -qi "user32.dll" "$work/check" || fail "the refusal does not name user32.dll: $(cat "$work/check")"
  grep -qi "kernel32.dll" "$work/check" && fail "the refusal names an allowed library: $(cat "$work/check")"
  [ ! -e "$exe" ] || fail "a refused binary stays behind, and the next build would take it as up to date"
fi
# Windows XP (0x0501) has no GetTickCount64, which the program imports.
fresh "$@"
exe=${files[0]}
if check_imports "$exe" "" 0x0501; then
  fail "a program importing GetTickCount64 passed as fit for Windows XP"
else
  grep -q "GetTickCount64" "$work/check" || fail "the refusal does not name GetTickCount64: $(cat "$work/check")"
  grep -q "CreateProcessW" "$work/check" && fail "the refusal names a function XP has: $(cat "$work/check")"
  [ ! -e "$exe" ] || fail "a binary refused for its Windows stays behind"
fi

# -- signing ---------------------------------------------------------------
fresh "$@"
(unset CM_SIGN_PFX; "$root/scripts/lib/sign.sh" "${files[@]}") >"$work/out" 2>&1 ||
  fail "without a certificate the signing step fails: $(cat "$work/out")"
grep -q "NOT signed" "$work/out" || fail "without a certificate nothing says the binaries are unsigned"
unchanged "changed without a certificate"

# A throwaway code-signing certificate, its own authority.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Brevano Teste/O=Brevano" \
  -addext "extendedKeyUsage=codeSigning" -addext "keyUsage=digitalSignature" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/cert.pem" -out "$work/cert.pfx" \
  -passout pass:'senha com espaço $1'

verify() { osslsigncode verify -CAfile "$work/cert.pem" -in "$1" >"$work/verify" 2>&1; }

verify "${files[0]}" && fail "an unsigned program passes verification"
if CM_SIGN_PFX=$work/cert.pfx CM_SIGN_PASSWORD=errada "$root/scripts/lib/sign.sh" "${files[@]}" >"$work/out" 2>&1; then
  fail "signing with a wrong password succeeded"
fi
unchanged "changed by a failed signing"

CM_SIGN_PFX=$work/cert.pfx CM_SIGN_PASSWORD='senha com espaço $1' "$root/scripts/lib/sign.sh" "${files[@]}" \
  >"$work/out" 2>&1 || fail "signing failed: $(cat "$work/out")"
for f in "${files[@]}"; do
  verify "$f" || fail "$(basename "$f") does not verify: $(cat "$work/verify")"
  grep -q "Brevano Teste" "$work/verify" || fail "$(basename "$f") is not signed by the given certificate"
done

[ "$failures" -eq 0 ] && echo "shipped binaries: import checks (libraries, Windows $minimum) and signing as expected"
exit $((failures > 0))
