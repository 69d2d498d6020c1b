# 6. Two adapters whose host ends are wired to each other: loopcheck gets every byte through
# intact, without a line error, at every setting. The emulated chip sends at USB speed, not at the
# speed set: where the bytes came in reads spread enough to be timed, loopcheck measures the
# chip's megabits per second and rightly fails that setting for it; nothing else may fail.
adapters=2

guest() {
  cli loopcheck loopcheck --port /dev/ttyUSB0 --via /dev/ttyUSB1
}

host() {
  wire "$PTY0" "$PTY1"
  start_guest
  guest_end
  for setting in "100000 8E1" "250000 8N2" "115200 8O1"; do
    grep -q "^$setting: .* bytes intact, no line errors" "$share/loopcheck.out" ||
      fail "loopcheck at $setting: $(grep "^$setting" "$share/loopcheck.out")"
  done
  ! grep FAILED "$share/loopcheck.out" | grep -vq "adapter gave [0-9]\{7,\} bit/s" ||
    fail "loopcheck failed for another reason than the chip's own speed"
  if grep -q FAILED "$share/loopcheck.out"; then
    expect_rc loopcheck 1
    echo "vm.sh: $scenario: $(grep FAILED "$share/loopcheck.out")"
  else
    expect_rc loopcheck 0
  fi
}
