// What the main window does, whatever toolkit draws it: the Open command's rules, the job's view
// calls carried to the UI thread, the logo attempted once after the first normal paint, and the
// shutdown order. A dialog implements WindowView, routes its commands here and wakes the UI
// thread for RunPendingCalls().
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/download_job.h"
#include "engine/job_view.h"
#include "link/port_backend.h"
#include "ui/call_gate.h"
#include "ui/control_ids.h"
#include "ui/window_view.h"

namespace tarvex {

// What the window depends on below the toolkit; tests replace each part. Empty members take the
// real thing.
struct WindowSeams {
  JobOptions jobOptions;  // e.g. a compressed time scale
  std::function<std::unique_ptr<PortBackend>()> makeBackend;
  std::string programFolder;  // UTF-8; where the logo is looked for after the working folder
};

class WindowLogic : public JobView {
 public:
  // `view` must outlive this object.
  WindowLogic(WindowView& view, UiThreadHooks hooks, WindowSeams seams = {});
  ~WindowLogic() override;
  WindowLogic(const WindowLogic&) = delete;
  WindowLogic& operator=(const WindowLogic&) = delete;

  // Commands. Open is unavailable while a download runs.
  void OnOpenImage();
  // Opens the image at `path` (UTF-8) as Open does with a chosen file: the program's argument, a
  // file dropped on the window. Nothing happens while Open is unavailable.
  void OpenImage(const std::string& path);
  void OnDownload();
  void OnTest();

  // True when a paint of the window (not minimised) should be followed by the logo attempt: the
  // first such paint only. The caller runs AttemptLogo() once that paint has finished; a paint
  // meanwhile is not due again.
  bool LogoDue(bool minimized);
  void AttemptLogo();
  bool LogoAttempted() const { return logoAttempted_; }

  // Stops a running job without asking, stops serving worker calls (so a worker waiting for the
  // UI thread is released), then joins the worker. The window may then go.
  void ShutDown();

  // The UI thread's side of the gate; the toolkit's wake-up handler calls it.
  void RunPendingCalls() { gate_.RunPending(); }

  const std::string& ImagePath() const { return imagePath_; }
  const std::string& ModelText() const { return modelText_; }
  DownloadJob& Job() { return *job_; }

  // JobView: what a job shows is posted to the UI thread; a message waits until it was closed.
  void Started(JobKind kind) override;
  void Status(std::string_view utf8) override;
  void ProgressRange(std::uint32_t high) override;
  void Progress(std::uint32_t pos) override;
  void Message(std::string_view utf8) override;
  void Closing(JobKind kind) override;
  void Ended(JobKind kind, JobOutcome outcome, const std::string& reason) override;

 private:
  void ShowImageWarning(const std::string& warning);
  void SetOpenAvailable(bool available);

  WindowView& view_;
  UiCallGate gate_;
  std::string programFolder_;
  std::string imagePath_;
  std::string modelText_;
  std::string shownWarning_;   // the image warning the status line shows, if any
  bool openAvailable_ = true;  // false while a download runs
  bool logoAttempted_ = false;
  bool logoScheduled_ = false;
  std::unique_ptr<DownloadJob> job_;  // last member: destroyed first
};

// "/a/b/../c.zfr" -> "/a/c.zfr"; a relative path is taken from the current folder. UTF-8 in and
// out.
std::string AbsoluteUtf8Path(const std::string& utf8);

}  // namespace tarvex
