// How a download or test job ended.
#pragma once

namespace tarvex {

enum class JobOutcome {
  None,          // nothing has run yet, or a job is still running
  Completed,     // "Download Complete!"
  TestSent,      // "Send Test Code !"
  Cancelled,     // stopped by the user (STOP? answered OK, Ctrl-C, window closed)
  OpenFailed,    // a port could not be opened ("Open CommPort Fail")
  ThreadFailed,  // the pacing worker could not be started ("Thread Fail")
  WriteFailed,   // a frame did not go out whole ("Write CommPort Fail")
  FileChanged,   // the image on disk no longer matches the one checked at Open ("文件出错")
};

}  // namespace tarvex
