// A download or test job on one port: starts and stops runs of the download's plan, each on its
// own pacing worker. Self-contained: several jobs on several ports may run in one process.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "engine/job_view.h"
#include "image/image_loader.h"
#include "link/port_backend.h"
#include "platform/os_error.h"
#include "protocol/download_state.h"
#include "protocol/image_source.h"
#include "protocol/job_outcome.h"
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
  // Stops a running job without telling the view (it is going away) and joins every pacing
  // worker. Whoever serves the view's waiting calls must still serve them, or have made them
  // return at once, while this runs.
  ~DownloadJob();
  DownloadJob(const DownloadJob&) = delete;
  DownloadJob& operator=(const DownloadJob&) = delete;

  // The Open command's result. A running download keeps the copy it took when it started.
  void SetImage(const FirmwareImage& image);
  bool HasImage() const;

  // Starts a download of the image on `portName`; nothing happens while a job runs or without an
  // image. A port that does not open is told to the view ("Open CommPort Fail").
  void Start(const std::string& portName);
  // Sends the test code; nothing happens while a job runs.
  void StartTest(const std::string& portName);
  // Stops the running job: returns with the port closed and no watcher running, without waiting
  // for the pacing worker. Nothing when idle.
  void Cancel();
  // Joins every pacing worker this job started. Never call it from the thread that serves the
  // view's waiting calls while a worker may still be making them.
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
