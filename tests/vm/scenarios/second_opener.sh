# 5. A second program opens the port while a download runs. A normal user is refused by the
# driver's exclusive mode (TIOCEXCL: "Device or resource busy"); root passes that and is refused
# by the tool's own lock. Either way the tool says the port is in use, and the first download
# arrives undisturbed.
guest() {
  cli first download --port /dev/ttyUSB0 --time-scale 0.05 --trace /tmp/first.trace \
    /share/big.zfr &
  await_blocks /tmp/first.trace 2
  cli_as tester user test --port /dev/ttyUSB0
  cli root test --port /dev/ttyUSB0
  wait
}

host() {
  fixture f0 "$PTY0" --time-scale 0.05
  start_guest
  fixture_end f0 || fail "the first download did not arrive intact"
  guest_end
  expect_rc first 0
  for who in user root; do
    expect_rc "$who" 1
    expect_out "$who" "port is in use by another program"
  done
  expect_out user "Device or resource busy"
  expect_out root "Resource temporarily unavailable"
  expect_fixture f0 "Verdict: received intact"
  ! grep -q "Interrupted\|Test codes" "$run/f0.fixture" || fail "the second opener reached the line"
}
