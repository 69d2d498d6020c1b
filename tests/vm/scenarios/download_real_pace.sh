# 2. The same download at the real pace (about 45 s): every pause the fixture needs is kept.
limit=150

guest() {
  cli download download --port /dev/ttyUSB0 /share/sample.zfr
}

host() {
  fixture f0 "$PTY0"
  start_guest
  fixture_end f0 || fail "the fixture found faults"
  guest_end
  expect_rc download 0
  expect_out download "Download Complete!"
  expect_fixture f0 "Verdict: received intact"
  expect_settings "100000 8E1" "250000 8N2" "115384 8O1"
}
