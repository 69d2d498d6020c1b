// The application: shows the main window modally and ends when it closes.
#pragma once

namespace tarvex {

class CtarvexApp {
 public:
  // Runs the main window; the program's exit status.
  int InitInstance();
};

}  // namespace tarvex
