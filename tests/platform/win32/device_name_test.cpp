// Windows opens a device for some names in any folder: they are never taken for files.
#include "platform/device_name.h"

#include <gtest/gtest.h>

#include "platform/file_kind.h"

namespace tarvex {
namespace {

TEST(DeviceName, ReservedNamesAndTheDeviceNamespaceAreDevices) {
  const struct {
    const wchar_t* path;
    bool device;
  } cases[] = {
      {L"NUL", true},
      {L"C:\\out\\nul.zfr", true},
      {L"com1", true},
      {L"LPT9.txt", true},
      {L"CON ", true},
      {L"conout$", true},
      {L"\\\\.\\COM10", true},
      {L"//./pipe/x", true},
      {L"\\\\?\\C:\\a.zfr", false},
      {L"\\\\?\\UNC\\h\\s\\a", false},
      {L"COM10", false},
      {L"COM0", false},
      {L"console.zfr", false},
      {L"C:\\nul\\a.zfr", false},
      {L"a.zfr", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsDeviceName(c.path), c.device) << std::filesystem::path(c.path).string();
    EXPECT_EQ(NotAFileProblem(c.path).empty(), !c.device);
  }
}

}  // namespace
}  // namespace tarvex
