// What a download or test job needs of its window. The dialog, the CLI and the tests implement
// it. A call made from a worker thread is carried out on the UI thread and returns when done.
#pragma once

#include <cstdint>
#include <string>

namespace tarvex {

// Ids of the window's controls that a job enables, disables or labels.
enum ControlId : int {
  ID_QUIT = 2,
  ID_TEST = 3,
  ID_DOWNLOAD = 1001,
  ID_PORT_LIST = 1002,
  ID_IMAGE_PATH = 1003,
  ID_OPEN = 1004,
  ID_PROGRESS = 1005,
  ID_MODEL = 1009,
  ID_HIDDEN_PICTURE = 1010,
  ID_LOGO = 1011,
  ID_STATUS = -1,
};

class JobView {
 public:
  virtual ~JobView() = default;

  virtual void SetStatusText(const std::string& utf8) = 0;
  virtual void SetProgressRange(std::uint32_t low, std::uint32_t high) = 0;
  virtual void SetProgressPos(std::uint32_t pos) = 0;
  virtual void EnableControl(int id, bool enable) = 0;
  virtual void SetDownloadText(const std::string& utf8) = 0;
  // Modal message with an OK button, owned by the window.
  virtual void ShowMessage(const std::string& utf8) = 0;
  // Modal question with OK and Cancel; true for OK.
  virtual bool AskOkCancel(const std::string& utf8) = 0;
  // Received bytes were seen on the port. Called from the receive watcher; must not block.
  virtual void NotifyReceived() = 0;
};

}  // namespace tarvex
