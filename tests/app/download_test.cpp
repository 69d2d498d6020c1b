// Whole downloads through the window into a simulated fixture on a pseudo-terminal, with time
// compressed: button texts and states, status texts, progress, the "STOP?" question, Test
// during a download, and closing the window while a job runs.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <memory>

#include "image/image_loader.h"
#include "sim/fixture_runner.h"
#include "tests/app/app_test_support.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"

using namespace tarvex;
using namespace tarvex::test;
using namespace std::chrono_literals;

namespace {

constexpr double TIME_SCALE = 0.01;  // a whole download in well under a second of waits

// Whether no one holds the device: the port backend locks what it opens.
bool PortIsFree(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    return false;
  }
  const bool free = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
  ::close(fd);
  return free;
}

struct ControlState {
  QString downloadText;
  bool download = false;
  bool quit = false;
  bool portList = false;
  bool test = false;
  bool open = false;
};

// A window, a fixture listening on a pseudo-terminal, and an image opened in the window.
class Bench {
 public:
  Bench()
      : runner_(line_, RunnerOptions{.fixture = {.gapScale = TIME_SCALE,
                                                 .parityView = ParityView::OddOnly}}) {
    dialog_ = std::make_unique<CtarvexDlg>(TestSeams(prompter, TIME_SCALE));
    QObject::connect(dialog_.get(), &CtarvexDlg::StatusShown, [this](const QString& text) {
      if (statuses.isEmpty() || statuses.back() != text) {
        statuses.append(text);
      }
      if (onStatus) {
        onStatus(text);
      }
    });
  }

  bool Ready() const { return line_.Ok(); }
  CtarvexDlg& dialog() { return *dialog_; }
  FixtureRunner& runner() { return runner_; }
  const std::string& device() const { return line_.SlavePath(); }

  // Writes, opens and returns an image; the window shows it.
  FirmwareImage OpenImage(const char* file, ImagePlan plan) {
    const auto path = WriteImage(dir_.File(file), plan);
    prompter.openAnswers.push_back({QString::fromStdString(path.string())});
    dialog_->OnOpenImage();
    return *LoadImage(path.string()).image;
  }

  void TypePort(const QString& port) {
    auto* list = ControlAs<QComboBox>(*dialog_, ID_PORT_LIST);
    list->setEditText(port);
  }

  void Click(int id) { QTest::mouseClick(dialog_->Control(id), Qt::LeftButton); }

  ControlState Controls() const {
    auto* download = ControlAs<QPushButton>(*dialog_, ID_DOWNLOAD);
    return {download->text(),
            download->isEnabled(),
            dialog_->Control(ID_QUIT)->isEnabled(),
            dialog_->Control(ID_PORT_LIST)->isEnabled(),
            dialog_->Control(ID_TEST)->isEnabled(),
            dialog_->Control(ID_OPEN)->isEnabled()};
  }

  QString Status() const { return ControlAs<QLabel>(*dialog_, ID_STATUS)->text(); }

  ScriptedPrompter prompter;
  QStringList statuses;                          // each change of the status label
  std::function<void(const QString&)> onStatus;  // runs inside the worker's call

 private:
  TempDir dir_;
  PtyLine line_;
  FixtureRunner runner_;
  std::unique_ptr<CtarvexDlg> dialog_;  // before the line: closes the port first
};

void Compare(const ControlState& got, const ControlState& expected, const char* when) {
  const auto text = [](const ControlState& s) {
    return QStringLiteral("%1 download=%2 quit=%3 ports=%4 test=%5 open=%6")
        .arg(s.downloadText)
        .arg(s.download)
        .arg(s.quit)
        .arg(s.portList)
        .arg(s.test)
        .arg(s.open);
  };
  QVERIFY2(
      text(got) == text(expected),
      qPrintable(QStringLiteral("%1: got %2, expected %3").arg(when, text(got), text(expected))));
}

const ControlState IDLE{"Download", true, true, true, true, true};
const ControlState DOWNLOADING{"Cancel", true, false, false, true, false};

}  // namespace

class DownloadTest : public QObject {
  Q_OBJECT

 private slots:
  void wholeDownload() {
    Bench bench;
    QVERIFY(bench.Ready());
    QVERIFY(bench.runner().Start());
    ImagePlan plan = SimpleImagePlan();
    const FirmwareImage image = bench.OpenImage("first.zfr", plan);
    bench.TypePort(QString::fromStdString(bench.device()));

    ControlState seenWhileDownloading;
    bench.onStatus = [&](const QString& text) {
      if (text.startsWith(QLatin1String("Downloading"))) {
        seenWhileDownloading = bench.Controls();
      }
    };
    bench.Click(ID_DOWNLOAD);
    Compare(bench.Controls(), DOWNLOADING, "after Download");

    // Test does nothing while a download runs; the fixture would see stray bytes.
    bench.Click(ID_TEST);
    QVERIFY(bench.dialog().Job().IsRunning());
    // "STOP?" answered Cancel: the download goes on undisturbed.
    bench.prompter.okCancelAnswers = {false};
    bench.Click(ID_DOWNLOAD);
    QCOMPARE(bench.prompter.questions.size(), size_t(1));
    QCOMPARE(bench.prompter.questions.front().text, QStringLiteral("STOP?"));
    QCOMPARE(bench.prompter.questions.front().caption, QStringLiteral("tarvex"));
    Compare(bench.Controls(), DOWNLOADING, "after STOP? answered Cancel");
    // Open is unavailable meanwhile: the window shows the image being sent.
    ImagePlan other = SimpleImagePlan();
    other.model = Model("OTHER");
    bench.OpenImage("second.zfr", other);
    QCOMPARE(bench.dialog().ModelText(), QStringLiteral("TEST MODEL"));
    QCOMPARE(bench.prompter.filtersAsked.size(), 1);  // only for the first image
    Compare(bench.Controls(), DOWNLOADING, "after an Open");

    QVERIFY(WaitUntil([&] { return !bench.dialog().Job().IsBusy(); }, 30000));
    QCOMPARE(bench.Status(), QStringLiteral("Download Complete!"));
    QCOMPARE(bench.statuses,
             (QStringList{"QORVAL...", "Start...", "Downloading... 1/2", "Downloading... 2/2",
                          "Waitting for Reset...", "Download Complete!"}));
    Compare(seenWhileDownloading, DOWNLOADING, "while blocks went out");
    Compare(bench.Controls(), IDLE, "after completion");
    auto* progress = ControlAs<QProgressBar>(bench.dialog(), ID_PROGRESS);
    QCOMPARE(progress->minimum(), 0);
    QCOMPARE(progress->maximum(), int(PayloadLength(image.header)));
    QCOMPARE(progress->value(), 1510);  // every data byte
    QVERIFY(bench.prompter.messages.empty());
    QVERIFY(PortIsFree(bench.device()));

    QVERIFY(bench.runner().WaitFor(10s));
    const FixtureVerdict verdict = bench.runner().Verdict();
    QVERIFY2(verdict.Intact(),
             verdict.faults.empty() ? "nothing received" : verdict.faults.front().text.c_str());
    QVERIFY(CompareWithImage(verdict, bench.runner().Memory(), image).empty());
  }

  void stopAnsweredOk() {
    Bench bench;
    QVERIFY(bench.Ready());
    bench.OpenImage("image.zfr", SimpleImagePlan());
    bench.TypePort(QString::fromStdString(bench.device()));
    bench.Click(ID_DOWNLOAD);
    QVERIFY(WaitUntil([&] { return bench.statuses.contains(QStringLiteral("QORVAL...")); }));

    bench.prompter.okCancelAnswers = {true};
    bench.Click(ID_DOWNLOAD);
    Compare(bench.Controls(), IDLE, "after STOP? answered OK");
    QVERIFY(!bench.dialog().Job().IsRunning());
    QVERIFY(PortIsFree(bench.device()));
    QVERIFY(WaitUntil([&] { return !bench.dialog().Job().IsBusy(); }));
    QTest::qWait(100);  // no late step changes anything
    QVERIFY(!bench.statuses.contains(QStringLiteral("Download Complete!")));
    Compare(bench.Controls(), IDLE, "a while after the stop");
  }

  void portThatCannotBeOpened() {
    TempDir dir;
    Bench bench;
    bench.OpenImage("image.zfr", SimpleImagePlan());
    bench.TypePort(QString::fromStdString(dir.File("no-such-port").string()));
    bench.Click(ID_DOWNLOAD);
    QCOMPARE(bench.prompter.MessageTexts(), QStringList{"Open CommPort Fail"});
    QCOMPARE(bench.prompter.messages.front().caption, QStringLiteral("tarvex"));
    Compare(bench.Controls(), IDLE, "after the failed open");
  }

  // The window closes during a job: the job stops without a question, no worker is left and the
  // port is free. Also when the close comes while the worker waits for the window.
  void closingDuringADownload_data() {
    QTest::addColumn<bool>("insideAWorkerCall");
    QTest::newRow("between steps") << false;
    QTest::newRow("inside a worker's call") << true;
  }
  void closingDuringADownload() {
    QFETCH(bool, insideAWorkerCall);
    Bench bench;
    QVERIFY(bench.Ready());
    bench.OpenImage("image.zfr", SimpleImagePlan());
    bench.TypePort(QString::fromStdString(bench.device()));
    bench.dialog().show();
    if (insideAWorkerCall) {
      bench.onStatus = [&](const QString& text) {
        if (text == QLatin1String("Start...")) {
          bench.dialog().close();
        }
      };
    }
    bench.Click(ID_DOWNLOAD);
    if (insideAWorkerCall) {
      QVERIFY(WaitUntil([&] { return !bench.dialog().isVisible(); }));
    } else {
      QVERIFY(WaitUntil([&] { return bench.statuses.contains(QStringLiteral("Start...")); }));
      QTest::keyClick(&bench.dialog(), Qt::Key_Escape);
    }
    QVERIFY(!bench.dialog().isVisible());
    // Returned from the close: the worker has been joined and the port closed.
    QVERIFY(!bench.dialog().Job().IsBusy());
    QVERIFY(!bench.dialog().Job().IsRunning());
    QVERIFY(PortIsFree(bench.device()));
    QVERIFY(bench.prompter.questions.empty());
    QCOMPARE(bench.dialog().Job().Outcome(), JobOutcome::Cancelled);
  }
};

QTEST_MAIN(DownloadTest)
#include "download_test.moc"
