// USB ids and serial numbers read from the instance ids that Windows gives serial ports.
#include <ostream>

#include <gtest/gtest.h>

#include "link/usb_ids.h"

namespace tarvex {
namespace {

struct IdCase {
  const char* instanceId;
  const char* vid;  // null: not a USB device
  const char* pid;
  const char* serial;
};

void PrintTo(const IdCase& c, std::ostream* out) {
  *out << c.instanceId;
}

class UsbInstanceIds : public testing::TestWithParam<IdCase> {};

TEST_P(UsbInstanceIds, GiveVendorProductAndRealSerialNumbers) {
  const IdCase& c = GetParam();
  const auto ids = ParseUsbInstanceId(c.instanceId);
  if (c.vid == nullptr) {
    EXPECT_FALSE(ids.has_value());
    return;
  }
  ASSERT_TRUE(ids.has_value());
  EXPECT_EQ(ids->vid, c.vid);
  EXPECT_EQ(ids->pid, c.pid);
  EXPECT_EQ(ids->serial, c.serial);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsbInstanceIds,
    testing::Values(IdCase{"USB\\VID_0403&PID_6001\\A12345", "0403", "6001", "A12345"},
                    // FTDI's own bus driver puts the serial number after the product id.
                    IdCase{"FTDIBUS\\VID_0403+PID_6001+A12345A\\0000", "0403", "6001", "A12345A"},
                    // Made up by the system for a device without a serial number.
                    IdCase{"USB\\VID_1A86&PID_7523\\5&2A3B4C5D&0&2", "1a86", "7523", ""},
                    // An interface of a composite device: the last part is not its serial number.
                    IdCase{"USB\\VID_2341&PID_0043&MI_00\\6&1234ABCD&0&0000", "2341", "0043", ""},
                    IdCase{"usb\\vid_10c4&pid_ea60\\0001", "10c4", "ea60", "0001"},
                    IdCase{"ACPI\\PNP0501\\0", nullptr, nullptr, nullptr},
                    IdCase{"USB\\VID_04&PID_6001\\X", nullptr, nullptr, nullptr}));

}  // namespace
}  // namespace tarvex
