#!/usr/bin/env bash
# packaging/sign.sh FILE...
#
# Signs Windows programs and installers (.exe, .msi) in place with osslsigncode: the certificate
# and key of the PKCS#12 file TARVEX_SIGN_PFX, whose password (if any) is TARVEX_SIGN_PASS, with
# SHA-256 and, when TARVEX_SIGN_TIMESTAMP names an RFC 3161 server, a timestamp. A file that
# cannot be signed is left as it was and the script fails.
set -euo pipefail

[ -n "${TARVEX_SIGN_PFX:-}" ] || {
  echo "sign.sh: TARVEX_SIGN_PFX names no certificate" >&2
  exit 2
}
[ -f "$TARVEX_SIGN_PFX" ] || {
  echo "sign.sh: no certificate file $TARVEX_SIGN_PFX" >&2
  exit 2
}

work="$(mktemp -d)"
trap 'rm -rf -- "$work"' EXIT
options=(-pkcs12 "$TARVEX_SIGN_PFX" -h sha256 -n tarvex)
# The password goes through a file only this user can read, not the command line.
if [ -n "${TARVEX_SIGN_PASS:-}" ]; then
  (umask 077 && printf '%s' "$TARVEX_SIGN_PASS" >"$work/pass")
  options+=(-readpass "$work/pass")
fi
if [ -n "${TARVEX_SIGN_TIMESTAMP:-}" ]; then
  options+=(-ts "$TARVEX_SIGN_TIMESTAMP")
fi

for file in "$@"; do
  signed="$work/signed"
  rm -f -- "$signed"
  if ! osslsigncode sign "${options[@]}" -in "$file" -out "$signed" >"$work/log" 2>&1; then
    echo "sign.sh: cannot sign $file:" >&2
    cat "$work/log" >&2
    exit 1
  fi
  cat "$signed" >"$file"
  echo "sign.sh: signed $file"
done
