# 1. The tool finds the adapter in the real sysfs: `ports`, `ports --json`, and `--port auto`,
# which takes its by-id name.
BY_ID=/dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_TVX0001-if00-port0

guest() {
  cli ports ports
  cli ports_json ports --json
  cli auto test --port auto
}

host() {
  fixture f0 "$PTY0"
  start_guest
  fixture_end f0 || fail "the fixture did not get the test code"
  guest_end
  expect_rc ports 0
  for fact in "$BY_ID -> /dev/ttyUSB0" "USB 0403:6001" "maker QEMU" "product QEMU USB SERIAL" \
    "serial TVX0001"; do
    expect_out ports "$fact"
  done
  expect_rc ports_json 0
  for fact in "\"by_id\":\"$BY_ID\"" '"device":"/dev/ttyUSB0"' '"vid":"0403"' '"pid":"6001"' \
    '"maker":"QEMU"' '"product":"QEMU USB SERIAL"' '"serial":"TVX0001"' '"usb":true'; do
    expect_out ports_json "$fact"
  done
  expect_rc auto 0
  expect_out auto "$BY_ID"
  expect_fixture f0 "Verdict: test code received"
}
