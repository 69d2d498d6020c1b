// tarvex-cli.exe takes its arguments from the wide command line, as UTF-8.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/win32/console.h"

namespace tarvex::cli {
namespace {

std::string Bytes(const char8_t* utf8) {
  return reinterpret_cast<const char*>(utf8);
}

TEST(Utf8Arguments, DropThePathOfTheProgramAndKeepEveryCharacter) {
  const struct {
    std::wstring commandLine;
    std::vector<std::string> args;
  } cases[] = {
      {L"tarvex-cli.exe", {}},
      {L"\"C:\\Program Files\\tarvex\\tarvex-cli.exe\" info x.zfr", {"info", "x.zfr"}},
      {L"tarvex-cli info \"D:\\Firmware \u00DCbersicht\\\u56FA\u4EF6.zfr\"",
       {"info", Bytes(u8"D:\\Firmware Übersicht\\固件.zfr")}},
      {L"tarvex-cli info \U0001F4A1.zfr", {"info", "\xF0\x9F\x92\xA1.zfr"}},  // surrogate pair
      {L"tarvex-cli download -p COM12 --trace \"\" a.zfr",
       {"download", "-p", "COM12", "--trace", "", "a.zfr"}},
      // A name NTFS allows but UTF-8 cannot spell: replaced, so it opens nothing.
      {std::wstring(L"tarvex-cli info a") + wchar_t(0xD800) + L".zfr",
       {"info", Bytes(u8"a\uFFFD.zfr")}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Utf8Arguments(c.commandLine.c_str()), c.args) << c.args.size();
  }
}

}  // namespace
}  // namespace tarvex::cli
