// The window's own fixed texts; those a job shows too are in protocol/texts.h.
#pragma once

#include "protocol/texts.h"

namespace tarvex {

inline constexpr char APP_NAME[] = "tarvex";
inline constexpr char APP_VERSION[] = TARVEX_APP_VERSION;  // "1.0.0.3"
inline constexpr char MAIN_CAPTION[] = "tarvex v" TARVEX_APP_VERSION;

inline constexpr char ABOUT_MENU_ENTRY[] = "&About tarvex...";
inline constexpr char ABOUT_CAPTION[] = "About tarvex";
inline constexpr char ABOUT_VERSION_LINE[] = "tarvex, Version 1.0";
inline constexpr char ABOUT_SECOND_LINE[] = "Firmware image downloader";

// Pairs of display text and pattern list, each closed by "|".
inline constexpr char OPEN_FILE_FILTER[] = "(*.zfr)|*.zfr;|(*.*)|*.*;|";

inline constexpr char TEXT_STOP[] = "STOP?";

// The Download button.
inline constexpr char TEXT_DOWNLOAD[] = "Download";
inline constexpr char TEXT_CANCEL[] = "Cancel";

inline constexpr char MSG_NO_LOGO[] = "no logo file";

inline constexpr char LOGO_FILE[] = "logo.png";  // the working folder, then the program's

}  // namespace tarvex
