// The application: shows the main window modally and ends when it closes.
#pragma once

#include <string>

namespace tarvex {

class CtarvexApp {
 public:
  // Reads the program's command line: an image to open, and the hidden --screenshot FILE for the
  // documentation.
  CtarvexApp();

  // Runs the main window; the program's exit status.
  int InitInstance();

 private:
  std::string imagePath_;  // UTF-8
  std::wstring screenshotPath_;
};

}  // namespace tarvex
