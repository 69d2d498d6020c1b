#include <windows.h>

#include "platform/os_error.h"
#include "platform/wide_text.h"

namespace tarvex {

// GetLastError() codes: the system's own text, in the user's language, as UTF-8.
std::string SystemErrorText(int code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text(buffer != nullptr ? buffer : L"", length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r' || text.back() == L' ' ||
                           text.back() == L'.')) {
    text.pop_back();
  }
  if (text.empty()) {
    return "system error " + std::to_string(code);
  }
  return win32::ToUtf8(text);
}

}  // namespace tarvex
