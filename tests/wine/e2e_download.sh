#!/usr/bin/env bash
# tests/wine/e2e_download.sh [--interrupt | --window] NATIVE_CLI WINDOWS_PROGRAM IMAGE
#
# Inside tests/wine/run: the Windows tarvex-cli downloads IMAGE through COM21 into the native
# simulated fixture, at a tenth of the real pace. Succeeds only when both end with status 0 and
# the fixture found the image received intact. With --interrupt, Ctrl-C (SIGINT, which Wine
# turns into CTRL_C_EVENT) comes once the download has begun: the tool must stop, say so and
# end with status 130, and the port must open again at once. With --window, WINDOWS_PROGRAM is
# the dialog's driver (tarvex_window_download PORT IMAGE TIME_SCALE) instead of tarvex-cli.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=sandbox.sh source-path=SCRIPTDIR
source "$here/sandbox.sh"
require_sandbox e2e_download.sh

fail() {
  echo "e2e_download.sh: $*" >&2
  exit 1
}
interrupt=0
window=0
case "${1:-}" in
  --interrupt) interrupt=1 && shift ;;
  --window) window=1 && shift ;;
esac
[ $# -eq 3 ] || {
  echo "usage: tests/wine/e2e_download.sh [--interrupt | --window] NATIVE_CLI WINDOWS_PROGRAM IMAGE" >&2
  exit 2
}
native_cli="$1"
windows_cli="$2"
image="$3"
[ -x "$native_cli" ] || fail "no native command-line tool at $native_cli"
[ -f "$windows_cli" ] || fail "no Windows command-line tool at $windows_cli"
[ -f "$image" ] || fail "no image at $image"

SCALE=0.1
link="$WINEPREFIX/dosdevices/com21"
if [ -e "$link" ] || [ -L "$link" ]; then
  fail "COM21 is mapped already"
fi
fixture_out="$(mktemp /tmp/tarvex-e2e.XXXXXX)"
download_out="$(mktemp /tmp/tarvex-e2e-download.XXXXXX)"
fixture_pid=""
download_pid=""

# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  local status=$?
  trap - EXIT INT TERM
  set +e
  for pid in "$download_pid" "$fixture_pid"; do
    if [ -n "$pid" ]; then
      kill "$pid" 2>/dev/null
      wait "$pid" 2>/dev/null
    fi
  done
  rm -f -- "$link" "$fixture_out" "$download_out"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

show_fixture() {
  echo "--- simulated fixture:"
  cat "$fixture_out"
}

"$native_cli" simulate --timeout 120 --time-scale "$SCALE" >"$fixture_out" 2>&1 </dev/null &
fixture_pid=$!
pty=""
for _ in $(seq 100); do
  pty="$(sed -n '1s/^Simulated fixture listening on //p' "$fixture_out")"
  [ -z "$pty" ] || break
  kill -0 "$fixture_pid" 2>/dev/null || break
  sleep 0.05
done
[ -n "$pty" ] || {
  show_fixture
  fail "the simulated fixture did not say where it listens"
}
is_our_pty "$pty" || fail "the fixture's line $pty is not a pseudo-terminal of the sandbox"
ln -s "$pty" "$link"
[ "$(readlink "$link")" = "$pty" ] || fail "cannot map COM21 to $pty"

# The Windows tool is given the image as a Windows path (Wine shows / as drive Z:): a path that
# starts with "/" would read as a Windows-style option.
image_path="$(realpath "$image")"
windows_image="Z:${image_path//\//\\}"

# Ctrl-C once the download is under way; the tool itself must end the job and the port.
interrupt_download() {
  "$here/wine-exec" "$windows_cli" download --port COM21 --time-scale "$SCALE" "$windows_image" \
    >"$download_out" 2>&1 &
  download_pid=$!
  for _ in $(seq 200); do
    grep -q "QORVAL" "$download_out" && break
    sleep 0.05
  done
  grep -q "QORVAL" "$download_out" || fail "the download did not begin: $(cat "$download_out")"
  kill -INT "$download_pid"
  local status=0
  wait "$download_pid" || status=$?
  download_pid=""
  cat "$download_out"
  [ "$status" -eq 130 ] || fail "the interrupted download ended with status $status, not 130"
  grep -q "interrupted" "$download_out" || fail "the interrupted download did not say so"
  "$here/wine-exec" "$windows_cli" test --port COM21 ||
    fail "COM21 did not open again after the interrupt"
  echo "e2e_download.sh: Ctrl-C stopped the download with status 130 and left COM21 free"
}

if [ "$interrupt" -eq 1 ]; then
  interrupt_download
  exit 0
fi

download_status=0
if [ "$window" -eq 1 ]; then
  "$here/wine-exec" "$windows_cli" COM21 "$windows_image" "$SCALE" || download_status=$?
else
  "$here/wine-exec" "$windows_cli" download --port COM21 --time-scale "$SCALE" "$windows_image" ||
    download_status=$?
fi
if [ "$download_status" -ne 0 ]; then
  show_fixture
  fail "the Windows download ended with status $download_status"
fi

fixture_status=0
wait "$fixture_pid" || fixture_status=$?
fixture_pid=""
show_fixture
[ "$fixture_status" -eq 0 ] || fail "the simulated fixture ended with status $fixture_status"
grep -q "received intact" "$fixture_out" || fail "the simulated fixture did not receive the image intact"
echo "e2e_download.sh: the image arrived intact through COM21"
