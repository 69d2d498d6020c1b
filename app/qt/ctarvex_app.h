// The application: names itself, shows the main window modally and ends when it closes.
#pragma once

#include <QApplication>
#include <QString>

namespace tarvex {

class CtarvexApp {
 public:
  CtarvexApp(int& argc, char** argv);

  // Runs the main window; the program's exit status.
  int InitInstance();

 private:
  QApplication app_;
  QString imagePath_;       // opened as Open would once the window runs
  QString screenshotPath_;  // hidden option for the documentation: grab the window, then end
};

}  // namespace tarvex
