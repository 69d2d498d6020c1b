# 3. The test code alone, through the adapter's by-id name, at 115200 8O1.
guest() {
  cli test test --port /dev/serial/by-id/usb-QEMU_QEMU_USB_SERIAL_TVX0001-if00-port0
}

host() {
  fixture f0 "$PTY0"
  start_guest
  fixture_end f0 || fail "the fixture did not get the test code alone"
  guest_end
  expect_rc test 0
  expect_fixture f0 "Verdict: test code received"
  expect_settings "115384 8O1"
}
