#include "protocol/frames.h"

#include <gtest/gtest.h>

#include <functional>
#include <numeric>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/packet_crc.h"

namespace tarvex {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Ascii(std::string_view text) {
  return {text.begin(), text.end()};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const auto& p : parts) {
    out.insert(out.end(), p.begin(), p.end());
  }
  return out;
}

Bytes Of(const Frame& frame) {
  return {frame.bytes().begin(), frame.bytes().end()};
}

// "VUN D7 DEMO", NUL-padded, with junk after the padding that must pass through unchanged.
ModelName DemoModel() {
  ModelName m{};
  const std::string_view text = "VUN D7 DEMO";
  std::copy(text.begin(), text.end(), m.begin());
  return m;
}

ModelName ModelWithJunkTail() {
  ModelName m = DemoModel();
  m[13] = ' ';
  m[14] = 0xFF;
  m[15] = 'S';
  return m;
}

Bytes ModelBytes(const ModelName& m) {
  return {m.begin(), m.end()};
}

ImageHeader HeaderWithLength(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
  ImageHeader h{};
  h[0] = b0;
  h[1] = b1;
  h[2] = b2;
  h[3] = b3;
  return h;
}

struct FrameCase {
  std::string label;
  std::function<Frame()> build;
  std::string_view name;
  Bytes expected;
};

void PrintTo(const FrameCase& c, std::ostream* os) {
  *os << c.label;
}

class FrameBytes : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameBytes, ExactBytesLengthAndName) {
  const auto& c = GetParam();
  const Frame frame = c.build();
  EXPECT_EQ(frame.name(), c.name);
  EXPECT_EQ(frame.size(), c.expected.size());
  EXPECT_EQ(Of(frame), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    EveryFrame, FrameBytes,
    testing::Values(FrameCase{"Break", BreakByte, "BreakByte", {0x00}},
                    FrameCase{"Wake", WakeFrame, "WakeFrame", Bytes(513, 0xFB)},
                    FrameCase{"Announce", [] { return AnnounceFrame(DemoModel()); },
                              "AnnounceFrame", Concat({Ascii("ZEFRA"), ModelBytes(DemoModel())})},
                    FrameCase{"AnnounceKeepsStoredTail",
                              [] { return AnnounceFrame(ModelWithJunkTail()); }, "AnnounceFrame",
                              Concat({Ascii("ZEFRA"), ModelBytes(ModelWithJunkTail())})},
                    FrameCase{"Blank", BlankFrame, "BlankFrame",
                              Concat({Ascii("ZEFRA  "), {0x00}, Bytes(92, 0x00)})},
                    FrameCase{"Model", [] { return ModelFrame(DemoModel()); }, "ModelFrame",
                              Concat({{0x10}, ModelBytes(DemoModel()), {0x26, 0xE3}})},
                    FrameCase{"Size",
                              [] { return SizeFrame(HeaderWithLength(0xDE, 0xAD, 0xBE, 0xEF)); },
                              "SizeFrame",
                              {0x11, 0xDE, 0xAD, 0xBE, 0xEF, 0x43, 0xE6}},
                    FrameCase{"Start", StartFrame, "StartFrame", {0x54, 0x52, 0x41, 0x54, 0x53}},
                    FrameCase{"BlockThreeBytes",
                              [] {
                                const Bytes data{1, 2, 3};
                                return BlockFrame(0x00010000, data);
                              },
                              "BlockFrame",
                              {0x12, 0x00, 0x00, 0x01, 0x00, 0x03, 0x00, 1, 2, 3, 0x94, 0x39}},
                    FrameCase{"BlockEmpty",
                              [] { return BlockFrame(0x12345678, {}); },
                              "BlockFrame",
                              {0x12, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00, 0xC5, 0x40}},
                    FrameCase{"End", EndFrame, "EndFrame", {0x45, 0x4E, 0x44}},
                    FrameCase{"Test", TestCode, "TestCode", Ascii("ZEFRA COMM TEST ")}),
    [](const testing::TestParamInfo<FrameCase>& p) { return p.param.label; });

// Blocks of a 2500-byte segment: 1024, 1024 and 452 data bytes.
class BlockFrameLength : public testing::TestWithParam<std::uint32_t> {};

TEST_P(BlockFrameLength, LayoutAndChecksumFollowTheData) {
  const std::uint32_t length = GetParam();
  Bytes data(length);
  std::iota(data.begin(), data.end(), std::uint8_t{7});
  const std::uint32_t address = 0x00030000 + 1024;
  const Frame frame = BlockFrame(address, data);

  ASSERT_EQ(frame.size(), 9 + length);
  const auto* b = frame.data();
  EXPECT_EQ(b[0], CMD_BLOCK);
  EXPECT_EQ(ReadLe32(b + 1), address);
  EXPECT_EQ(b[5] | b[6] << 8, static_cast<int>(length));
  EXPECT_EQ(Bytes(b + 7, b + 7 + length), data);
  const std::uint16_t crc = PacketCrc16(b, 7 + length);
  EXPECT_EQ(b[7 + length], crc & 0xFF);
  EXPECT_EQ(b[8 + length], crc >> 8);
}

INSTANTIATE_TEST_SUITE_P(DataLengths, BlockFrameLength,
                         testing::Values(0u, 1u, 452u, 1023u, BLOCK_DATA_MAX));

TEST(BlockFrame, FullBlockIsTheLargestFrame) {
  const Bytes data(BLOCK_DATA_MAX, 0xAA);
  const Frame frame = BlockFrame(0, data);
  EXPECT_EQ(frame.size(), FRAME_MAX);
  EXPECT_EQ(frame.size(), 1033u);
  EXPECT_EQ(frame.data()[5], 0x00);  // 1024 = 00 04
  EXPECT_EQ(frame.data()[6], 0x04);
}

TEST(ModelFrame, ChecksumCoversCommandAndName) {
  const Frame frame = ModelFrame(ModelWithJunkTail());
  ASSERT_EQ(frame.size(), 19u);
  const std::uint16_t crc = PacketCrc16(frame.data(), 17);
  EXPECT_EQ(frame.data()[17], crc & 0xFF);
  EXPECT_EQ(frame.data()[18], crc >> 8);
}

}  // namespace
}  // namespace tarvex
