# 4. The adapter is pulled out (QMP device_del) in the data phase: the download fails with the
# reason and status 1, never "Download Complete!", and its trace ends FAILED. Plugged back in, the
# adapter is found by --port auto and a new download arrives intact; the fixture reports the first
# one as interrupted and judges the second on its own.
limit=120

guest() {
  (await_blocks /tmp/first.trace 3 && say data) &
  cli first download --port /dev/ttyUSB0 --time-scale 0.05 --trace /tmp/first.trace \
    /share/big.zfr
  wait_gone /dev/ttyUSB0
  say failed
  await replugged && wait_adapters 1 &&
    cli second download --port auto --time-scale 0.05 /share/sample.zfr
}

host() {
  fixture f0 "$PTY0" --time-scale 0.05
  start_guest
  await data
  unplug 0
  await failed
  replug 0
  say replugged
  fixture_end f0 || fail "the fixture did not find the second download intact"
  guest_end
  expect_rc first 1
  expect_out first "FAILED"
  expect_out first "Input/output error"
  expect_no_out first "Download Complete!"
  grep '"record":"end"' "$share/first.trace" | grep -q '"outcome":"FAILED"' ||
    fail "the first download's trace does not end FAILED"
  expect_intact second f0
  expect_fixture f0 "Interrupted download 1 of 1 (partial):"
  # Each download is judged with its own wake-up.
  [ "$(grep -c 'Wake-up: *yes' "$run/f0.fixture")" -eq 2 ] ||
    fail "the fixture did not see each download's wake-up with it"
}
