// `--port auto` picks the one USB serial adapter, and says which there are when it cannot.
#include <ostream>
#include <sstream>

#include <gtest/gtest.h>

#include "cli/auto_port.h"

namespace tarvex::cli {
namespace {

SerialAdapter Usb(const std::string& path, const std::string& serial) {
  return {path, path, {}, {}, UsbFacts{"0403", "6001", "FTDI", "FT232R USB UART", serial}};
}

const SerialAdapter BUILT_IN = {"COM1", "COM1", {}, "Communications Port (COM1)", std::nullopt};

struct AutoCase {
  const char* name;
  std::vector<SerialAdapter> adapters;
  const char* chosen;                   // null: none chosen
  std::vector<const char*> errorParts;  // in this order
};

void PrintTo(const AutoCase& c, std::ostream* out) {
  *out << c.name;
}

class AutoPortChoice : public testing::TestWithParam<AutoCase> {};

TEST_P(AutoPortChoice, TakesTheOnlyUsbAdapterOrListsThem) {
  const AutoCase& c = GetParam();
  std::ostringstream err;
  const std::optional<std::string> port = AutoPort(c.adapters, err);
  if (c.chosen == nullptr) {
    EXPECT_FALSE(port.has_value()) << *port;
  } else {
    EXPECT_EQ(port.value_or("(none)"), c.chosen);
  }
  std::size_t at = 0;
  for (const char* part : c.errorParts) {
    at = err.str().find(part, at);
    ASSERT_NE(at, std::string::npos) << part << " in\n" << err.str();
  }
  EXPECT_EQ(err.str().empty(), c.errorParts.empty()) << err.str();
}

INSTANTIATE_TEST_SUITE_P(
    Table, AutoPortChoice,
    testing::Values(
        AutoCase{
            "none",
            {},
            nullptr,
            {"tarvex-cli: --port auto: no USB serial adapter found; connect one or give --port"}},
        // A built-in port is never what `auto` means.
        AutoCase{"only_built_in", {BUILT_IN}, nullptr, {"no USB serial adapter found"}},
        AutoCase{
            "one", {BUILT_IN, Usb("/dev/serial/by-id/usb-a", "A1")}, "/dev/serial/by-id/usb-a", {}},
        AutoCase{"two",
                 {Usb("/dev/ttyACM0", "B2"), BUILT_IN, Usb("/dev/ttyUSB0", "A1")},
                 nullptr,
                 {"tarvex-cli: --port auto: 2 USB serial adapters found, choose one with --port:",
                  "/dev/ttyACM0", "serial B2", "/dev/ttyUSB0", "serial A1"}}));

}  // namespace
}  // namespace tarvex::cli
