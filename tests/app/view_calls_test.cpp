// Worker calls carried to the window's thread: they run there and the worker waits for them;
// once the window stops serving, a waiting worker is released and its call never runs.
#include <QCoreApplication>
#include <QTest>
#include <QThread>
#include <atomic>
#include <chrono>
#include <thread>

#include "app/gui_thread_caller.h"

using namespace tarvex;
using namespace std::chrono_literals;

namespace {

// A worker making one call; released and joined whatever the test's outcome.
class Worker {
 public:
  Worker(GuiThreadCaller& caller, std::function<void()> fn)
      : caller_(caller), thread_([this, fn = std::move(fn)] {
          caller_.Call(fn);
          returned = true;
        }) {}
  ~Worker() { Join(); }
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  void Join() {
    if (thread_.joinable()) {
      if (!returned) {
        caller_.StopServing();
      }
      thread_.join();
    }
  }

  std::atomic<bool> returned{false};

 private:
  GuiThreadCaller& caller_;
  std::thread thread_;
};

}  // namespace

class ViewCallsTest : public QObject {
  Q_OBJECT

 private slots:
  void runsOnTheWindowThreadAndWaits() {
    QObject context;
    GuiThreadCaller caller(context);
    std::atomic<QThread*> ranOn{nullptr};
    Worker worker(caller, [&ranOn] { ranOn = QThread::currentThread(); });
    std::this_thread::sleep_for(50ms);  // the window thread serves nothing meanwhile
    QVERIFY(!worker.returned);
    QVERIFY(QTest::qWaitFor([&] { return worker.returned.load(); }, 5000));
    QCOMPARE(ranOn.load(), context.thread());
  }

  void stopReleasesAWaitingWorkerAndDropsItsCall() {
    QObject context;
    GuiThreadCaller caller(context);
    std::atomic<bool> ran{false};
    {
      Worker waiting(caller, [&ran] { ran = true; });
      std::this_thread::sleep_for(50ms);
      QVERIFY(!waiting.returned);
      caller.StopServing();
      waiting.Join();  // released without being served
    }
    {
      Worker late(caller, [&ran] { ran = true; });
      late.Join();  // returns at once while not serving
    }
    caller.ResumeServing();
    QCoreApplication::processEvents();
    QVERIFY(!ran);  // calls queued before the stop never run
  }
};

QTEST_MAIN(ViewCallsTest)
#include "view_calls_test.moc"
