#include "ui/window_logic.h"

#include <atomic>
#include <filesystem>
#include <system_error>
#include <utility>

#include "image/image_loader.h"
#include "image/unchecked_rows.h"
#include "platform/utf8_path.h"
#include "ui/ui_texts.h"

namespace tarvex {

namespace {

std::string Utf8FromPath(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {reinterpret_cast<const char*>(text.data()), text.size()};
}

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
    : view_(view), gate_(std::move(hooks)) {
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
  const std::vector<std::string> chosen = view_.AskOpenFiles(OPEN_FILE_FILTER);
  // Several files may be chosen; the first one is opened.
  if (chosen.empty() || !NamesAFile(chosen.front())) {
    return;
  }
  const std::string previousPath = imagePath_;
  imagePath_ = AbsoluteUtf8Path(chosen.front());
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

void WindowLogic::OnDownload() {
  job_->OnBnClickedDownload(view_.PortText());
}

void WindowLogic::OnTest() {
  job_->OnBnClickedTest(view_.PortText());
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
  view_.DrawLogo(LOGO_FILE);
  logoAttempted_ = true;
}

void WindowLogic::ShutDown() {
  if (!job_) {
    return;
  }
  // The cancel path without the question, while worker calls are still served.
  if (job_->IsRunning()) {
    job_->Stop();
  }
  // A worker may be waiting for this thread right now; release it, and every later call, so
  // that joining it cannot hang.
  gate_.StopServing();
  job_->WaitForWorker();
  gate_.ResumeServing();
}

// --- JobView ------------------------------------------------------------------------------

// Each call takes its own copies: a caller released at shutdown may return before it has run.

void WindowLogic::SetStatusText(const std::string& utf8) {
  gate_.Call([this, text = utf8] { view_.SetControlText(ID_STATUS, text); });
}

void WindowLogic::SetProgressRange(std::uint32_t low, std::uint32_t high) {
  gate_.Call([this, low, high] { view_.SetProgressRange(low, high); });
}

void WindowLogic::SetProgressPos(std::uint32_t pos) {
  gate_.Call([this, pos] { view_.SetProgressPos(pos); });
}

void WindowLogic::EnableControl(int id, bool enable) {
  gate_.Call([this, id, enable] { view_.EnableControl(id, enable); });
}

void WindowLogic::SetDownloadText(const std::string& utf8) {
  gate_.Call([this, text = utf8] { view_.SetControlText(ID_DOWNLOAD, text); });
}

void WindowLogic::ShowMessage(const std::string& utf8) {
  gate_.Call([this, text = utf8] { view_.ShowMessage(text); });
}

bool WindowLogic::AskOkCancel(const std::string& utf8) {
  // Atomic: a caller released at shutdown reads it while the question may still be open.
  auto ok = std::make_shared<std::atomic<bool>>(false);  // a released call counts as Cancel
  gate_.Call([this, ok, text = utf8] { *ok = view_.AskOkCancel(text); });
  return *ok;
}

void WindowLogic::NotifyReceived() {
  // The link is write-only: received bytes are noticed and otherwise left alone.
}

}  // namespace tarvex
