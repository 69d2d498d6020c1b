// The line is free no earlier than the frame's wire time after the driver took it: a writing
// thread held up between its clock read and the write must not make the next step early.
#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "link/serial_link.h"
#include "tests/support/fake_port_backend.h"

namespace tarvex {
namespace {

using namespace std::chrono_literals;

TEST(WireTimeFloor, CountsFromWhenTheDriverTookTheBytes) {
  const auto port = test::FakePort::Make();
  port->SetHandOverDelay(40ms);
  SerialLink link(port->MakeBackend());
  ASSERT_TRUE(link.OpenCommPort("COM1", PARITY_CODE_ODD, 115200));
  const std::vector<std::uint8_t> frame(100, 0x5A);

  const SerialLink::Clock::time_point before = SerialLink::Clock::now();
  const SerialLink::Drained drained = link.WriteDrained(frame.data(), 100);
  ASSERT_EQ(drained.count, 100u);
  EXPECT_GE(drained.lineFree, before + 40ms + WireTime(drained.settings, 100));
  link.CloseCommPort();
}

}  // namespace
}  // namespace tarvex
