// The stop-bit rule, the timing derived from line settings, and port names.
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "link/line_settings.h"
#include "link/port_list.h"
#include "tests/support/temp_dir.h"

namespace tarvex {
namespace {

using std::chrono::microseconds;
using std::chrono::milliseconds;

struct RuleCase {
  std::uint32_t baud;
  std::uint8_t parity;
  std::uint8_t stopBits;
  std::uint32_t bitsPerCharacter;
  const char* text;
};

void PrintTo(const RuleCase& c, std::ostream* out) {
  *out << c.text;
}

class StopBitRule : public testing::TestWithParam<RuleCase> {};

TEST_P(StopBitRule, GivesStopBitsAndCharacterLength) {
  const RuleCase& c = GetParam();
  const LineSettings settings = MakeLineSettings(c.baud, c.parity);
  EXPECT_EQ(settings.baud, c.baud);
  EXPECT_EQ(settings.parity, c.parity);
  EXPECT_EQ(settings.stopBits, c.stopBits);
  EXPECT_EQ(BitsPerCharacter(settings), c.bitsPerCharacter);
  EXPECT_EQ(Describe(settings), c.text);
}

INSTANTIATE_TEST_SUITE_P(Table, StopBitRule,
                         testing::Values(RuleCase{100000, PARITY_EVEN, 1, 11, "100000 8E1"},
                                         RuleCase{250000, PARITY_NONE, 2, 11, "250000 8N2"},
                                         RuleCase{115200, PARITY_ODD, 1, 11, "115200 8O1"},
                                         RuleCase{140000, PARITY_NONE, 1, 10, "140000 8N1"},
                                         RuleCase{140000, PARITY_EVEN, 1, 11, "140000 8E1"},
                                         RuleCase{139999, PARITY_NONE, 2, 11, "139999 8N2"},
                                         RuleCase{140001, PARITY_NONE, 2, 11, "140001 8N2"}));

TEST(WireTime, IsCharactersTimesBitsOverSpeedRoundedUp) {
  const LineSettings download = MakeLineSettings(115200, PARITY_ODD);
  EXPECT_EQ(WireTime(download, 1033), microseconds{98638});  // 11363 bits / 115200 bit/s
  EXPECT_EQ(WireTime(MakeLineSettings(250000, PARITY_NONE), 513), microseconds{22572});
  EXPECT_EQ(WireTime(MakeLineSettings(100000, PARITY_EVEN), 1), microseconds{110});
  EXPECT_EQ(WireTime(download, 0), microseconds{0});
  EXPECT_EQ(WireTime(LineSettings{}, 10), microseconds{0});  // no speed: no floor
}

TEST(WriteTimeout, Is2000MsPlus50MsPerByte) {
  EXPECT_EQ(WriteTimeout(0), milliseconds{2000});
  EXPECT_EQ(WriteTimeout(16), milliseconds{2800});
  EXPECT_EQ(WriteTimeout(1033), milliseconds{53650});
  EXPECT_EQ(WriteTimeout(0xFFFFFFFF), milliseconds{2000 + 50ull * 0xFFFFFFFF});
}

TEST(PortNames, MapToDevices) {
  const std::pair<const char*, const char*> table[] = {
      {"COM1", "/dev/ttyS0"},       {"COM8", "/dev/ttyS7"},         {"COM12", "/dev/ttyS11"},
      {"/dev/pts/7", "/dev/pts/7"}, {"/tmp/x/COM1", "/tmp/x/COM1"}, {"ttyUSB0", "/dev/ttyUSB0"},
      {"COM0", "/dev/COM0"},        {"COMX", "/dev/COMX"},
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
