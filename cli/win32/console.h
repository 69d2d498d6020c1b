// What tarvex-cli.exe sets up around its commands on Windows: UTF-8 in and out.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace tarvex::cli {

// For the life of the program the console shows UTF-8 (the fixed texts include "文件出错") and
// takes the escape sequences of the live progress display. Both are the console's own settings,
// shared with the shell that started the program, so they are put back at the end.
class Utf8Console {
 public:
  Utf8Console();
  ~Utf8Console();
  Utf8Console(const Utf8Console&) = delete;
  Utf8Console& operator=(const Utf8Console&) = delete;

 private:
  UINT outputCodePage_ = 0;  // 0: not changed
  HANDLE output_ = INVALID_HANDLE_VALUE;
  DWORD outputMode_ = 0;
  bool modeChanged_ = false;
};

// The arguments of a command line (GetCommandLineW()) as UTF-8, the program name left out. The
// narrow argv holds them in the ANSI code page, which cannot spell most file names.
std::vector<std::string> Utf8Arguments(const wchar_t* commandLine);

}  // namespace tarvex::cli
