// The window program's command line: the image to open and the screenshot option.
#include "ui/window_arguments.h"

#include <gtest/gtest.h>

namespace tarvex {
namespace {

struct ArgumentsCase {
  const char* name;
  std::vector<std::string> arguments;
  const char* image;
  const char* screenshot;
};

class WindowArgumentsTable : public testing::TestWithParam<ArgumentsCase> {};

TEST_P(WindowArgumentsTable, NameTheImageAndTheScreenshot) {
  const WindowArguments parsed = ParseWindowArguments(GetParam().arguments);
  EXPECT_EQ(parsed.image, GetParam().image);
  EXPECT_EQ(parsed.screenshot, GetParam().screenshot);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, WindowArgumentsTable,
    testing::Values(
        ArgumentsCase{"None", {}, "", ""},
        ArgumentsCase{"Image", {"C:\\固件\\a.zfr"}, "C:\\固件\\a.zfr", ""},
        ArgumentsCase{"FirstImageOnly", {"a.zfr", "b.zfr"}, "a.zfr", ""},
        ArgumentsCase{"ScreenshotThenImage", {"--screenshot", "s.png", "a.zfr"}, "a.zfr", "s.png"},
        ArgumentsCase{"ImageThenScreenshot", {"a.zfr", "--screenshot", "s.png"}, "a.zfr", "s.png"},
        ArgumentsCase{"ScreenshotWithoutFile", {"--screenshot"}, "", ""},
        ArgumentsCase{"OtherOptionsIgnored", {"-x", "--y", "a.zfr"}, "a.zfr", ""},
        ArgumentsCase{"DashDashTakesAnyName", {"--", "-odd.zfr"}, "-odd.zfr", ""}),
    [](const testing::TestParamInfo<ArgumentsCase>& param) { return param.param.name; });

}  // namespace
}  // namespace tarvex
