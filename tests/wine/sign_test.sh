#!/usr/bin/env bash
# tests/wine/sign_test.sh CPACK_CONFIG
#
# The packages, made by the package target's own steps with a throw-away code-signing
# certificate (its own CA, made here) and a time-stamping server of its own (tsa_server.py): both
# installers carry a timestamped signature that verifies against that CA, and so do both
# programs inside the zip and the MSI (signed before they were packed); a file changed after
# signing fails the check; a wrong password fails the build instead of giving unsigned packages.
# Runs on the build machine: no Wine needed.
set -euo pipefail

fail() {
  echo "sign_test.sh: $*" >&2
  exit 1
}
[ $# -eq 1 ] && [ -f "$1" ] || {
  echo "usage: tests/wine/sign_test.sh CPACK_CONFIG" >&2
  exit 2
}
config="$(realpath "$1")"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
work="$(mktemp -d /tmp/tarvex-sign.XXXXXX)"
tsa_pid=""
# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  if [ -n "$tsa_pid" ]; then
    kill "$tsa_pid" 2>/dev/null
    wait "$tsa_pid" 2>/dev/null || true
  fi
  rm -rf -- "$work"
}
trap cleanup EXIT
cd "$work"

# A CA; a code-signing certificate it issued, in a password-protected PKCS#12 file; a
# time-stamping certificate from it too.
openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 \
  -subj "/CN=tarvex test CA" -addext basicConstraints=critical,CA:TRUE \
  -addext keyUsage=critical,keyCertSign >/dev/null 2>&1
issue() { # NAME EXTENDED_KEY_USAGE
  openssl req -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=tarvex test $1" &&
    printf 'keyUsage=critical,digitalSignature\nextendedKeyUsage=%s\n' "$2" >"$1.ext" &&
    openssl x509 -req -in "$1.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
      -extfile "$1.ext" -out "$1.pem"
} >/dev/null 2>&1
issue signer codeSigning && issue tsa critical,timeStamping &&
  openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout pass:s3cret \
    -out signer.pfx >/dev/null 2>&1 || fail "openssl could not make the certificates"
cat >tsa.cnf <<CNF
[ tsa ]
default_tsa = test_tsa
[ test_tsa ]
serial = $work/tsa.serial
crypto_device = builtin
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha256
ess_cert_id_alg = sha256
accuracy = secs:1
CNF
echo 01 >tsa.serial
python3 "$here/tsa_server.py" "$work" >tsa.port 2>tsa.log &
tsa_pid=$!
for _ in $(seq 100); do
  [ ! -s tsa.port ] || break
  sleep 0.05
done
[ -s tsa.port ] || fail "the time-stamping server did not start: $(cat tsa.log)"

package() {
  local out="$1"
  shift
  TARVEX_SIGN_PFX="$work/signer.pfx" TARVEX_SIGN_TIMESTAMP="http://127.0.0.1:$(cat tsa.port)" \
    cpack --config "$config" -B "$work/$out" "$@" >"$work/$out.log" 2>&1
}
verifies() {
  osslsigncode verify -CAfile "$work/ca.pem" -TSA-CAfile "$work/ca.pem" -in "$1" \
    >"$work/verify.log" 2>&1
}

TARVEX_SIGN_PASS=wrong package refused -G ZIP && fail "a wrong password still gave a package"
TARVEX_SIGN_PASS=s3cret package out || fail "packaging with signing failed: $(tail -5 out.log)"

installers=(out/*.exe out/*.msi)
[ ${#installers[@]} -eq 2 ] && [ -f "${installers[0]}" ] && [ -f "${installers[1]}" ] ||
  fail "not both installers: ${installers[*]}"
mkdir zip msi
unzip -q out/*.zip -d zip
msiextract -C msi out/*.msi >/dev/null
mapfile -t programs < <(find zip msi -name '*.exe' | sort)
[ ${#programs[@]} -eq 4 ] || fail "expected both programs in the zip and the MSI: ${programs[*]}"
for file in "${installers[@]}" "${programs[@]}"; do
  verifies "$file" || fail "$file does not verify: $(cat verify.log)"
  grep -q '^Timestamp Server Signature verification: ok' verify.log ||
    fail "$file has no valid timestamp: $(cat verify.log)"
done

# One byte changed inside each signed installer: the check must fail.
for file in "${installers[@]}"; do
  cp "$file" tampered
  size=$(stat -c %s tampered)
  printf '\x5a' | dd of=tampered bs=1 seek=$((size / 2)) conv=notrunc status=none
  cmp -s "$file" tampered && printf '\xa5' | dd of=tampered bs=1 seek=$((size / 2)) conv=notrunc status=none
  ! verifies tampered || fail "a changed copy of $file still verifies"
done
echo "sign_test.sh: both installers and the ${#programs[@]} packed programs verify, timestamped; changed copies do not"
