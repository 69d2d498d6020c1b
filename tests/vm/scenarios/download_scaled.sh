# 2. A download at time scale 0.05 through the driver arrives intact, at the line settings of each
# phase: 100000 8E1 (break), 250000 8N2 (wake frame), 115200 8O1 for the rest, which an FT232B can
# only approach: its divisor gives 115384 baud (0.16 % fast). download_real_pace.sh runs it at
# scale 1.
scale="${scale:-0.05}"

guest() {
  cli download download --port /dev/ttyUSB0 --time-scale "$scale" /share/sample.zfr
}

host() {
  fixture f0 "$PTY0" --time-scale "$scale"
  start_guest
  fixture_end f0 || fail "the fixture found faults"
  guest_end
  expect_intact download f0
  expect_settings "100000 8E1" "250000 8N2" "115384 8O1"
  expect_wake_floor
}

# The chip takes bytes at USB speed and reports its queue empty at once, so only the tool's own
# floor keeps it from re-opening the port at 115200 while the 513 characters of the wake frame
# (250000 8N2, 11 bits each: 22.6 ms) would still be on a real line. The capture shows when the
# frame's first bytes reached the chip, a little after the tool wrote them: a conservative start.
expect_wake_floor() {
  local gap
  gap="$(usb_events | awk '$2 == "data" && $3 == "fb" && !wake { wake = $1 }
                           $2 == "speed" && wake { print $1 - wake; exit }')"
  [ -n "$gap" ] || fail "no wake frame followed by a new speed in the USB capture"
  echo "vm.sh: $scenario: re-opened $((gap / 1000)) ms after the wake frame reached the chip"
  [ "$gap" -ge 22572 ] ||
    fail "the port was re-opened $gap us after the wake frame, before its 22.6 ms on the line"
}
