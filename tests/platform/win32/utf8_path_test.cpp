// Windows keeps paths as UTF-16: UTF-8 file names must arrive there intact.
#include "platform/utf8_path.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvex {
namespace {

TEST(PathFromUtf8, BecomesTheSameNameInUtf16AndMalformedTextNamesNothing) {
  const struct {
    std::string utf8;
    std::wstring wide;
  } cases[] = {
      {"C:\\images\\a.zfr", L"C:\\images\\a.zfr"},
      {reinterpret_cast<const char*>(u8"D:\\固件\\Übersicht.zfr"),
       L"D:\\\u56FA\u4EF6\\\u00DCbersicht.zfr"},
      {"\xF0\x9F\x92\xA1.zfr", L"\U0001F4A1.zfr"},
      {"bad\xFF.zfr", L""},      // not UTF-8
      {"cut\xE6\x96.zfr", L""},  // a sequence cut short
  };
  for (const auto& c : cases) {
    EXPECT_EQ(PathFromUtf8(c.utf8).native(), c.wide) << c.utf8;
  }
}

}  // namespace
}  // namespace tarvex
