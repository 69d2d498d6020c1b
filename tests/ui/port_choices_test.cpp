// The port list's entries: COM1 to COM8 first, then the ports present in number order, not text
// order.
#include "ui/port_choices.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

const std::vector<std::string> FIXED{"COM1", "COM2", "COM3", "COM4",
                                     "COM5", "COM6", "COM7", "COM8"};

std::vector<std::string> FixedThen(std::vector<std::string> rest) {
  std::vector<std::string> all = FIXED;
  all.insert(all.end(), rest.begin(), rest.end());
  return all;
}

struct ChoicesCase {
  const char* name;
  std::vector<std::string> present;
  std::vector<std::string> after;  // what follows COM8
};

class PortChoiceOrder : public testing::TestWithParam<ChoicesCase> {};

TEST_P(PortChoiceOrder, FollowsComEightInNumberOrder) {
  EXPECT_EQ(PortChoices(GetParam().present), FixedThen(GetParam().after));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PortChoiceOrder,
    testing::Values(ChoicesCase{"None", {}, {}},
                    ChoicesCase{"WindowsPortsByNumber",
                                {"COM20", "COM3", "COM12", "COM9", "COM100", "COM1"},
                                {"COM9", "COM12", "COM20", "COM100"}},
                    ChoicesCase{"DevicePathsByNumber",
                                {"/dev/ttyUSB10", "/dev/ttyACM1", "/dev/ttyUSB2", "/dev/ttyUSB0"},
                                {"/dev/ttyACM1", "/dev/ttyUSB0", "/dev/ttyUSB2", "/dev/ttyUSB10"}},
                    ChoicesCase{"EachOnce", {"COM12", "COM9", "COM12"}, {"COM9", "COM12"}},
                    ChoicesCase{"LeadingZerosStayDistinct",
                                {"COM010", "COM9", "COM10"},
                                {"COM9", "COM010", "COM10"}},
                    ChoicesCase{"NumbersBeyondAnyInteger",
                                {"COM100000000000000000000", "COM99999999999999999999", "COM"},
                                {"COM", "COM99999999999999999999", "COM100000000000000000000"}}),
    [](const testing::TestParamInfo<ChoicesCase>& param) { return param.param.name; });

}  // namespace
}  // namespace tarvex
