// Saves what the screen shows of a window (its frame included) as a PNG file: the documentation's
// screenshot of the window, taken by the program itself.
#pragma once

#include <windows.h>

#include <string>

namespace tarvex {

bool SaveWindowPicture(HWND window, const std::wstring& path);

}  // namespace tarvex
