// Ids of the window's controls, shared by the dialog template, both dialogs and the window's
// logic.
#pragma once

namespace tarvex {

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

}  // namespace tarvex
