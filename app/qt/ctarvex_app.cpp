#include "app/qt/ctarvex_app.h"

#include <QFile>
#include <QTimer>
#include <string>
#include <vector>

#include "app/qt/app_icon.h"
#include "app/qt/ctarvex_dlg.h"
#include "ui/ui_texts.h"
#include "ui/window_arguments.h"

namespace tarvex {

namespace {

constexpr int SCREENSHOT_SETTLE_MS = 200;  // lets the window finish its first paints

WindowArguments ArgumentsOf(const QStringList& arguments) {
  std::vector<std::string> local;
  for (qsizetype i = 1; i < arguments.size(); ++i) {
    local.push_back(QFile::encodeName(arguments[i]).toStdString());
  }
  return ParseWindowArguments(local);
}

QString FromLocal(const std::string& local) {
  return QFile::decodeName(QByteArray::fromStdString(local));
}

}  // namespace

CtarvexApp::CtarvexApp(int& argc, char** argv) : app_(argc, argv) {
  QApplication::setApplicationName(QString::fromUtf8(APP_NAME));
  QApplication::setApplicationVersion(QString::fromUtf8(APP_VERSION));
  QApplication::setDesktopFileName(QString::fromUtf8(APP_NAME));
  QApplication::setWindowIcon(AppIcon());
  const WindowArguments arguments = ArgumentsOf(QApplication::arguments());
  imagePath_ = FromLocal(arguments.image);
  screenshotPath_ = FromLocal(arguments.screenshot);
}

int CtarvexApp::InitInstance() {
  CtarvexDlg dialog;
  if (!screenshotPath_.isEmpty()) {
    QObject::connect(&dialog, &CtarvexDlg::LogoAttemptFinished, &dialog, [this, &dialog] {
      QTimer::singleShot(SCREENSHOT_SETTLE_MS, &dialog, [this, &dialog] {
        dialog.grab().save(screenshotPath_);
        dialog.reject();
      });
    });
  }
  if (!imagePath_.isEmpty()) {
    // Once the window runs, so that a rejected image's message has its owner on the screen.
    QTimer::singleShot(0, &dialog, [this, &dialog] { dialog.OpenImageFile(imagePath_); });
  }
  dialog.exec();
  return 0;
}

}  // namespace tarvex
