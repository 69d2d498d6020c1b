// The window as it opens: caption, port list, every control's state and text, geometry in
// dialog units, the keys that do and do not close it, and the about box.
#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cmath>

#include "app/qt/about_dlg.h"
#include "app/qt/dialog_units.h"
#include "app/qt/prompter.h"
#include "tests/app/app_test_support.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

// Pixels for dialog units computed here independently: floating point, rounded half up.
int Px(int du, int base, int unitsPerBase) {
  return static_cast<int>(std::floor(du * base / static_cast<double>(unitsPerBase) + 0.5));
}

}  // namespace

class StartupTest : public QObject {
  Q_OBJECT

 private slots:
  void captionAndFrame() {
    ScriptedPrompter prompter;
    CtarvexDlg dialog(TestSeams(prompter));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("tarvex v1.0.0.3"));
    const Qt::WindowFlags flags = dialog.windowFlags();
    QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
    QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
    QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());  // not resizable
    QVERIFY(!dialog.windowIcon().isNull());
  }

  void portListOffersCom1ToCom8ThenAdapters() {
    ScriptedPrompter prompter;
    DialogSeams seams = TestSeams(prompter);
    seams.listAdapters = [] {
      return QStringList{QStringLiteral("/dev/serial/by-id/usb-x"), QStringLiteral("/dev/ttyUSB0")};
    };
    CtarvexDlg dialog(seams);
    auto* list = ControlAs<QComboBox>(dialog, ID_PORT_LIST);
    QVERIFY(list != nullptr);
    QStringList entries;
    for (int i = 0; i < list->count(); ++i) {
      entries.append(list->itemText(i));
    }
    QCOMPARE(entries, (QStringList{"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8",
                                   "/dev/serial/by-id/usb-x", "/dev/ttyUSB0"}));
    QCOMPARE(list->currentIndex(), 0);
    QCOMPARE(dialog.PortName(), QStringLiteral("COM1"));
    QVERIFY(list->isEditable());
  }

  void typedPortName_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("port");
    QTest::newRow("an entry") << "COM3"
                              << "COM3";
    QTest::newRow("a device path") << "/dev/pts/7"
                                   << "/dev/pts/7";
    QTest::newRow("surrounding blanks") << "  /dev/ttyACM0 "
                                        << "/dev/ttyACM0";
  }
  void typedPortName() {
    QFETCH(QString, typed);
    QFETCH(QString, port);
    ScriptedPrompter prompter;
    CtarvexDlg dialog(TestSeams(prompter));
    auto* list = ControlAs<QComboBox>(dialog, ID_PORT_LIST);
    list->lineEdit()->selectAll();
    QTest::keyClicks(list->lineEdit(), typed);
    QTest::keyClick(list->lineEdit(), Qt::Key_Return);
    QCOMPARE(dialog.PortName(), port);
    QCOMPARE(list->count(), 8);  // typing never adds an entry
  }

  void controls_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("enabled");
    QTest::addColumn<bool>("visible");
    QTest::addColumn<QRect>("du");
    QTest::newRow("Quit") << 2 << "QPushButton"
                          << "Quit" << true << true << QRect(150, 97, 59, 20);
    QTest::newRow("Download") << 1001 << "QPushButton"
                              << "Download" << false << true << QRect(19, 97, 57, 20);
    QTest::newRow("port list") << 1002 << "QComboBox"
                               << "COM1" << true << true << QRect(20, 13, 43, 94);
    QTest::newRow("image path") << 1003 << "QLineEdit"
                                << "" << true << true << QRect(20, 35, 194, 16);
    QTest::newRow("Open") << 1004 << "QPushButton"
                          << "Open" << true << true << QRect(236, 34, 32, 16);
    QTest::newRow("progress") << 1005 << "QProgressBar"
                              << "" << true << true << QRect(19, 60, 249, 17);
    QTest::newRow("status") << -1 << "QLabel"
                            << "" << true << true << QRect(22, 81, 113, 16);
    QTest::newRow("model") << 1009 << "QLineEdit"
                           << "" << true << true << QRect(111, 12, 102, 15);
    QTest::newRow("Test") << 3 << "QPushButton"
                          << "Test" << true << true << QRect(84, 97, 59, 20);
    QTest::newRow("hidden picture") << 1010 << "QLabel"
                                    << "" << true << false << QRect(72, 105, 61, 17);
    QTest::newRow("logo area") << 1011 << "tarvex::LogoControl"
                               << "" << true << true << QRect(216, 100, 60, 17);
  }
  void controls() {
    QFETCH(int, id);
    QFETCH(QString, type);
    QFETCH(QString, text);
    QFETCH(bool, enabled);
    QFETCH(bool, visible);
    QFETCH(QRect, du);
    ScriptedPrompter prompter;
    CtarvexDlg dialog(TestSeams(prompter));
    dialog.show();
    QWidget* control = dialog.Control(id);
    QVERIFY(control != nullptr);
    QCOMPARE(QString::fromLatin1(control->metaObject()->className()), type);
    QCOMPARE(control->objectName(), QString::number(id));
    QCOMPARE(control->property("controlId").toInt(), id);
    QCOMPARE(control->isEnabled(), enabled);
    QCOMPARE(control->isVisible(), visible);

    QString shown;
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      shown = button->text();
      QVERIFY(!button->autoDefault() && !button->isDefault());  // no default button
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
      shown = edit->text();
      QVERIFY(edit->isReadOnly());
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
      shown = label->text();
    } else if (auto* list = qobject_cast<QComboBox*>(control)) {
      shown = list->currentText();
    } else if (auto* bar = qobject_cast<QProgressBar*>(control)) {
      QCOMPARE(bar->value(), 0);
      QCOMPARE(bar->minimum(), 0);
      QCOMPARE(bar->maximum(), 100);
      QVERIFY(!bar->isTextVisible());
    }
    QCOMPARE(shown, text);

    const QFontMetrics metrics(dialog.font());
    const int baseX = (metrics.horizontalAdvance(
                           QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
                           26 +
                       1) /
                      2;
    const int baseY = metrics.height();
    const QRect got = control->geometry();
    QCOMPARE(got.x(), Px(du.x(), baseX, 4));
    QCOMPARE(got.y(), Px(du.y(), baseY, 8));
    QCOMPARE(got.x() + got.width(), Px(du.x() + du.width(), baseX, 4));
    if (id != ID_PORT_LIST) {  // the list's height includes its dropped list
      QCOMPARE(got.y() + got.height(), Px(du.y() + du.height(), baseY, 8));
    }
    QCOMPARE(dialog.size(), QSize(Px(286, baseX, 4), Px(129, baseY, 8)));
  }

  void dialogUnitsAtTheClassicBase_data() {
    QTest::addColumn<QRect>("du");
    QTest::addColumn<QRect>("px");
    // 6 x 13 pixels: an 8-point shell font at 96 dpi.
    QTest::newRow("Quit") << QRect(150, 97, 59, 20) << QRect(225, 158, 89, 32);
    QTest::newRow("path") << QRect(20, 35, 194, 16) << QRect(30, 57, 291, 26);
    QTest::newRow("window") << QRect(0, 0, 286, 129) << QRect(0, 0, 429, 210);
  }
  void dialogUnitsAtTheClassicBase() {
    QFETCH(QRect, du);
    QFETCH(QRect, px);
    QCOMPARE(DialogRectToPixels(du, DialogBase{6, 13}), px);
  }

  void enterDoesNotCloseEscapeDoes() {
    ScriptedPrompter prompter;
    CtarvexDlg dialog(TestSeams(prompter));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    for (const int id : {ID_QUIT, ID_TEST, ID_PORT_LIST}) {
      dialog.Control(id)->setFocus();
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Enter, Qt::KeypadModifier);
      QVERIFY2(dialog.isVisible(), qPrintable(QStringLiteral("Enter closed it from %1").arg(id)));
    }
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
  }

  void quitCloses() {
    ScriptedPrompter prompter;
    CtarvexDlg dialog(TestSeams(prompter));
    dialog.show();
    QTest::mouseClick(dialog.Control(ID_QUIT), Qt::LeftButton);
    QVERIFY(!dialog.isVisible());
  }

  // The window menu's entry, offered as the context menu, opens the about box.
  void aboutBox() {
    ScriptedPrompter prompter;
    CtarvexDlg dialog(TestSeams(prompter));
    const auto menu = dialog.MakeWindowMenu();
    const QList<QAction*> actions = menu->actions();
    QCOMPARE(actions.size(), 1);
    QCOMPARE(actions.front()->text(), QStringLiteral("&About tarvex..."));

    QString caption;
    QStringList texts;
    bool hasIcon = false;
    bool okIsDefault = false;
    QTimer::singleShot(0, [&] {
      auto* about = qobject_cast<CAboutDlg*>(QApplication::activeModalWidget());
      if (about == nullptr) {
        return;
      }
      caption = about->windowTitle();
      for (const QLabel* label : about->findChildren<QLabel*>()) {
        hasIcon = hasIcon || !label->pixmap().isNull();
        if (!label->text().isEmpty()) {
          texts.append(label->text());
        }
      }
      auto* ok = about->findChild<QPushButton*>(QStringLiteral("1"));
      okIsDefault = ok != nullptr && ok->isDefault() && ok->text() == QLatin1String("OK");
      if (okIsDefault) {
        QTest::mouseClick(ok, Qt::LeftButton);
      } else {
        about->reject();
      }
    });
    actions.front()->trigger();  // returns when the about box has closed
    QCOMPARE(caption, QStringLiteral("About tarvex"));
    QVERIFY(hasIcon);
    QCOMPARE(texts.size(), 2);
    QCOMPARE(texts.front(), QStringLiteral("tarvex, Version 1.0"));
    QVERIFY(okIsDefault);
  }
};

QTEST_MAIN(StartupTest)
#include "startup_test.moc"
