#include "sim/fixture_report.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/image_builder.h"

namespace tarvex {
namespace {

using test::Bytes;

TEST(FixtureReportTest, IntelHexKeepsAddressesAndNeverCrossesA64KiBWindow) {
  FixtureMemory memory;
  Bytes bytes(18);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(i);
  }
  memory.Write(0x0001FFF8, bytes);  // 8 bytes below 0x20000, 10 above
  memory.Write(0x00020100, Bytes{0xAB});
  std::ostringstream out;
  ASSERT_TRUE(WriteIntelHex(memory, out));
  EXPECT_EQ(out.str(),
            ":020000040001F9\n"
            ":08FFF8000001020304050607E5\n"
            ":020000040002F8\n"
            ":0A00000008090A0B0C0D0E0F101179\n"
            ":01010000AB53\n"
            ":00000001FF\n");
}

}  // namespace
}  // namespace tarvex
