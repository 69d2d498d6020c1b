# 6. Two adapters whose host ends are wired to each other: loopcheck passes at every setting.
adapters=2

guest() {
  cli loopcheck loopcheck --port /dev/ttyUSB0 --via /dev/ttyUSB1
}

host() {
  wire "$PTY0" "$PTY1"
  start_guest
  guest_end
  expect_rc loopcheck 0
}
