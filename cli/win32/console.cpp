#include "cli/win32/console.h"

#include <shellapi.h>

#include "platform/wide_text.h"

namespace tarvex::cli {

Utf8Console::Utf8Console() {
  const UINT previous = GetConsoleOutputCP();
  if (previous != 0 && previous != CP_UTF8 && SetConsoleOutputCP(CP_UTF8)) {
    outputCodePage_ = previous;
  }
  output_ = GetStdHandle(STD_OUTPUT_HANDLE);
  if (GetConsoleMode(output_, &outputMode_) &&
      (outputMode_ & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0) {
    // Refused by consoles older than Windows 10; the display then falls back to plain lines.
    modeChanged_ = SetConsoleMode(output_, outputMode_ | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
  }
}

Utf8Console::~Utf8Console() {
  if (modeChanged_) {
    SetConsoleMode(output_, outputMode_);
  }
  if (outputCodePage_ != 0) {
    SetConsoleOutputCP(outputCodePage_);
  }
}

std::vector<std::string> Utf8Arguments(const wchar_t* commandLine) {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* const argv = CommandLineToArgvW(commandLine, &count);
  if (argv == nullptr) {
    return args;
  }
  for (int i = 1; i < count; ++i) {
    args.push_back(win32::ToUtf8(argv[i]));
  }
  LocalFree(argv);
  return args;
}

}  // namespace tarvex::cli
