// Windows port names: every COM name through the device namespace, which COM10 and above need.
#include <ostream>

#include <gtest/gtest.h>

#include "link/port_list.h"

namespace tarvex {
namespace {

struct NameCase {
  const char* name;
  const char* device;
};

void PrintTo(const NameCase& c, std::ostream* out) {
  *out << c.name;
}

class WindowsPortNames : public testing::TestWithParam<NameCase> {};

TEST_P(WindowsPortNames, OpenThroughTheDeviceNamespace) {
  EXPECT_EQ(DeviceForPortName(GetParam().name), GetParam().device);
}

INSTANTIATE_TEST_SUITE_P(Table, WindowsPortNames,
                         testing::Values(NameCase{"COM1", "\\\\.\\COM1"},
                                         NameCase{"COM12", "\\\\.\\COM12"},
                                         NameCase{"com12", "\\\\.\\COM12"},
                                         NameCase{"COM256", "\\\\.\\COM256"},
                                         NameCase{"\\\\.\\COM3", "\\\\.\\COM3"},
                                         NameCase{"CNCA0", "\\\\.\\CNCA0"}, NameCase{"", ""}));

TEST(WindowsPortList, OffersCom1ToCom8ByTheirDeviceNames) {
  const auto ports = ListComPorts();
  ASSERT_EQ(ports.size(), 8u);
  EXPECT_EQ(ports.front().name, "COM1");
  EXPECT_EQ(ports.back().device, "\\\\.\\COM8");
}

}  // namespace
}  // namespace tarvex
