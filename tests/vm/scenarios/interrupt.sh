# 7. Ctrl-C (SIGINT) in the middle of the blocks: the tool stops with status 130 and leaves the
# port free: the test code goes out through it right after.
guest() {
  (await_blocks /tmp/first.trace 3 && kill -INT "$(cat /tmp/first.pid)") &
  cli first download --port /dev/ttyUSB0 --time-scale 0.05 --trace /tmp/first.trace \
    /share/big.zfr
  cli after test --port /dev/ttyUSB0
}

host() {
  fixture f0 "$PTY0" --time-scale 0.05
  start_guest
  fixture_end f0 || fail "the fixture did not get the test code after the interrupted download"
  guest_end
  expect_rc first 130
  expect_no_out first "Download Complete!"
  expect_rc after 0
  expect_fixture f0 "Interrupted download 1 of 1 (partial):"
  expect_fixture f0 "Verdict: test code received"
}
