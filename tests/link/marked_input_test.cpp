// Error-marked input decoded back into bytes and marks, whole or split between reads anywhere.
#include "link/marked_input.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tarvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Case {
  std::string name;
  Bytes raw;
  Bytes bytes;
  std::vector<std::size_t> marked;
};

TEST(MarkedInputTest, DecodesWholeAndSplitAnywhere) {
  const Case cases[] = {
      {"Plain", {0x01, 0x00, 0xFE}, {0x01, 0x00, 0xFE}, {}},
      {"LiteralFF", {0xFF, 0xFF, 0x41, 0xFF, 0xFF}, {0xFF, 0x41, 0xFF}, {}},
      {"ParityOrFraming", {0x10, 0xFF, 0x00, 0x55, 0x20}, {0x10, 0x55, 0x20}, {1}},
      {"BreakThenMarkedFF", {0xFF, 0x00, 0x00, 0xFF, 0x00, 0xFF}, {0x00, 0xFF}, {0, 1}},
      {"StrayEscapeKept", {0xFF, 0x41}, {0xFF, 0x41}, {}},
  };
  for (const Case& c : cases) {
    for (std::size_t split = 0; split <= c.raw.size(); ++split) {
      SCOPED_TRACE(c.name + " split at " + std::to_string(split));
      MarkedInput input;
      Bytes bytes;
      std::vector<std::size_t> marked;
      input.Decode({c.raw.data(), split}, bytes, marked);
      input.Decode({c.raw.data() + split, c.raw.size() - split}, bytes, marked);
      EXPECT_EQ(bytes, c.bytes);
      EXPECT_EQ(marked, c.marked);
    }
  }
}

}  // namespace
}  // namespace tarvex
