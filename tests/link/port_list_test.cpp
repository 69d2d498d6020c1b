// Linux port names and the USB serial adapters found under /dev.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "link/port_list.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

TEST(PortNames, MapToDevices) {
  const std::pair<const char*, const char*> table[] = {
      {"COM1", "/dev/ttyS0"},       {"COM8", "/dev/ttyS7"},         {"COM12", "/dev/ttyS11"},
      {"/dev/pts/7", "/dev/pts/7"}, {"/tmp/x/COM1", "/tmp/x/COM1"}, {"ttyUSB0", "/dev/ttyUSB0"},
      {"COM0", "/dev/COM0"},        {"COMX", "/dev/COMX"},          {"com1", "/dev/ttyS0"},
      {"Com12", "/dev/ttyS11"},
  };
  for (const auto& [name, device] : table) {
    EXPECT_EQ(DeviceForPortName(name), device) << name;
  }
}

TEST(PortList, OffersCom1ToCom8WithTheirDevices) {
  const std::vector<ComPortEntry> ports = ListComPorts();
  ASSERT_EQ(ports.size(), 8u);
  EXPECT_EQ(ports.front().name, "COM1");
  EXPECT_EQ(ports.front().device, "/dev/ttyS0");
  EXPECT_EQ(ports.back().name, "COM8");
  EXPECT_EQ(ports.back().device, "/dev/ttyS7");
}

TEST(PortList, FindsUsbAdaptersByIdAndByName) {
  namespace fs = std::filesystem;
  test::TempDir dev;
  for (const char* name : {"ttyUSB1", "ttyACM0", "ttyUSB0", "ttyS0", "null"}) {
    std::ofstream(dev.File(name)) << "";
  }
  fs::create_directories(dev.path() / "serial" / "by-id");
  fs::create_symlink("../../ttyUSB1", dev.path() / "serial" / "by-id" / "usb-Maker_Cable_42-if00");

  const std::vector<SerialAdapter> found = ListUsbSerialAdapters(dev.path().string());
  ASSERT_EQ(found.size(), 4u);
  EXPECT_EQ(found[0].path, (dev.path() / "serial/by-id/usb-Maker_Cable_42-if00").string());
  EXPECT_EQ(found[0].target, fs::canonical(dev.File("ttyUSB1")).string());
  EXPECT_EQ(found[1].path, dev.File("ttyACM0").string());
  EXPECT_EQ(found[2].path, dev.File("ttyUSB0").string());
  EXPECT_EQ(found[3].path, dev.File("ttyUSB1").string());
  EXPECT_TRUE(found[3].target.empty());
}

TEST(PortList, NoAdaptersWhenTheFoldersAreMissing) {
  test::TempDir dev;
  EXPECT_TRUE(ListUsbSerialAdapters((dev.path() / "absent").string()).empty());
}

}  // namespace
}  // namespace tarvex
