#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/auto_port.h"
#include "cli/port_listing.h"
#include "cli/run_cli.h"
#include "tests/support/temp_dir.h"

namespace tarvex::cli {
namespace {

using nlohmann::json;

const SerialAdapter FTDI = {"/dev/serial/by-id/usb-FTDI_A12345-if00-port0", "/dev/ttyUSB0",
                            "/dev/serial/by-id/usb-FTDI_A12345-if00-port0", "",
                            UsbFacts{"0403", "6001", "FTDI", "FT232R USB UART", "A12345"}};

TEST(PortsCommand, ListsTheEightComPortsInOrderWithTheirDevices) {
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(RunCli({"ports"}, out, err), 0) << err.str();
  const auto text = out.str();
  std::size_t last = 0;
  for (int n = 1; n <= 8; ++n) {
    const auto entry = "COM" + std::to_string(n) + "  /dev/ttyS" + std::to_string(n - 1) + "  ";
    const auto at = text.find(entry);
    ASSERT_NE(at, std::string::npos) << entry << " in\n" << text;
    EXPECT_GT(at, last);
    last = at;
  }
  EXPECT_NE(text.find("USB serial adapters:"), std::string::npos);
}

TEST(PortsCommand, JsonNamesTheComPortsAndTheAdapters) {
  std::ostringstream out;
  std::ostringstream err;
  ASSERT_EQ(RunCli({"ports", "--json"}, out, err), 0) << err.str();
  const json parsed = json::parse(out.str());
  ASSERT_EQ(parsed.at("com_ports").size(), 8u);
  EXPECT_EQ(parsed["com_ports"][7].at("name"), "COM8");
  EXPECT_EQ(parsed["com_ports"][7].at("device"), "/dev/ttyS7");
  EXPECT_TRUE(parsed["com_ports"][7].at("present").is_boolean());
  EXPECT_TRUE(parsed.at("adapters").is_array());
}

// What a device reports is its own choice: unknown parts are null, bytes that are not UTF-8 are
// replaced, control characters never reach the terminal.
TEST(PortsListing, ShowsEveryKnownFactAndNothingMore) {
  const SerialAdapter odd = {"COM3", "COM3", "", "Port \xff\x1b[2J", std::nullopt};
  std::ostringstream jsonOut;
  WritePortsJson(jsonOut, {}, {FTDI, odd});
  const json parsed = json::parse(jsonOut.str());
  // A port that is not USB is no adapter; its device is spelled as com_ports spell theirs.
  const json adapters = parsed.at("adapters");
  ASSERT_EQ(adapters.size(), 1u);
  const json others = parsed.at("other_ports");
  ASSERT_EQ(others.size(), 1u);
  EXPECT_EQ(adapters[0], json::parse(R"({"port": "/dev/serial/by-id/usb-FTDI_A12345-if00-port0",
                            "device": "/dev/ttyUSB0",
                            "by_id": "/dev/serial/by-id/usb-FTDI_A12345-if00-port0",
                            "description": null, "usb": true, "vid": "0403", "pid": "6001",
                            "maker": "FTDI", "product": "FT232R USB UART",
                            "serial": "A12345"})"));
  EXPECT_EQ(others[0].at("device"), DeviceForPortName("COM3"));
  EXPECT_EQ(others[0].at("by_id"), nullptr);
  EXPECT_EQ(others[0].at("usb"), false);
  EXPECT_EQ(others[0].at("serial"), nullptr);
  EXPECT_EQ(others[0].at("description"), "Port \xEF\xBF\xBD\x1b[2J");

  std::ostringstream text;
  WritePortsText(text, {}, {FTDI, odd});
  EXPECT_NE(text.str().find("  /dev/serial/by-id/usb-FTDI_A12345-if00-port0 -> /dev/ttyUSB0\n"
                            "      USB 0403:6001, maker FTDI, product FT232R USB UART, serial "
                            "A12345\n"),
            std::string::npos)
      << text.str();
  EXPECT_NE(text.str().find("  COM3  Port \xff?[2J\n"), std::string::npos) << text.str();
}

// The report names the adapter of the port in use, whichever of its names was given.
TEST(PortsListing, FindsTheAdapterBehindAnyNameOfItsDevice) {
  namespace fs = std::filesystem;
  test::TempDir dev;
  std::ofstream(dev.File("ttyUSB0")) << "";
  std::ofstream(dev.File("ttyUSB1")) << "";
  fs::create_symlink(dev.File("ttyUSB0"), dev.File("by-id-link"));
  SerialAdapter first = FTDI;
  first.device = dev.File("ttyUSB0").string();
  SerialAdapter second = FTDI;
  second.device = dev.File("ttyUSB1").string();
  second.usb->serial = "B777";

  const std::vector<SerialAdapter> adapters = {second, first};
  const auto found = AdapterForDevice(ResolvedDevice(dev.File("by-id-link").string()), adapters);
  ASSERT_TRUE(found.has_value());
  EXPECT_EQ(found->usb->serial, "A12345");
  EXPECT_FALSE(AdapterForDevice(ResolvedDevice("/dev/ttyS0"), adapters).has_value());
}

}  // namespace
}  // namespace tarvex::cli
