// The window's logic without a toolkit: the Open rules, the logo attempted once, and a shutdown
// that never hangs on a worker waiting for the UI thread.
#include "ui/window_logic.h"

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <map>
#include <thread>

#include "tests/support/fake_port_backend.h"
#include "tests/support/image_builder.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait_until.h"
#include "ui/minimized_icon.h"
#include "ui/ui_texts.h"

using namespace std::chrono_literals;

namespace tarvex {
namespace {

class RecordingWindowView : public WindowView {
 public:
  std::map<int, std::string> texts{{ID_DOWNLOAD, TEXT_DOWNLOAD}};
  std::map<int, bool> enabled{{ID_DOWNLOAD, false}};
  std::deque<std::vector<std::string>> openAnswers;
  std::vector<std::string> messages;
  std::vector<std::string> logoPaths;
  int logoResult = -1;

  void SetControlText(int id, const std::string& utf8) override { texts[id] = utf8; }
  std::string ControlText(int id) const override {
    const auto found = texts.find(id);
    return found == texts.end() ? std::string() : found->second;
  }
  void EnableControl(int id, bool enable) override { enabled[id] = enable; }
  void SetProgressRange(std::uint32_t, std::uint32_t) override {}
  void SetProgressPos(std::uint32_t) override {}
  std::string PortText() const override { return "COM1"; }
  std::vector<std::string> AskOpenFiles(const std::string& /*filter*/) override {
    if (openAnswers.empty()) {
      return {};
    }
    std::vector<std::string> answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
  }
  void ShowMessage(const std::string& utf8) override { messages.push_back(utf8); }
  bool AskOkCancel(const std::string& utf8) override {
    questions.push_back(utf8);
    return okAnswer;
  }
  std::vector<std::string> questions;
  bool okAnswer = true;
  int DrawLogo(const std::string& path) override {
    logoPaths.push_back(path);
    return logoResult;
  }
  std::string LocalTextToUtf8(const std::string& local) const override { return local; }
};

WindowSeams FastSeams(const std::shared_ptr<test::FakePort>& port) {
  WindowSeams seams;
  seams.jobOptions.timeScale = 0.01;
  seams.makeBackend = [port] { return port->MakeBackend(); };
  return seams;
}

UiThreadHooks ThisThreadIsTheUiThread() {
  return {
      .wake = [] {},
      .onUiThread = [id = std::this_thread::get_id()] { return std::this_thread::get_id() == id; }};
}

WindowSeams FastSeams(const std::shared_ptr<test::FakePort>& port, std::string programFolder) {
  WindowSeams seams = FastSeams(port);
  seams.programFolder = std::move(programFolder);
  return seams;
}

struct Window {
  explicit Window(std::string programFolder = {})
      : logic(view, ThisThreadIsTheUiThread(), FastSeams(port, std::move(programFolder))) {}
  RecordingWindowView view;
  std::shared_ptr<test::FakePort> port = test::FakePort::Make();
  WindowLogic logic;
};

struct OpenCase {
  const char* name;
  std::vector<const char*> answers;  // files chosen, one Open each: "good", "bad", "" (Cancel)
  const char* expectedPath;          // "good", or "" for none
  bool downloadEnabled;
  std::size_t messages;
};

class OpenRules : public testing::TestWithParam<OpenCase> {};

TEST_P(OpenRules, KeepTheLastGoodImageAndEnableDownloadOnlyForOne) {
  const OpenCase& c = GetParam();
  test::TempDir dir;
  const std::string good = test::WriteImage(dir.File("good.zfr"), test::SimpleImagePlan()).string();
  const std::string bad = dir.File("bad.zfr").string();
  test::WriteFileBytes(bad, {1, 2, 3});
  const std::map<std::string, std::string> files{
      {"good", good}, {"bad", bad}, {"dir", dir.path().string() + "/"}};

  // Through the file dialog, and as a path handed over (the program's argument, a dropped file).
  for (const bool byPath : {false, true}) {
    SCOPED_TRACE(byPath ? "by path" : "by the file dialog");
    Window window;
    for (const char* answer : c.answers) {
      const auto file = files.find(answer);
      const std::vector<std::string> chosen =
          file == files.end() ? std::vector<std::string>{} : std::vector<std::string>{file->second};
      if (!byPath) {
        window.view.openAnswers.push_back(chosen);
        window.logic.OnOpenImage();
      } else if (!chosen.empty()) {
        window.logic.OpenImage(chosen.front());
      }
    }
    const std::string expected = std::string(c.expectedPath) == "good" ? good : "";
    EXPECT_EQ(window.logic.ImagePath(), expected);
    EXPECT_EQ(window.view.ControlText(ID_IMAGE_PATH), expected);
    EXPECT_EQ(window.view.ControlText(ID_MODEL), expected.empty() ? "" : "TEST MODEL");
    EXPECT_EQ(window.view.enabled[ID_DOWNLOAD], c.downloadEnabled);
    EXPECT_EQ(window.view.messages.size(), c.messages);
    for (const std::string& message : window.view.messages) {
      EXPECT_EQ(message, TEXT_FILE_ERROR);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OpenRules,
    testing::Values(OpenCase{"Good", {"good"}, "good", true, 0},
                    OpenCase{"Cancelled", {""}, "", false, 0},
                    OpenCase{"FolderNotFile", {"dir"}, "", false, 0},
                    OpenCase{"Damaged", {"bad"}, "", false, 1},
                    OpenCase{"DamagedAfterGood", {"good", "bad"}, "good", true, 1},
                    OpenCase{"CancelAfterGood", {"good", ""}, "good", true, 0}),
    [](const testing::TestParamInfo<OpenCase>& param) { return param.param.name; });

TEST(OpenRules, WhileADownloadRunsDownloadIsLeftToTheJob) {
  test::TempDir dir;
  Window window;
  window.view.texts[ID_DOWNLOAD] = TEXT_CANCEL;
  window.view.openAnswers.push_back(
      {test::WriteImage(dir.File("good.zfr"), test::SimpleImagePlan()).string()});
  window.logic.OnOpenImage();
  EXPECT_FALSE(window.view.enabled[ID_DOWNLOAD]);
  EXPECT_EQ(window.view.ControlText(ID_MODEL), "TEST MODEL");
}

// An image whose segment lies in the unchecked preamble: the status line warns, a good image
// clears that warning, but never a status that a download left.
TEST(OpenRules, StatusWarnsOfBytesOutsideTheCheckedPayload) {
  test::TempDir dir;
  test::ImagePlan unchecked = test::SimpleImagePlan();
  unchecked.segments[1].fileOffset = 0;
  const std::string risky = test::WriteImage(dir.File("risky.zfr"), unchecked).string();
  const std::string good = test::WriteImage(dir.File("good.zfr"), test::SimpleImagePlan()).string();

  Window window;
  window.view.openAnswers = {{risky}, {good}, {risky}, {good}};
  window.logic.OnOpenImage();
  EXPECT_NE(window.view.ControlText(ID_STATUS).find("segment 2 lie outside"), std::string::npos)
      << window.view.ControlText(ID_STATUS);
  window.logic.OnOpenImage();
  EXPECT_EQ(window.view.ControlText(ID_STATUS), "");
  window.logic.OnOpenImage();
  window.view.texts[ID_STATUS] = "Download Complete!";
  window.logic.OnOpenImage();
  EXPECT_EQ(window.view.ControlText(ID_STATUS), "Download Complete!");
}

TEST(Logo, OnlyTheFirstNormalPaintAttemptsItAlsoWhenTheAttemptFails) {
  Window window;
  EXPECT_FALSE(window.logic.LogoDue(/*minimized=*/true));
  EXPECT_TRUE(window.logic.LogoDue(false));
  EXPECT_FALSE(window.logic.LogoDue(false));  // a paint while the attempt is pending
  EXPECT_FALSE(window.logic.LogoAttempted());
  window.logic.AttemptLogo();
  EXPECT_TRUE(window.logic.LogoAttempted());
  EXPECT_FALSE(window.logic.LogoDue(false));
  EXPECT_EQ(window.view.logoPaths, std::vector<std::string>{LOGO_FILE});
}

// Makes `dir` the working folder for one test.
class InFolder {
 public:
  explicit InFolder(const std::filesystem::path& dir) : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~InFolder() { std::filesystem::current_path(previous_); }
  InFolder(const InFolder&) = delete;
  InFolder& operator=(const InFolder&) = delete;

 private:
  std::filesystem::path previous_;
};

struct LogoCase {
  const char* name;
  bool inWorkingFolder;
  bool besideProgram;
  bool programFolderKnown;
  bool expectBesideProgram;  // else "logo.png", from the working folder or failing there
};

class LogoLookup : public testing::TestWithParam<LogoCase> {};

TEST_P(LogoLookup, WorkingFolderFirstThenTheProgramsOwn) {
  const LogoCase& c = GetParam();
  test::TempDir work;
  test::TempDir program;
  if (c.inWorkingFolder) {
    test::WriteFileBytes(work.File(LOGO_FILE), {1});
  }
  if (c.besideProgram) {
    test::WriteFileBytes(program.File(LOGO_FILE), {2});
  }
  const InFolder in(work.path());
  Window window(c.programFolderKnown ? program.path().string() : std::string());
  window.logic.AttemptLogo();
  const std::string expected =
      c.expectBesideProgram ? (program.path() / LOGO_FILE).string() : std::string(LOGO_FILE);
  EXPECT_EQ(window.view.logoPaths, std::vector<std::string>{expected});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogoLookup,
    testing::Values(LogoCase{"WorkingFolderOnly", true, false, true, false},
                    LogoCase{"BothTakesTheWorkingFolders", true, true, true, false},
                    LogoCase{"BesideTheProgramOnly", false, true, true, true},
                    LogoCase{"NeitherFailsOnTheUsualName", false, false, true, false},
                    LogoCase{"ProgramFolderUnknown", false, true, false, false}),
    [](const testing::TestParamInfo<LogoCase>& param) { return param.param.name; });

// A folder named like the logo is no logo.
TEST(LogoLookup, AFolderNamedLogoPngInTheWorkingFolderIsPassedOver) {
  test::TempDir work;
  test::TempDir program;
  std::filesystem::create_directory(work.File(LOGO_FILE));
  test::WriteFileBytes(program.File(LOGO_FILE), {2});
  const InFolder in(work.path());
  Window window(program.path().string());
  window.logic.AttemptLogo();
  EXPECT_EQ(window.view.logoPaths, std::vector<std::string>{(program.path() / LOGO_FILE).string()});
}

void OpenGoodImage(Window& window, const test::TempDir& dir) {
  window.view.openAnswers.push_back(
      {test::WriteImage(dir.File("good.zfr"), test::SimpleImagePlan()).string()});
  window.logic.OnOpenImage();
}

// The window never holds up the pacing: a download runs to its end while the UI thread draws
// nothing, and what it showed is then drawn in order.
TEST(JobEvents, TheDownloadNeverWaitsForTheWindowToDraw) {
  test::TempDir dir;
  Window window;
  OpenGoodImage(window, dir);
  window.logic.OnDownload();
  EXPECT_EQ(window.view.ControlText(ID_DOWNLOAD), TEXT_CANCEL);
  EXPECT_FALSE(window.view.enabled[ID_QUIT]);
  // Meanwhile the UI thread is busy elsewhere.
  ASSERT_TRUE(test::WaitUntil([&] { return !window.logic.Job().IsRunning(); }, 20000ms));
  EXPECT_EQ(window.logic.Job().Outcome(), JobOutcome::Completed);
  EXPECT_EQ(window.view.ControlText(ID_STATUS), "");

  window.logic.RunPendingCalls();
  EXPECT_EQ(window.view.ControlText(ID_STATUS), TEXT_COMPLETE);
  EXPECT_EQ(window.view.ControlText(ID_DOWNLOAD), TEXT_DOWNLOAD);
  EXPECT_TRUE(window.view.enabled[ID_DOWNLOAD]);
  EXPECT_TRUE(window.view.enabled[ID_QUIT]);
  EXPECT_TRUE(window.view.enabled[ID_PORT_LIST]);
}

// Download while a download runs is its Cancel: asked first, and only OK stops it.
TEST(JobEvents, CancelAsksFirstAndOnlyOkStopsTheDownload) {
  test::TempDir dir;
  Window window;
  OpenGoodImage(window, dir);
  window.port->SetWireTimeScale(100.0);  // slow enough to be under way when asked
  window.logic.OnDownload();
  window.view.okAnswer = false;
  window.logic.OnDownload();
  EXPECT_TRUE(window.logic.Job().IsRunning());
  window.view.okAnswer = true;
  window.logic.OnDownload();
  EXPECT_FALSE(window.logic.Job().IsRunning());
  EXPECT_EQ(window.logic.Job().Outcome(), JobOutcome::Cancelled);
  EXPECT_EQ(window.view.questions, (std::vector<std::string>{TEXT_STOP, TEXT_STOP}));
  EXPECT_EQ(window.view.ControlText(ID_DOWNLOAD), TEXT_DOWNLOAD);
  EXPECT_TRUE(window.view.enabled[ID_QUIT]);
  EXPECT_FALSE(window.port->IsOpen());
}

// Open is unavailable from the download's start to its end, so the path and model shown are
// always those of the image being sent; it comes back with Download.
TEST(JobEvents, OpenIsUnavailableWhileADownloadRuns) {
  test::TempDir dir;
  Window window;
  OpenGoodImage(window, dir);
  const std::string sent = window.logic.ImagePath();
  window.port->SetWireTimeScale(100.0);
  window.logic.OnDownload();
  EXPECT_FALSE(window.view.enabled.at(ID_OPEN));

  window.view.openAnswers.push_back(
      {test::WriteImage(dir.File("other.zfr"), test::SimpleImagePlan()).string()});
  window.logic.OnOpenImage();
  EXPECT_EQ(window.view.openAnswers.size(), 1U) << "no file dialog while the download runs";
  window.logic.OpenImage(dir.File("other.zfr").string());  // dropped on the window
  EXPECT_EQ(window.logic.ImagePath(), sent);
  EXPECT_EQ(window.view.ControlText(ID_IMAGE_PATH), sent);

  window.logic.OnDownload();  // Cancel, answered OK
  window.logic.RunPendingCalls();
  EXPECT_TRUE(window.view.enabled.at(ID_OPEN));
  EXPECT_EQ(window.view.ControlText(ID_DOWNLOAD), TEXT_DOWNLOAD);
  window.logic.OnOpenImage();
  EXPECT_EQ(window.logic.ImagePath(), AbsoluteUtf8Path(dir.File("other.zfr").string()));
}

TEST(ShutDown, ReleasesAWorkerWaitingForTheUiThreadStopsTheJobAndClosesThePort) {
  test::TempDir dir;
  Window window;
  OpenGoodImage(window, dir);
  window.logic.OnDownload();
  // The UI thread serves nothing while the download runs.
  ASSERT_TRUE(test::WaitUntil([&] { return window.port->WriteCount() > 0; }, 10000ms));
  ASSERT_TRUE(window.logic.Job().IsBusy());
  window.logic.ShutDown();
  EXPECT_FALSE(window.logic.Job().IsBusy());
  EXPECT_FALSE(window.port->IsOpen());
}

// A 32 x 32 icon in client areas of 36, 35, 33 and 0 pixels square.
static_assert(MinimizedIconOrigin(36, 36, 32, 32) == IconOrigin{2, 2});
static_assert(MinimizedIconOrigin(35, 35, 32, 32) == IconOrigin{2, 2});
static_assert(MinimizedIconOrigin(33, 33, 32, 32) == IconOrigin{1, 1});
static_assert(MinimizedIconOrigin(0, 0, 32, 32) == IconOrigin{-15, -15});

}  // namespace
}  // namespace tarvex
