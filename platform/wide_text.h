// UTF-8 inside the program, UTF-16 at the Windows API.
#pragma once

#include <string>

namespace tarvex::win32 {

std::wstring ToWide(const std::string& utf8);
std::string ToUtf8(const std::wstring& wide);

}  // namespace tarvex::win32
