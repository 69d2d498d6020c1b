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

TEST(FixtureReportTest, VerdictTellsSegmentsAndFaults) {
  FixtureVerdict verdict;
  verdict.anythingReceived = true;
  verdict.model = test::Model("TEST MODEL");
  verdict.modelText = "TEST MODEL";
  verdict.announcedSize = 1560;
  verdict.blocks = 3;
  verdict.totalBytes = 1510;
  verdict.segments = {{0x10000, 1500}, {0x20000, 10}};
  EXPECT_EQ(DescribeVerdict(verdict),
            "Model:          TEST MODEL\n"
            "Wake-up:        no\n"
            "Payload length: 1560 bytes\n"
            "Blocks:         3\n"
            "Received:       1510 bytes in 2 segment(s)\n"
            "  0x00010000  1500 bytes\n"
            "  0x00020000  10 bytes\n"
            "Verdict: received intact\n");

  verdict.faults = {{FaultKind::BadCrc, std::chrono::microseconds{31140600}, "bad"}};
  const std::string text = DescribeVerdict(verdict);
  EXPECT_NE(text.find("Faults:\n  +31.141 s  bad\nVerdict: 1 fault(s)\n"), std::string::npos)
      << text;
}

}  // namespace
}  // namespace tarvex
