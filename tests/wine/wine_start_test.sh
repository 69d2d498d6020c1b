#!/usr/bin/env bash
# wine_start_test.sh LAUNCHER: only a silent, quick, failed start is tried again; every other end
# of the command, and the signals sent to the launcher, pass through unchanged. The command is a
# stand-in for wine that behaves as each case says; "quick" is under a second here (--within
# 1000), so that a busy machine cannot turn a quick case into a slow one.
set -euo pipefail

launcher="$1"
scratch="$(mktemp -d)"
trap 'rm -rf -- "$scratch"' EXIT
failures=0

# The stand-in: behaviour for try N is the Nth word of $BEHAVIOUR (the last one repeats).
#   fail     exit 5 at once, silent       say     print, exit 0
#   complain print to stderr, exit 3      slow    exit 4 after 1.5 s, silent
#   ok       exit 0 at once, silent       killed  end by SIGTERM, silent
cat >"$scratch/wine" <<'EOF'
#!/bin/sh
tries=$(($(cat "$TRIES" 2>/dev/null || echo 0) + 1))
echo "$tries" >"$TRIES"
set -- $BEHAVIOUR
while [ $# -gt 1 ] && [ "$tries" -gt 1 ]; do shift; tries=$((tries - 1)); done
case "$1" in
  fail) exit 5 ;;
  say) echo "said"; exit 0 ;;
  complain) echo "complained" >&2; exit 3 ;;
  slow) sleep 1.5; exit 4 ;;
  ok) exit 0 ;;
  killed) kill -TERM $$ ;;
esac
EOF
chmod +x "$scratch/wine"

# check NAME BEHAVIOUR STATUS TRIES STDOUT STDERR: the launcher's end, and the stand-in's tries.
check() {
  local name="$1" behaviour="$2" want_status="$3" want_tries="$4" want_out="$5" want_err="$6"
  local status=0 out err tries
  rm -f "$scratch/tries"
  BEHAVIOUR="$behaviour" TRIES="$scratch/tries" "$launcher" --within 1000 "$scratch/wine" \
    >"$scratch/out" 2>"$scratch/err" || status=$?
  out="$(cat "$scratch/out")"
  err="$(sed 's/ after [0-9]* ms/ after T ms/' "$scratch/err")"
  tries="$(cat "$scratch/tries")"
  if [ "$status" -ne "$want_status" ] || [ "$tries" -ne "$want_tries" ] ||
    [ "$out" != "$want_out" ] || [ "$err" != "$want_err" ]; then
    echo "FAIL $name: status $status (want $want_status), tries $tries (want $want_tries)"
    echo "     stdout [$out] (want [$want_out]), stderr [$err] (want [$want_err])"
    failures=$((failures + 1))
  else
    echo "ok   $name"
  fi
}

retry() {
  echo "wine-exec: $scratch/wine did not start (exit 5 after T ms, no output): retry $1 of 2"
}
check "starts at once" "say" 0 1 "said" ""
check "starts at the second try" "fail say" 0 2 "said" "$(retry 1)"
check "starts at the third try" "fail fail say" 0 3 "said" "$(retry 1)"$'\n'"$(retry 2)"
check "never starts: the last status" "fail" 5 3 "" "$(retry 1)"$'\n'"$(retry 2)"
check "fails with a word: never again" "complain say" 3 1 "" "complained"
check "fails slowly: never again" "slow say" 4 1 "" ""
check "succeeds silently: never again" "ok fail" 0 1 "" ""
check "killed: the same signal" "killed say" 143 1 "" ""

# Sent to the launcher, a background job of this script (SIGINT ignored, as for any background
# job without job control): the stand-in sees the signal once, and its end is the launcher's.
cat >"$scratch/waiting-wine" <<'EOF'
#!/usr/bin/perl
$| = 1;
for my $name ("INT", "TERM", "HUP") {
  $SIG{$name} = sub { print "got $name\n"; exit 130; };
}
print "waiting $$\n";
sleep 30;
exit 1;
EOF
chmod +x "$scratch/waiting-wine"

# start_waiting: the launcher in the background ($pid), once the stand-in waits ($wine_pid).
start_waiting() {
  : >"$scratch/out" # emptied here: the job's own redirection may come after the first look
  "$launcher" "$scratch/waiting-wine" >"$scratch/out" 2>&1 &
  pid=$!
  for _ in $(seq 200); do
    grep -qx "waiting [0-9]*" "$scratch/out" && break
    sleep 0.05
  done
  wine_pid="$(sed -n 's/^waiting //p' "$scratch/out")"
}

for signal in INT TERM HUP; do
  start_waiting
  kill "-$signal" "$pid"
  status=0
  wait "$pid" || status=$?
  if [ "$status" -eq 130 ] && [ "$(cat "$scratch/out")" = "waiting $wine_pid"$'\n'"got $signal" ]; then
    echo "ok   SIG$signal passed on"
  else
    echo "FAIL SIG$signal passed on: status $status, output [$(cat "$scratch/out")]"
    failures=$((failures + 1))
  fi
done

# Killed outright, as a harness's time-out does, the launcher leaves no Wine behind.
start_waiting
kill -KILL "$pid"
{ wait "$pid"; } 2>/dev/null || true
for _ in $(seq 100); do
  kill -0 "$wine_pid" 2>/dev/null || break
  sleep 0.05
done
if [ -n "$wine_pid" ] && ! kill -0 "$wine_pid" 2>/dev/null; then
  echo "ok   SIGKILL to the launcher ends the command"
else
  echo "FAIL SIGKILL to the launcher ends the command: [$wine_pid] still runs"
  kill -KILL "$wine_pid" 2>/dev/null || true
  failures=$((failures + 1))
fi

[ "$failures" -eq 0 ]
