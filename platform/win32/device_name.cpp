#include "platform/device_name.h"

#include <algorithm>
#include <array>
#include <cwctype>
#include <string>

namespace tarvex {

namespace {

bool IsSeparator(wchar_t c) {
  return c == L'\\' || c == L'/';
}

std::wstring Upper(std::wstring text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](wchar_t c) { return static_cast<wchar_t>(std::towupper(c)); });
  return text;
}

// \\.\X or \\?\X: a device unless X is a drive ("C:") or a share ("UNC\").
bool InDeviceNamespace(const std::wstring& text) {
  if (text.size() < 4 || !IsSeparator(text[0]) || !IsSeparator(text[1]) ||
      (text[2] != L'.' && text[2] != L'?') || !IsSeparator(text[3])) {
    return false;
  }
  const std::wstring rest = Upper(text.substr(4));
  const bool drive = rest.size() >= 2 && rest[1] == L':';
  return !drive && rest.rfind(L"UNC", 0) != 0;
}

// The reserved names, whatever follows the first dot and with trailing spaces ignored.
bool IsReservedName(const std::wstring& filename) {
  std::wstring stem = Upper(filename.substr(0, filename.find(L'.')));
  stem.erase(stem.find_last_not_of(L' ') + 1);
  static const std::array<const wchar_t*, 6> NAMES = {L"CON", L"PRN",    L"AUX",
                                                      L"NUL", L"CONIN$", L"CONOUT$"};
  if (std::find(NAMES.begin(), NAMES.end(), stem) != NAMES.end()) {
    return true;
  }
  const bool port = stem.size() == 4 && (stem.rfind(L"COM", 0) == 0 || stem.rfind(L"LPT", 0) == 0);
  return port && stem[3] >= L'1' && stem[3] <= L'9';
}

}  // namespace

bool IsDeviceName(const std::filesystem::path& path) {
  return InDeviceNamespace(path.native()) || IsReservedName(path.filename().native());
}

}  // namespace tarvex
