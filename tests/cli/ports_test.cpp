#include <gtest/gtest.h>

#include <sstream>

#include "cli/run_cli.h"

namespace tarvex::cli {
namespace {

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

}  // namespace
}  // namespace tarvex::cli
