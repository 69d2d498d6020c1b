#include "ui/window_logic.h"

#include <atomic>
#include <filesystem>
#include <system_error>
#include <utility>

#include "image/image_loader.h"
#include "image/unchecked_rows.h"
#include "platform/utf8_path.h"
#include "ui/logo_file.h"
#include "ui/ui_texts.h"

namespace tarvex {

namespace {

bool NamesAFile(const std::string& utf8) {
  return !utf8.empty() && !PathFromUtf8(utf8).filename().empty();
}

}  // namespace

std::string AbsoluteUtf8Path(const std::string& utf8) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(PathFromUtf8(utf8), error);
  return error ? utf8 : Utf8FromPath(absolute.lexically_normal());
}

WindowLogic::WindowLogic(WindowView& view, UiThreadHooks hooks, WindowSeams seams)
    : view_(view), gate_(std::move(hooks)), programFolder_(std::move(seams.programFolder)) {
  if (!seams.makeBackend) {
    seams.makeBackend = MakeNativePortBackend;
  }
  job_ = std::make_unique<DownloadJob>(*this, seams.makeBackend(), std::move(seams.jobOptions));
}

WindowLogic::~WindowLogic() {
  ShutDown();
}

// --- Commands -----------------------------------------------------------------------------

void WindowLogic::OnOpenImage() {
  if (!openAvailable_) {
    return;
  }
  const std::vector<std::string> chosen = view_.AskOpenFiles(OPEN_FILE_FILTER);
  // Several files may be chosen; the first one is opened.
  if (!chosen.empty()) {
    OpenImage(chosen.front());
  }
}

void WindowLogic::OpenImage(const std::string& path) {
  if (!openAvailable_ || !NamesAFile(path)) {
    return;
  }
  const std::string previousPath = imagePath_;
  imagePath_ = AbsoluteUtf8Path(path);
  view_.SetControlText(ID_IMAGE_PATH, imagePath_);

  const ImageLoad load = LoadImage(imagePath_);
  if (!load.ok()) {
    view_.ShowMessage(TEXT_FILE_ERROR);
    // The job still holds the previous image; the path box shows that one again, so what the
    // window shows is what a Download sends.
    imagePath_ = previousPath;
    view_.SetControlText(ID_IMAGE_PATH, imagePath_);
    return;
  }
  modelText_ = view_.LocalTextToUtf8(load.image->modelText);
  // A running download keeps its own copy; this image is for the next one.
  job_->SetImage(*load.image);
  // While a download runs the button is its Cancel and the job decides its state.
  const bool idle = view_.ControlText(ID_DOWNLOAD) == TEXT_DOWNLOAD;
  if (idle) {
    view_.EnableControl(ID_DOWNLOAD, true);
    ShowImageWarning(UncheckedRowsWarning(load.image->header));
  }
  view_.SetControlText(ID_MODEL, modelText_);
}

// The status line says when an image's bytes would go out unverified; a later good image
// clears what it said, and only that.
void WindowLogic::ShowImageWarning(const std::string& warning) {
  if (!warning.empty() ||
      (!shownWarning_.empty() && view_.ControlText(ID_STATUS) == shownWarning_)) {
    view_.SetControlText(ID_STATUS, warning);
  }
  shownWarning_ = warning;
}

// Starts a download when idle; otherwise the button is Cancel: asks first, and the download goes
// on while the question is open.
void WindowLogic::OnDownload() {
  if (!job_->IsRunning()) {
    job_->Start(view_.PortText());
  } else if (view_.AskOkCancel(TEXT_STOP)) {
    job_->Cancel();
  }
}

void WindowLogic::OnTest() {
  job_->StartTest(view_.PortText());
}

bool WindowLogic::LogoDue(bool minimized) {
  if (logoAttempted_ || logoScheduled_ || minimized) {
    return false;
  }
  logoScheduled_ = true;
  return true;
}

void WindowLogic::AttemptLogo() {
  // The attempt may show a modal message; the flag is set once it has returned, whatever it gave.
  view_.DrawLogo(LogoFileToShow(programFolder_));
  logoAttempted_ = true;
}

void WindowLogic::ShutDown() {
  if (!job_) {
    return;
  }
  // The cancel path without the question, while worker calls are still served.
  if (job_->IsRunning()) {
    job_->Cancel();
  }
  // A worker may be waiting for this thread right now; release it, and every later call, so
  // that joining it cannot hang.
  gate_.StopServing();
  job_->WaitForWorker();
  gate_.ResumeServing();
}

// --- JobView ------------------------------------------------------------------------------

// Each call takes its own copies: a posted call, or a caller released at shutdown, returns before
// it has run. What a job shows as it goes is posted, so the pacing never waits for the window
// to draw.

void WindowLogic::Started(JobKind kind) {
  if (kind != JobKind::Download) {
    return;  // the Test button leaves the controls as they are
  }
  gate_.Call([this] {
    view_.SetControlText(ID_DOWNLOAD, TEXT_CANCEL);
    view_.EnableControl(ID_QUIT, false);
    view_.EnableControl(ID_PORT_LIST, false);
    // The path and model shown stay those of the image being sent.
    SetOpenAvailable(false);
  });
}

void WindowLogic::SetOpenAvailable(bool available) {
  openAvailable_ = available;
  view_.EnableControl(ID_OPEN, available);
}

void WindowLogic::Status(std::string_view utf8) {
  gate_.Post([this, text = std::string(utf8)] { view_.SetControlText(ID_STATUS, text); });
}

void WindowLogic::ProgressRange(std::uint32_t high) {
  gate_.Post([this, high] { view_.SetProgressRange(0, high); });
}

void WindowLogic::Progress(std::uint32_t pos) {
  gate_.Post([this, pos] { view_.SetProgressPos(pos); });
}

void WindowLogic::Message(std::string_view utf8) {
  gate_.Call([this, text = std::string(utf8)] { view_.ShowMessage(text); });
}

// The Download button stays disabled while the port closes.
void WindowLogic::Closing(JobKind kind) {
  if (kind == JobKind::Download) {
    gate_.Post([this] { view_.EnableControl(ID_DOWNLOAD, false); });
  }
}

// A test that ran to its end leaves the buttons as they were; everything else returns them to
// idle.
void WindowLogic::Ended(JobKind kind, JobOutcome outcome, const std::string& /*reason*/) {
  const bool keepButtons = kind == JobKind::Test && outcome != JobOutcome::Cancelled;
  gate_.Post([this, keepButtons] {
    if (!keepButtons) {
      view_.EnableControl(ID_DOWNLOAD, true);
      view_.SetControlText(ID_DOWNLOAD, TEXT_DOWNLOAD);
      view_.EnableControl(ID_QUIT, true);
      SetOpenAvailable(true);
    }
    view_.EnableControl(ID_PORT_LIST, true);
  });
}

}  // namespace tarvex
