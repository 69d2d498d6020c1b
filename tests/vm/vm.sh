#!/usr/bin/env bash
# tests/vm/vm.sh --cli CLI --work WORK --sample IMAGE SCENARIO
#
# One scenario of tests/vm/scenarios/: boots a small Linux guest under QEMU whose kernel drives
# one or two emulated FTDI adapters (usb-serial) with its own ftdi_sio driver. The guest runs CLI
# against /dev/ttyUSB*; the adapters' host ends are pseudo-terminals, where `CLI simulate --port`
# plays the fixture. A scenario file holds both halves: guest() runs inside (see init), host()
# here, with the helpers below. QEMU's trace (WORK/run-SCENARIO/trace.log) records the speed and
# framing the driver programmed into the chip, and its USB capture (usb0.pcap) when data reached
# the chip: the host's pseudo-terminal shows neither.
#
# Exit status: 0 when the scenario passed, 1 when it failed, 77 (skipped) when QEMU cannot start.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
usage() {
  echo "usage: tests/vm/vm.sh --cli CLI --work WORK --sample IMAGE SCENARIO" >&2
  exit 2
}
cli="" work="" sample="" scenario=""
while [ $# -gt 0 ]; do
  case "$1" in
    --cli) cli="$(realpath "$2")" && shift 2 ;;
    --work) work="$(realpath -m "$2")" && shift 2 ;;
    --sample) sample="$2" && shift 2 ;;
    -*) usage ;;
    *) scenario="$1" && shift ;;
  esac
done
if [ -z "$cli" ] || [ -z "$work" ] || [ -z "$sample" ] || [ -z "$scenario" ]; then
  usage
fi
[ -f "$here/scenarios/$scenario.sh" ] || usage

QEMU=qemu-system-x86_64
run="$work/run-$scenario"
share="$run/share"
qemu_pid=""
declare -A fixture_pids=()
# The host ends of the adapters, for the scenarios.
# shellcheck disable=SC2034
PTY0="" PTY1=""

fail() {
  echo "vm.sh: $scenario: FAILED: $*" >&2
  exit 1
}

# shellcheck disable=SC2317  # run by the EXIT trap
cleanup() {
  local status=$? name
  trap - EXIT
  set +e
  for name in "${!fixture_pids[@]}"; do
    kill "${fixture_pids[$name]}" 2>/dev/null
  done
  [ -z "$qemu_pid" ] || kill "$qemu_pid" 2>/dev/null
  wait 2>/dev/null
  if [ "$status" -ne 0 ] && [ "$status" -ne 77 ]; then
    for name in "$run"/*.fixture "$share"/*.out; do
      [ -f "$name" ] && printf -- '--- %s:\n%s\n' "${name#"$run"/}" "$(cat "$name")"
    done
    printf -- '--- guest console (last lines):\n%s\n' "$(tail -n 30 "$run/console.log")"
  fi
  exit "$status"
}

# Waits up to $2 seconds for the command $1 to succeed while QEMU runs.
wait_until() {
  local tries=$(($2 * 10))
  until eval "$1"; do
    tries=$((tries - 1))
    [ "$tries" -gt 0 ] && kill -0 "$qemu_pid" 2>/dev/null || return 1
    sleep 0.1
  done
}

# --- the machine ---------------------------------------------------------------------------

adapter_properties() {
  echo "id=ser$1,bus=xhci.0,chardev=c$1,serial=TVX000$(($1 + 1)),always-plugged=on"
}

# KVM where it works; a nested or software KVM may hang or fail, so a first boot with it must
# power off in time, else the emulator (TCG) is used. The choice is kept in WORK.
accelerator() {
  local cached="$work/accel"
  if [ -n "${TARVEX_VM_ACCEL:-}" ]; then
    echo "$TARVEX_VM_ACCEL"
  elif [ -f "$cached" ]; then
    cat "$cached"
  elif [ -r /dev/kvm ] && [ -w /dev/kvm ] && probe_kvm; then
    echo kvm | tee "$cached"
  else
    echo tcg | tee "$cached"
  fi
}

probe_kvm() {
  local probe="$work/probe"
  rm -rf "$probe" && mkdir -p "$probe"
  timeout -k 2 20 "$QEMU" -accel kvm -m 256 -smp 1 -nographic -nic none -no-reboot \
    -kernel "$work/vmlinux" -initrd "$work/initrd.cpio.gz" -append "console=ttyS0 quiet panic=-1" \
    -virtfs "local,path=$probe,mount_tag=host,security_model=none" </dev/null >/dev/null 2>&1
  [ "$(cat "$probe/guest.status" 2>/dev/null)" = 0 ]
}

boot() {
  local accel devices=() i
  accel="$(accelerator)"
  for ((i = 0; i < adapters; i++)); do
    devices+=(-chardev "pty,id=c$i" -device "usb-serial,$(adapter_properties "$i"),pcap=$run/usb$i.pcap")
  done
  timeout -k 5 "$limit" "$QEMU" -accel "$accel" -m 256 -smp 1 -nographic -nic none -no-reboot \
    -kernel "$work/vmlinux" -initrd "$work/initrd.cpio.gz" \
    -append "console=ttyS0 quiet panic=-1 tarvex.scenario=$scenario tarvex.adapters=$adapters" \
    -virtfs "local,path=$share,mount_tag=host,security_model=none" \
    -device qemu-xhci,id=xhci "${devices[@]}" \
    -trace usb_serial_set_baud -trace usb_serial_set_data -D "$run/trace.log" -msg timestamp=on \
    -qmp "unix:$run/qmp.sock,server=on,wait=off" </dev/null >"$run/console.log" 2>&1 &
  qemu_pid=$!
  for ((i = 0; i < adapters; i++)); do
    wait_until "pty_of $i >/dev/null" 10 || fail "QEMU did not open the pseudo-terminal of adapter $i"
    printf -v "PTY$i" '%s' "$(pty_of "$i")"
  done
}

pty_of() {
  sed -n "s/.*char device redirected to \(\/dev\/pts\/[0-9]*\) (label c$1)/\1/p" "$run/console.log" 2>/dev/null |
    grep .
}

# qmp COMMAND [ARGUMENTS-JSON]: one QEMU monitor command; fails unless QEMU says "return".
qmp() {
  local request="{\"execute\":\"$1\"${2:+,\"arguments\":$2}}" reply
  reply="$(printf '{"execute":"qmp_capabilities"}\n%s\n' "$request" |
    socat -t 1 - "UNIX-CONNECT:$run/qmp.sock")"
  [ "$(grep -c '"return"' <<<"$reply")" -eq 2 ] || fail "QEMU refused $request: $reply"
}

unplug() { qmp device_del "{\"id\":\"ser$1\"}"; }

replug() {
  local json
  json="{\"driver\":\"usb-serial\",$(adapter_properties "$1" |
    sed 's/\([^,=]*\)=\([^,]*\)/"\1":"\2"/g; s/"on"/true/')}"
  qmp device_add "$json"
}

# --- talking to the guest ------------------------------------------------------------------

say() { touch "$share/host.$1"; }

# Lets the guest run its half once it is ready. Fixtures start before this: QEMU looks for a
# reader on a pseudo-terminal once a second and drops what the guest sends until it finds one.
start_guest() {
  await ready 60
  say go
}

await() {
  wait_until "[ -e '$share/guest.$1' ]" "${2:-60}" || fail "the guest did not reach '$1'"
}

# Lets the guest power off and waits for it; its scenario must have run to its end.
guest_end() {
  local status=0
  say poweroff
  wait "$qemu_pid" || status=$?
  qemu_pid=""
  [ "$status" -eq 0 ] || fail "QEMU ended with status $status (124: over the $limit s limit)"
  [ "$(cat "$share/guest.status" 2>/dev/null)" = 0 ] || fail "the guest's scenario did not finish"
}

# --- the simulated fixture -----------------------------------------------------------------

# fixture NAME PTY [SIMULATE-OPTIONS...]: a simulated fixture at the host end of an adapter.
fixture() {
  local name="$1" pty="$2"
  shift 2
  "$cli" simulate --port "$pty" --timeout "$limit" "$@" >"$run/$name.fixture" 2>&1 </dev/null &
  fixture_pids[$name]=$!
  wait_until "grep -qs '^Simulated fixture listening' '$run/$name.fixture'" 10 ||
    fail "the fixture $name did not start"
}

# wire FROM TO: what the guest sends through the adapter at FROM arrives at the one at TO, as on
# a wire. QEMU writes to a host end with its lock held, so a host end that is not read stops the
# whole guest, the reader on TO included: this relay always reads FROM at once and keeps what TO
# cannot take yet (socat would stop reading while it waits to write).
wire() {
  perl -e '
    use IO::Select;
    open(my $from, "+<:raw", $ARGV[0]) or die "$ARGV[0]: $!";
    open(my $to, "+<:raw", $ARGV[1]) or die "$ARGV[1]: $!";
    $to->blocking(0);
    my ($reading, $writing, $pending) = (IO::Select->new($from), IO::Select->new($to), "");
    while (1) {
      my ($readable) = IO::Select->select($reading, length($pending) ? $writing : undef, undef);
      if ($readable && @$readable) {
        sysread($from, my $chunk, 65536) or exit;
        $pending .= $chunk;
      }
      my $written = length($pending) ? syswrite($to, $pending) : 0;
      substr($pending, 0, $written, "") if $written;
    }' "$1" "$2" &
  fixture_pids[wire]=$!
}

# Waits for the fixture to end and gives its exit status.
fixture_end() {
  local status=0
  wait "${fixture_pids[$1]}" || status=$?
  unset "fixture_pids[$1]"
  return "$status"
}

# --- judging -------------------------------------------------------------------------------

expect_rc() {
  local rc
  rc="$(cat "$share/$1.rc" 2>/dev/null || echo none)"
  [ "$rc" = "$2" ] || fail "'$1' ended with status $rc, not $2"
}

expect_out() {
  grep -qF -- "$2" "$share/$1.out" || fail "'$1' did not say \"$2\""
}

expect_no_out() {
  ! grep -qF -- "$2" "$share/$1.out" || fail "'$1' said \"$2\""
}

# expect_intact NAME FIXTURE...: the download NAME completed, and each fixture found it intact.
expect_intact() {
  local name="$1" fixture
  shift
  expect_rc "$name" 0
  expect_out "$name" "Download Complete!"
  for fixture in "$@"; do
    expect_fixture "$fixture" "Verdict: received intact"
  done
}

expect_fixture() {
  grep -qF -- "$2" "$run/$1.fixture" || fail "the fixture $1 did not say \"$2\""
}

# The line settings the driver programmed, e.g. "100000 8E1", in order, each change once. The
# driver sets the framing before the speed, so each speed ends a change. Its own 9600 8N1 at the
# first open comes before anything the tool asks for.
programmed_settings() {
  sed -n 's/.*usb_serial_set_data .*parity \(.\), data bits \([0-9]*\), stop bits \([0-9]\).*/data \2\1\3/p
          s/.*usb_serial_set_baud .*baud rate \([0-9]*\).*/baud \1/p' "$run/trace.log" |
    awk '$1 == "data" { framing = $2 } $1 == "baud" { print $2, framing }' | uniq | grep -v '^9600 '
}

# expect_settings "100000 8E1" ...: the driver was programmed with these, in this order.
expect_settings() {
  local want got
  want="$(printf '%s\n' "$@")"
  got="$(programmed_settings)"
  [ "$got" = "$want" ] ||
    fail "the driver was programmed with [$(tr '\n' ' ' <<<"$got")], not [$(tr '\n' ' ' <<<"$want")]"
  echo "vm.sh: $scenario: the driver programmed, in order: $(printf '%s, ' "$@" | sed 's/, $//')"
}

# The first adapter's USB traffic as QEMU captured it (usb0.pcap, usbmon records), one line per
# event with its host time in microseconds: "T speed" when the driver sets a speed (FTDI request
# 3), "T data XX" when it hands the chip a packet of data, XX its first byte.
usb_events() {
  perl -e '
    open(my $f, "<:raw", $ARGV[0]) or die "$ARGV[0]: $!";
    read($f, my $header, 24);
    while (read($f, my $record, 16) == 16) {
      my ($sec, $usec, $size) = unpack("VVV", $record);
      read($f, my $packet, $size);
      my ($type, $xfer, $ep, $length) = unpack("x8 a C C x21 V", $packet);
      my ($requestType, $request) = unpack("x40 C C", $packet);
      next unless $type eq "S";
      my $t = $sec * 1000000 + $usec;
      print "$t speed\n" if $xfer == 2 && $requestType == 0x40 && $request == 3;
      printf("%d data %02x\n", $t, ord(substr($packet, 64, 1))) if $xfer == 3 && $ep == 2 && $length;
    }' "$run/usb0.pcap"
}

# --- the scenario --------------------------------------------------------------------------

if ! command -v "$QEMU" >/dev/null; then
  echo "SKIP: $QEMU is not installed (scripts/setup installs qemu-system-x86)"
  exit 77
fi
if ! printf '{"execute":"qmp_capabilities"}\n{"execute":"quit"}\n' |
  timeout 20 "$QEMU" -machine none -nodefaults -display none -qmp stdio >/dev/null 2>&1; then
  echo "SKIP: $QEMU cannot start here"
  exit 77
fi

trap cleanup EXIT
bash "$here/guest-image.sh" "$work" "$cli"
rm -rf "$run"
mkdir -p "$share"
cp "$sample" "$share/sample.zfr"
cp "$work/big.zfr" "$share/big.zfr"

adapters=1
limit=90
# shellcheck disable=SC2034  # where a scenario file finds another
scenarios="$here/scenarios"
# shellcheck source=/dev/null
source "$here/scenarios/$scenario.sh"
started=$SECONDS
boot
host
echo "vm.sh: $scenario: passed in $((SECONDS - started)) s"
