#include "image/model.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/image_builder.h"

namespace tarvex {
namespace {

struct ModelCase {
  std::string label;
  ModelName name;
  std::uint8_t needsWake;
};

void PrintTo(const ModelCase& c, std::ostream* os) {
  *os << c.label;
}

ModelName WithByte15(std::string_view text, std::uint8_t last) {
  ModelName name = test::Model(text);
  name[15] = last;
  return name;
}

class Classify : public testing::TestWithParam<ModelCase> {};

TEST_P(Classify, GivesTheWakeFlag) {
  EXPECT_EQ(ClassifyModel(GetParam().name), GetParam().needsWake);
}

INSTANTIATE_TEST_SUITE_P(Table, Classify,
                         testing::Values(
                             // Every row of the prefix table, followed by anything.
                             ModelCase{"Prefix7K", test::Model("7K"), 1},
                             ModelCase{"PrefixE2", test::Model("E2 SPOT"), 1},
                             ModelCase{"PrefixKorvaT", test::Model("KORVA T100"), 1},
                             ModelCase{"PrefixVunD6", test::Model("VUN D6"), 1},
                             ModelCase{"PrefixVunD7", test::Model("VUN D7"), 1},
                             ModelCase{"PrefixVunD8", test::Model("VUN D8 WASH"), 1},
                             ModelCase{"PrefixH9", test::Model("H9"), 1},
                             ModelCase{"Prefix660Rudo", test::Model("660 RUDO PROFILE"), 1},
                             // Near misses: exact bytes, case counts, no blank skipped.
                             ModelCase{"VunD9", test::Model("VUN D9"), 0},
                             ModelCase{"VunD9WithS", WithByte15("VUN D9", 'S'), 1},
                             ModelCase{"LowerCaseK", test::Model("7k"), 0},
                             ModelCase{"LowerCaseKWithS", WithByte15("7k", 'S'), 1},
                             ModelCase{"LeadingBlank", test::Model(" 7K"), 0},
                             ModelCase{"KorvaWithoutT", test::Model("KORVA "), 0},
                             ModelCase{"RudoCut", test::Model("660 RUD"), 0},
                             ModelCase{"Empty", test::Model(""), 0},
                             // Byte 15 counts even behind a NUL, and only as a capital S.
                             ModelCase{"ShortNameWithS", WithByte15("ABC", 'S'), 1},
                             ModelCase{"LowerS", WithByte15("ABC", 's'), 0},
                             ModelCase{"FullNameEndingS", test::Model("ABCDEFGHIJKLMNOS"), 1}),
                         [](const testing::TestParamInfo<ModelCase>& p) { return p.param.label; });

TEST(ModelText, EndsAtTheFirstNul) {
  EXPECT_EQ(ModelText(test::Model("VUN D7 DEMO")), "VUN D7 DEMO");
  EXPECT_EQ(ModelText(WithByte15("ABC", 'S')), "ABC");
  EXPECT_EQ(ModelText(test::Model("")), "");
}

TEST(ModelText, AFullFieldKeepsAllSixteenBytes) {
  EXPECT_EQ(ModelText(test::Model("ABCDEFGHIJKLMNOP")), "ABCDEFGHIJKLMNOP");
  EXPECT_EQ(ModelText(test::Model("\xC4"
                                  "ber \xFF")),
            "\xC4"
            "ber \xFF");  // 8-bit bytes untouched
}

}  // namespace
}  // namespace tarvex
