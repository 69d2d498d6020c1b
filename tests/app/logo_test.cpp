// The logo: premultiplication and blending values, pictures with and without alpha, the one
// attempt on the first paint, and a logo that survives repaints.
#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "app/qt/logo_control.h"
#include "app/qt/logo_pixels.h"
#include "tests/app/app_test_support.h"
#include "tests/support/temp_dir.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

// Makes `dir` the current directory for one test.
class InDirectory {
 public:
  explicit InDirectory(const std::filesystem::path& dir) : previous_(QDir::currentPath()) {
    QDir::setCurrent(QString::fromStdString(dir.string()));
  }
  ~InDirectory() { QDir::setCurrent(previous_); }
  InDirectory(const InDirectory&) = delete;
  InDirectory& operator=(const InDirectory&) = delete;

 private:
  QString previous_;
};

// Shows the window and waits until its first paint's logo attempt has returned.
bool ShowAndAttempt(CtarvexDlg& dialog) {
  QSignalSpy attempted(&dialog, &CtarvexDlg::LogoAttemptFinished);
  dialog.show();
  return QTest::qWaitForWindowExposed(&dialog) && attempted.wait(5000);
}

QImage Grab(const CtarvexDlg& dialog) {
  return dialog.Control(ID_LOGO)->grab().toImage();
}

}  // namespace

class LogoTest : public QObject {
  Q_OBJECT

 private slots:
  void premultiply_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("alpha");
    QTest::addColumn<int>("expected");
    QTest::newRow("255 at 128") << 255 << 128 << 128;
    QTest::newRow("200 at 100") << 200 << 100 << 78;
    QTest::newRow("opaque") << 77 << 255 << 77;
    QTest::newRow("transparent") << 200 << 0 << 0;
    QTest::newRow("truncates 1 at 254") << 1 << 254 << 0;
  }
  void premultiply() {
    QFETCH(int, value);
    QFETCH(int, alpha);
    QFETCH(int, expected);
    QCOMPARE(int(PremultiplyChannel(std::uint8_t(value), std::uint8_t(alpha))), expected);
    // The same through a decoded picture.
    QImage picture(1, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(value, value, value, alpha));
    const QRgb prepared = PremultiplyLogo(picture).pixel(0, 0);
    QCOMPARE(qRed(prepared), expected);
    QCOMPARE(qAlpha(prepared), alpha);
  }

  void blend_data() {
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("alpha");
    QTest::addColumn<int>("background");
    QTest::addColumn<int>("expected");
    QTest::newRow("alpha 0 keeps the background") << 200 << 0 << 0x40 << 0x40;
    QTest::newRow("alpha 255 replaces it") << 200 << 255 << 0x40 << 200;
    QTest::newRow("255 at 128 over 0x40") << 255 << 128 << 0x40 << 128 + 0x40 * 127 / 255;
    QTest::newRow("200 at 100 over white") << 200 << 100 << 255 << 78 + 255 * 155 / 255;
  }
  void blend() {
    QFETCH(int, value);
    QFETCH(int, alpha);
    QFETCH(int, background);
    QFETCH(int, expected);
    QImage picture(1, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(value, 0, value, alpha));
    const QRgb out =
        ComposeLogo(PremultiplyLogo(picture), qRgb(background, background, 0)).pixel(0, 0);
    QCOMPARE(qRed(out), expected);
    QCOMPARE(qBlue(out), int(PremultiplyChannel(std::uint8_t(value), std::uint8_t(alpha))));
  }

  void pictureWithoutAlphaIsCopied() {
    QImage picture(2, 1, QImage::Format_RGB888);
    picture.setPixel(0, 0, qRgb(200, 100, 50));
    picture.setPixel(1, 0, qRgb(1, 2, 3));
    const QImage out = ComposeLogo(PremultiplyLogo(picture), qRgb(0x40, 0x40, 0x40));
    QCOMPARE(out.pixel(0, 0), qRgb(200, 100, 50));
    QCOMPARE(out.pixel(1, 0), qRgb(1, 2, 3));
  }

  void missingLogoIsReportedOnce() {
    TempDir dir;
    InDirectory cwd(dir.path());
    ScriptedPrompter prompter;
    CtarvexDlg dialog(TestSeams(prompter));
    // A repaint while the message is open starts no second attempt.
    prompter.whileShowing = [&] {
      dialog.repaint();
      QCoreApplication::processEvents();
    };
    QVERIFY(ShowAndAttempt(dialog));
    dialog.repaint();
    dialog.hide();
    dialog.show();
    QTest::qWait(50);
    QCOMPARE(prompter.MessageTexts(), QStringList{"no logo file"});
    QCOMPARE(prompter.messages.front().caption, QStringLiteral("tarvex"));
    QVERIFY(dialog.LogoAttempted());
    QVERIFY(qobject_cast<LogoControl*>(dialog.Control(ID_LOGO))->Logo().isNull());
    QVERIFY(dialog.Control(ID_OPEN)->isEnabled());  // the window stays usable
  }

  void logoIsBlendedAndSurvivesRepaints() {
    TempDir dir;
    InDirectory cwd(dir.path());
    QImage picture(3, 1, QImage::Format_ARGB32);
    picture.setPixel(0, 0, qRgba(255, 200, 0, 128));
    picture.setPixel(1, 0, qRgba(9, 9, 9, 0));
    picture.setPixel(2, 0, qRgba(10, 20, 30, 255));
    QVERIFY(picture.save(QStringLiteral("logo.png")));

    ScriptedPrompter prompter;
    CtarvexDlg dialog(TestSeams(prompter));
    QVERIFY(ShowAndAttempt(dialog));
    QVERIFY(prompter.messages.empty());

    const QRgb background = dialog.Control(ID_LOGO)->palette().color(QPalette::Window).rgb();
    const auto over = [&](int value, int alpha, int bg) {
      return value * alpha / 255 + bg * (255 - alpha) / 255;
    };
    const QRgb expectedFirst =
        qRgb(over(255, 128, qRed(background)), over(200, 128, qGreen(background)),
             over(0, 128, qBlue(background)));
    for (int round = 0; round < 2; ++round) {
      const QImage shown = Grab(dialog);
      QCOMPARE(shown.pixel(0, 0), expectedFirst);
      QCOMPARE(shown.pixel(1, 0), background);  // alpha 0
      QCOMPARE(shown.pixel(2, 0), qRgb(10, 20, 30));
      QCOMPARE(shown.pixel(3, 0), background);  // beside the picture: the control's own
      QCOMPARE(shown.pixel(0, 1), background);
      dialog.Control(ID_LOGO)->repaint();  // the logo stays
    }
  }
};

QTEST_MAIN(LogoTest)
#include "logo_test.moc"
