# 6. One download into two fixtures at once, one on each adapter.
adapters=2

guest() {
  cli download download -p /dev/ttyUSB0 -p /dev/ttyUSB1 --time-scale 0.05 /share/sample.zfr
}

host() {
  fixture f0 "$PTY0" --time-scale 0.05
  fixture f1 "$PTY1" --time-scale 0.05
  start_guest
  fixture_end f0 || fail "the first fixture found faults"
  fixture_end f1 || fail "the second fixture found faults"
  guest_end
  expect_intact download f0 f1
  expect_out download "2 of 2 ports OK"
}
