// The Open command: good, damaged, unreadable and cancelled choices, several files at once, and
// what a later Download may use after a rejected file.
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "app/qt/prompter.h"
#include "tests/app/app_test_support.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

using namespace tarvex;
using namespace tarvex::test;

namespace {

const QString FILE_ERROR = QStringLiteral("文件出错");

QString Q(const std::filesystem::path& path) {
  return QString::fromStdString(path.string());
}

QString WriteModelImage(const TempDir& dir, const char* file, std::string_view model) {
  ImagePlan plan = SimpleImagePlan();
  plan.model = Model(model);
  return Q(WriteImage(dir.File(file), plan));
}

QString WriteDamagedImage(const TempDir& dir, const char* file) {
  ImagePlan plan = SimpleImagePlan();
  plan.bytes.push_back({300, 0xA5});  // a payload byte changed after the CRC was taken
  return Q(WriteImage(dir.File(file), plan));
}

struct Window {
  ScriptedPrompter prompter;
  CtarvexDlg dialog{TestSeams(prompter)};

  void Open(const QStringList& answer) {
    prompter.openAnswers.push_back(answer);
    dialog.OnOpenImage();
  }
  QString PathShown() const { return ControlAs<QLineEdit>(dialog, ID_IMAGE_PATH)->text(); }
  QString ModelShown() const { return ControlAs<QLineEdit>(dialog, ID_MODEL)->text(); }
  bool DownloadEnabled() const { return dialog.Control(ID_DOWNLOAD)->isEnabled(); }
};

}  // namespace

class OpenTest : public QObject {
  Q_OBJECT

 private slots:
  void asksWithBothFilters() {
    Window window;
    window.Open({});
    QCOMPARE(window.prompter.filtersAsked, QStringList{"(*.zfr)|*.zfr;|(*.*)|*.*;|"});
    QCOMPARE(QtNameFilters(window.prompter.filtersAsked.front()),
             (QStringList{"(*.zfr) (*.zfr)", "(*.*) (*)"}));
  }

  void goodImage_data() {
    QTest::addColumn<QByteArray>("model");
    QTest::addColumn<QString>("shown");
    QTest::newRow("short name") << QByteArray("VUN D7") << "VUN D7";
    QTest::newRow("all 16 bytes") << QByteArray("ABCDEFGHIJKLMNOP") << "ABCDEFGHIJKLMNOP";
    QTest::newRow("three letters, S at byte 15")
        << QByteArray("ABC\0\0\0\0\0\0\0\0\0\0\0\0S", 16) << "ABC";
  }
  void goodImage() {
    QFETCH(QByteArray, model);
    QFETCH(QString, shown);
    TempDir dir;
    Window window;
    const QString path =
        WriteModelImage(dir, "good.zfr", std::string_view(model.constData(), model.size()));
    window.Open({path});
    QCOMPARE(window.PathShown(), path);
    QCOMPARE(window.dialog.ImagePath(), path);
    QCOMPARE(window.ModelShown(), shown);
    QVERIFY(window.DownloadEnabled());
    QVERIFY(window.dialog.Job().HasImage());
    QVERIFY(window.prompter.messages.empty());
  }

  void firstOpenOfADamagedImage() {
    TempDir dir;
    Window window;
    window.Open({WriteDamagedImage(dir, "bad.zfr")});
    QCOMPARE(window.prompter.MessageTexts(), QStringList{FILE_ERROR});
    QCOMPARE(window.prompter.messages.front().caption, QStringLiteral("tarvex"));
    QCOMPARE(window.prompter.messages.front().owner, &window.dialog);
    QVERIFY(!window.DownloadEnabled());
    QVERIFY(!window.dialog.Job().HasImage());
    QCOMPARE(window.ModelShown(), QString());
    QCOMPARE(window.PathShown(), QString());  // nothing good was opened before
  }

  // The job keeps the good image; the path box shows it again, so the window never pairs the
  // good image's header with the rejected file.
  void rejectedFilesAfterAGoodOne_data() {
    QTest::addColumn<bool>("missing");
    QTest::newRow("damaged") << false;
    QTest::newRow("cannot be opened") << true;
  }
  void rejectedFilesAfterAGoodOne() {
    QFETCH(bool, missing);
    TempDir dir;
    Window window;
    const QString good = WriteModelImage(dir, "good.zfr", "660 RUDO");
    window.Open({good});
    const QString rejected = missing ? Q(dir.File("gone.zfr")) : WriteDamagedImage(dir, "bad.zfr");
    window.Open({rejected});
    QCOMPARE(window.prompter.MessageTexts(), QStringList{FILE_ERROR});
    QCOMPARE(window.ModelShown(), QStringLiteral("660 RUDO"));
    QCOMPARE(window.PathShown(), good);
    QCOMPARE(window.dialog.ImagePath(), good);
    QVERIFY(window.DownloadEnabled());
  }

  void rejectedPathIsShownWhileTheMessageIsOpen() {
    TempDir dir;
    Window window;
    const QString bad = WriteDamagedImage(dir, "bad.zfr");
    QString shownMeanwhile;
    window.prompter.whileShowing = [&] { shownMeanwhile = window.PathShown(); };
    window.Open({bad});
    QCOMPARE(shownMeanwhile, bad);
  }

  void cancelledDialogChangesNothing() {
    TempDir dir;
    Window window;
    const QString good = WriteModelImage(dir, "good.zfr", "7K");
    window.Open({good});
    window.Open({});
    QCOMPARE(window.PathShown(), good);
    QCOMPARE(window.ModelShown(), QStringLiteral("7K"));
    QVERIFY(window.DownloadEnabled());
    QVERIFY(window.prompter.messages.empty());

    Window fresh;
    fresh.Open({});
    QCOMPARE(fresh.PathShown(), QString());
    QVERIFY(!fresh.DownloadEnabled());
  }

  void severalFilesOpenTheFirst() {
    TempDir dir;
    Window window;
    const QString first = WriteModelImage(dir, "a.zfr", "FIRST");
    const QString second = WriteModelImage(dir, "b.zfr", "SECOND");
    window.Open({first, second});
    QCOMPARE(window.PathShown(), first);
    QCOMPARE(window.ModelShown(), QStringLiteral("FIRST"));
  }

  // Files dropped on the window: the first local one opens as Open would, only while Open is
  // available.
  void droppedFilesOpenTheFirstLocalOne() {
    TempDir dir;
    Window window;
    const QString first = WriteModelImage(dir, "a.zfr", "FIRST");
    QMimeData data;
    data.setUrls({QUrl(QStringLiteral("https://example.org/x.zfr")), QUrl::fromLocalFile(first),
                  QUrl::fromLocalFile(WriteModelImage(dir, "b.zfr", "SECOND"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window.dialog, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window.dialog, &drop);
    QCOMPARE(window.PathShown(), first);
    QCOMPARE(window.ModelShown(), QStringLiteral("FIRST"));
    QVERIFY(window.prompter.filtersAsked.isEmpty());  // no file dialog

    window.dialog.Control(ID_OPEN)->setEnabled(false);
    QDragEnterEvent refused(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    refused.setAccepted(false);
    QApplication::sendEvent(&window.dialog, &refused);
    QVERIFY(!refused.isAccepted());
  }
};

QTEST_MAIN(OpenTest)
#include "open_test.moc"
