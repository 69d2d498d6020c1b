#include "tools/intel_hex.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "tests/support/image_builder.h"

namespace tarvex {
namespace {

using test::Bytes;

struct HexCase {
  std::string label;
  std::string text;
  std::vector<AddressedBytes> pieces;  // expected when `error` is empty
  std::string error;                   // a part of the expected message
};

void PrintTo(const HexCase& c, std::ostream* os) {
  *os << c.label;
}

class HexRecords : public testing::TestWithParam<HexCase> {};

TEST_P(HexRecords, ReadAsExpected) {
  std::istringstream in(GetParam().text);
  const HexRead read = ReadIntelHex(in, "fw.hex");
  if (GetParam().error.empty()) {
    ASSERT_TRUE(read.ok()) << read.error;
    EXPECT_EQ(read.pieces, GetParam().pieces);
  } else {
    EXPECT_FALSE(read.ok());
    EXPECT_NE(read.error.find(GetParam().error), std::string::npos) << read.error;
  }
}

const char* const END = ":00000001FF\n";

// `count` one-byte records, each a byte apart from the last: as many separate ranges.
std::string Scattered(std::uint32_t count) {
  std::ostringstream out;
  IntelHexWriter writer(out);
  for (std::uint32_t i = 0; i < count; ++i) {
    writer.Write(2 * i, Bytes{0x42});
  }
  writer.Finish();
  return out.str();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HexRecords,
    testing::Values(
        HexCase{"ExtendedLinearAddress",
                ":020000040800F2\n:0400100001020304E2\n" + std::string(END),
                {{0x08000010, {1, 2, 3, 4}, ""}},
                ""},
        HexCase{"OddLengthsJoinWhenContiguous",
                ":03000000AABBCCCC\n:01000300DD1F\n:0100100011DE\n" + std::string(END),
                {{0x0000, {0xAA, 0xBB, 0xCC, 0xDD}, ""}, {0x0010, {0x11}, ""}},
                ""},
        HexCase{"ExtendedSegmentAddressAndCrLf",
                ":020000021000EC\r\n:0100000042BD\r\n" + std::string(":00000001FF\r\n"),
                {{0x00010000, {0x42}, ""}},
                ""},
        HexCase{"StartAddressIsSkipped",
                ":0400000508000000EF\n:0100000042BD\n" + std::string(END),
                {{0, {0x42}, ""}},
                ""},
        HexCase{"BadChecksum",
                ":0100000042BE\n" + std::string(END),
                {},
                "fw.hex line 1: bad checksum 0xBE, the record's bytes call for 0xBD"},
        HexCase{"CountDisagreesWithData",
                ":0200000042BC\n" + std::string(END),
                {},
                "line 1: the record says 2 data bytes but holds 1"},
        HexCase{"NotHex", ":01000000ZZ00\n" + std::string(END), {}, "hexadecimal"},
        HexCase{"NoColon", "0100000042BD\n" + std::string(END), {}, "must start with ':'"},
        HexCase{"UnknownType", ":0100000642B7\n" + std::string(END), {}, "record type 0x06"},
        HexCase{"NoEndRecord", ":0100000042BD\n", {}, "no end-of-file record"},
        // Under a segment record the offset wraps to the start of the same 64 KiB.
        HexCase{"SegmentOffsetWrapsWithinItsSegment",
                ":020000021000EC\n:04FFFE0001020304F5\n" + std::string(END),
                {{0x0001FFFE, {1, 2}, ""}, {0x00010000, {3, 4}, ""}},
                ""},
        HexCase{"BlankLinesAfterTheEnd",
                ":0100000042BD\n" + std::string(END) + "\n\r\n",
                {{0, {0x42}, ""}},
                ""},
        // `cat boot.hex app.hex`: app's data must not be dropped unnoticed.
        HexCase{"DataAfterTheEndRecord",
                ":0100000042BD\n" + std::string(END) + ":0100100011DE\n" + END,
                {},
                "line 3: data after the end-of-file record"},
        HexCase{"LineLongerThanAnyRecord",
                ":" + std::string(600, '0') + "\n" + END,
                {},
                "line 1: a line longer than any record"},
        HexCase{"ScatteredRecordsBeyondAnyImage", Scattered(4097), {}, "more than 4096 separate"},
        HexCase{"PastTheAddressSpace",
                ":02000004FFFFFC\n:02FFFF000102FD\n" + std::string(END),
                {},
                "line 2: data past address 0xFFFFFFFF"}));

std::string WriteHex(std::uint64_t address, const Bytes& bytes) {
  std::ostringstream out;
  IntelHexWriter writer(out);
  EXPECT_TRUE(writer.Write(address, bytes));
  writer.Finish();
  return out.str();
}

TEST(HexWriter, RecordsStayInsideTheir64KiBWindow) {
  EXPECT_EQ(
      WriteHex(0x0001FFFE, {1, 2, 3, 4}),
      ":020000040001F9\n:02FFFE000102FE\n:020000040002F8\n:020000000304F7\n" + std::string(END));
}

TEST(HexWriter, WhatItWritesReadsBack) {
  const Bytes bytes = test::PseudoRandomBytes(70000, 7);
  std::istringstream in(WriteHex(0xFFFDEEE0, bytes));
  const HexRead read = ReadIntelHex(in, "x");
  ASSERT_TRUE(read.ok()) << read.error;
  ASSERT_EQ(read.pieces.size(), 1u);
  EXPECT_EQ(read.pieces[0].address, 0xFFFDEEE0u);
  EXPECT_EQ(read.pieces[0].bytes, bytes);
}

TEST(HexWriter, RefusesBytesPastTheTopOfTheAddressSpace) {
  std::ostringstream out;
  IntelHexWriter writer(out);
  EXPECT_FALSE(writer.Write(0xFFFFFFFF, Bytes{1, 2}));
  EXPECT_EQ(out.str(), "");
}

}  // namespace
}  // namespace tarvex
