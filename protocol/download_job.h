// A download or test job on one port: the sequencer, the pacing worker and the controls that
// start and stop them. Self-contained: several jobs on several ports may run in one process.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "image/image_loader.h"
#include "link/line_settings.h"
#include "link/port_backend.h"
#include "platform/os_error.h"
#include "protocol/download_state.h"
#include "protocol/image_source.h"
#include "protocol/job_outcome.h"
#include "protocol/job_view.h"
#include "protocol/trace_event.h"

namespace tarvex {

struct JobOptions {
  double timeScale = 1.0;  // multiplies every pacing wait; tests compress time with it
  TraceSink trace;         // optional; called on the pacing worker, once per frame written
  // Starts the pacing worker; empty means std::thread. Throwing std::system_error stands for a
  // system that cannot create another thread ("Thread Fail").
  std::function<std::thread(std::function<void()>)> startThread;
  // Where downloads take the image's bytes from. Empty: each download takes its own snapshot of
  // the image at its path. Several jobs that download one image at once share one.
  std::shared_ptr<const ImageSource> imageSource;
};

class DownloadJob {
 public:
  DownloadJob(JobView& view, std::unique_ptr<PortBackend> backend, JobOptions options = {});
  // Stops a running job (without the control changes: the window is going away) and joins
  // every pacing worker. Whoever serves the view's calls must still serve them, or have made
  // them return at once, while this runs.
  ~DownloadJob();
  DownloadJob(const DownloadJob&) = delete;
  DownloadJob& operator=(const DownloadJob&) = delete;

  // The Open command's result. A running download keeps the copy it took when it started.
  void SetImage(const FirmwareImage& image);
  bool HasImage() const;

  // Download / Cancel button: starts a download when idle (nothing happens without an image);
  // otherwise asks "STOP?" and cancels on OK.
  void OnBnClickedDownload(const std::string& portName);
  // Test button: sends the test code when idle; does nothing while a job runs.
  void OnBnClickedTest(const std::string& portName);

  // The cancel path without the question (window closed, Ctrl-C). Returns with the port closed
  // and no watcher running; does not wait for the pacing worker. Nothing when idle.
  void Stop();
  // Joins every pacing worker this job started. Never call it from the thread that serves view
  // calls while a worker may still be making them.
  void WaitForWorker();

  bool IsRunning() const;       // a download or test holds the port (from start to its wind-up)
  bool IsBusy() const;          // a pacing worker exists that has not ended
  JobOutcome Outcome() const;   // None while a job runs
  OsError LastOsError() const;  // why the last open or write failed
  // What the system's fixed text of the last failure leaves out (e.g. how the image file
  // changed); empty when there is nothing to add.
  std::string FailureDetail() const;
  DownloadState State() const;  // of the current or last download

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace tarvex
