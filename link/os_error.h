// An operating-system error kept for callers that want to say why something failed.
#pragma once

#include <string>

namespace tarvex {

struct OsError {
  int code = 0;         // errno (POSIX) or GetLastError() (Windows); 0 = no error
  std::string message;  // the system's text for it, plus a hint on how to fix it where one helps
  explicit operator bool() const { return code != 0; }
};

}  // namespace tarvex
