#!/usr/bin/env bash
# tests/wine/e2e_read.sh WINDOWS_CLI IMAGE
#
# Inside tests/wine/run: the Windows tarvex-cli at both ends of two COM ports wired together, as
# two adapters would be: COM22 and COM23 map to two pseudo-terminals that socat links. First
# `loopcheck --port COM22 --via COM23` must pass at every setting; then `simulate --port COM23`
# must judge a download sent through COM22 (a tenth of the real pace) "received intact". Both
# programs read and write through the Windows port code, under Wine.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=sandbox.sh source-path=SCRIPTDIR
source "$here/sandbox.sh"
require_sandbox e2e_read.sh

fail() {
  echo "e2e_read.sh: $*" >&2
  exit 1
}
[ $# -eq 2 ] || {
  echo "usage: tests/wine/e2e_read.sh WINDOWS_CLI IMAGE" >&2
  exit 2
}
windows_cli="$1"
image="$2"
[ -f "$windows_cli" ] || fail "no Windows command-line tool at $windows_cli"
[ -f "$image" ] || fail "no image at $image"
command -v socat >/dev/null || fail "socat is not installed"

SCALE=0.1
work="$(mktemp -d /tmp/tarvex-e2e-read.XXXXXX)"
send_link="$WINEPREFIX/dosdevices/com22"
read_link="$WINEPREFIX/dosdevices/com23"
for link in "$send_link" "$read_link"; do
  if [ -e "$link" ] || [ -L "$link" ]; then
    fail "${link##*/} is mapped already"
  fi
done
socat_pid=""
holder_pid=""
fixture_pid=""

# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  set +e
  for pid in "$fixture_pid" "$holder_pid" "$socat_pid"; do
    if [ -n "$pid" ]; then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
    fi
  done
  rm -f -- "$send_link" "$read_link"
  rm -rf -- "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Raw from the start: a 0x03 byte must reach the reader, not become a signal.
socat "pty,raw,echo=0,link=$work/a" "pty,raw,echo=0,link=$work/b" 2>/dev/null &
socat_pid=$!
for _ in $(seq 100); do
  [ -e "$work/a" ] && [ -e "$work/b" ] && break
  sleep 0.05
done
pty_a="$(readlink "$work/a" || true)"
pty_b="$(readlink "$work/b" || true)"
is_our_pty "$pty_a" && is_our_pty "$pty_b" || fail "socat made no pseudo-terminals of the sandbox"
# Held open here, never as a controlling terminal: some socat versions give up a side whose last
# opener closed it, and each setting of loopcheck closes and reopens the sending port.
python3 -c 'import os, sys, time
fds = [os.open(p, os.O_RDWR | os.O_NOCTTY) for p in sys.argv[1:]]
time.sleep(86400)' "$pty_a" "$pty_b" &
holder_pid=$!
ln -s "$pty_a" "$send_link"
ln -s "$pty_b" "$read_link"
[ "$(readlink "$send_link")" = "$pty_a" ] && [ "$(readlink "$read_link")" = "$pty_b" ] ||
  fail "cannot map COM22 and COM23"

loop_out="$work/loopcheck.txt"
loop_status=0
"$here/wine-exec" "$windows_cli" loopcheck --port COM22 --via COM23 --time-scale 0.05 \
  >"$loop_out" 2>&1 || loop_status=$?
cat "$loop_out"
[ "$loop_status" -eq 0 ] || fail "loopcheck ended with status $loop_status"
for setting in "100000 8E1" "250000 8N2" "115200 8O1"; do
  grep -q "^$setting: OK, " "$loop_out" || fail "loopcheck did not find $setting OK"
done

fixture_out="$work/fixture.txt"
"$here/wine-exec" "$windows_cli" simulate --port COM23 --timeout 120 --time-scale "$SCALE" \
  >"$fixture_out" 2>&1 </dev/null &
fixture_pid=$!
for _ in $(seq 200); do
  grep -q "^Simulated fixture listening on COM23" "$fixture_out" && break
  kill -0 "$fixture_pid" 2>/dev/null || break
  sleep 0.05
done
grep -q "^Simulated fixture listening on COM23" "$fixture_out" ||
  fail "the fixture did not listen on COM23: $(cat "$fixture_out")"

image_path="$(realpath "$image")"
windows_image="Z:${image_path//\//\\}"
download_status=0
"$here/wine-exec" "$windows_cli" download --port COM22 --time-scale "$SCALE" "$windows_image" ||
  download_status=$?
fixture_status=0
wait "$fixture_pid" || fixture_status=$?
fixture_pid=""
echo "--- simulated fixture on COM23:"
cat "$fixture_out"
[ "$download_status" -eq 0 ] || fail "the download ended with status $download_status"
[ "$fixture_status" -eq 0 ] || fail "the fixture ended with status $fixture_status"
grep -q "received intact" "$fixture_out" || fail "the fixture did not receive the image intact"
echo "e2e_read.sh: loopcheck passed and the fixture on COM23 received the image intact"
