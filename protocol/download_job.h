// A download or test job on one port: the sequencer, the pacing worker and the controls that
// start and stop them. Self-contained: several jobs on several ports may run in one process.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "image/image_loader.h"
#include "link/line_settings.h"
#include "link/os_error.h"
#include "link/port_backend.h"
#include "protocol/download_state.h"
#include "protocol/job_view.h"

namespace tarvex {

// How the last job ended.
enum class JobOutcome {
  None,          // nothing has run yet, or a job is still running
  Completed,     // "Download Complete!"
  TestSent,      // "Send Test Code !"
  Cancelled,     // stopped by the user (STOP? answered OK, Ctrl-C, window closed)
  OpenFailed,    // a port could not be opened ("Open CommPort Fail")
  ThreadFailed,  // the pacing worker could not be started ("Thread Fail")
  WriteFailed,   // a frame did not go out whole ("Write CommPort Fail")
  FileChanged,   // the image on disk no longer matches the one checked at Open ("文件出错")
  TooManySteps,  // the data phase would pass the last data state
};

// One record per frame written, for --trace.
struct TraceEvent {
  std::chrono::milliseconds sinceStart{0};
  DownloadState state = 0;
  std::string_view frame;  // "AnnounceFrame", ...
  std::uint32_t length = 0;
  LineSettings settings;
  std::uint32_t written = 0;
};

struct JobOptions {
  double timeScale = 1.0;  // multiplies every pacing wait; tests compress time with it
  std::function<void(const TraceEvent&)> trace;  // optional; called on the pacing worker
};

class DownloadJob {
 public:
  DownloadJob(JobView& view, std::unique_ptr<PortBackend> backend, JobOptions options = {});
  ~DownloadJob();  // stops a running job through the cancel path and joins its threads
  DownloadJob(const DownloadJob&) = delete;
  DownloadJob& operator=(const DownloadJob&) = delete;

  // The Open command's result. A running download keeps the copy it took when it started.
  void SetImage(const FirmwareImage& image);
  bool HasImage() const;

  // Download / Cancel button: starts a download when idle; otherwise asks "STOP?" and cancels.
  void OnBnClickedDownload(const std::string& portName);
  // Test button: sends the test code when idle; does nothing while a job runs.
  void OnBnClickedTest(const std::string& portName);

  // The cancel path without the question (window closed, Ctrl-C). Returns with the port closed
  // and no watcher running; does not wait for the pacing worker.
  void Stop();
  // Joins the pacing worker of the last job. Never call it from the thread that serves view
  // calls while a worker may still be making them.
  void WaitForWorker();

  bool IsRunning() const;  // a download or test holds the port
  bool IsBusy() const;     // a pacing worker exists that has not ended
  JobOutcome Outcome() const;
  OsError LastOsError() const;  // why the last open or write failed
  DownloadState State() const;
};

}  // namespace tarvex
