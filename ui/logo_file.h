// Where the window finds its logo.
#pragma once

#include <string>

namespace tarvex {

// "logo.png" when the working folder holds one, else the one in `programFolder` (UTF-8; empty:
// none) when that exists, else "logo.png", whose load then fails and says so. A shortcut or a
// double-click from any folder thus still shows the logo installed beside the program.
std::string LogoFileToShow(const std::string& programFolder);

}  // namespace tarvex
