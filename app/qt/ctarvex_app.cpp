#include "app/qt/ctarvex_app.h"

#include <QTimer>

#include "app/qt/app_icon.h"
#include "app/qt/ctarvex_dlg.h"
#include "ui/ui_texts.h"

namespace tarvex {

namespace {

constexpr int SCREENSHOT_SETTLE_MS = 200;  // lets the window finish its first paints

QString ScreenshotOption(const QStringList& arguments) {
  const qsizetype at = arguments.indexOf(QStringLiteral("--screenshot"));
  return at >= 0 && at + 1 < arguments.size() ? arguments[at + 1] : QString();
}

}  // namespace

CtarvexApp::CtarvexApp(int& argc, char** argv) : app_(argc, argv) {
  QApplication::setApplicationName(QString::fromUtf8(APP_NAME));
  QApplication::setApplicationVersion(QString::fromUtf8(APP_VERSION));
  QApplication::setDesktopFileName(QString::fromUtf8(APP_NAME));
  QApplication::setWindowIcon(AppIcon());
  screenshotPath_ = ScreenshotOption(QApplication::arguments());
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
  dialog.exec();
  return 0;
}

}  // namespace tarvex
