// tarvex_window_download PORT IMAGE TIME_SCALE
//
// Drives the Windows dialog as a user would, for the end-to-end test under Wine: IMAGE given as
// the program's argument (opened once the window is up), the port typed into the port list,
// Download; then waits, serving the window's messages, until the status label says how the
// download ended. Exit status 0 when it says "Download Complete!" and Open was unavailable
// whenever the button read "Cancel", 1 otherwise.
#include <windows.h>
//
#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/win32/ctarvex_dlg.h"
#include "app/win32/resource.h"
#include "platform/wide_text.h"
#include "protocol/texts.h"
#include "tests/ui/win32/scripted_prompter.h"
#include "ui/ui_texts.h"

namespace {

constexpr auto LIMIT = std::chrono::minutes(3);

bool Ended(const std::string& status) {
  for (const char* end : {tarvex::TEXT_COMPLETE, tarvex::TEXT_OPEN_FAIL, tarvex::TEXT_WRITE_FAIL,
                          tarvex::TEXT_FILE_ERROR, tarvex::TEXT_THREAD_FAIL}) {
    if (status == end) {
      return true;
    }
  }
  return false;
}

std::string ControlText(HWND window, int id) {
  wchar_t text[256] = {};
  GetWindowTextW(GetDlgItem(window, id), text, 256);
  return tarvex::win32::ToUtf8(text);
}

bool openWhileRunning = false;  // Open was available while the button read "Cancel"

void ServeMessages(HWND window) {
  MSG message;
  while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (!IsDialogMessageW(window, &message)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
}

// Serves the window's messages until the download has ended or the limit has passed.
std::string WaitForEnd(HWND window) {
  const auto until = std::chrono::steady_clock::now() + LIMIT;
  std::string status;
  while (std::chrono::steady_clock::now() < until) {
    ServeMessages(window);
    if (ControlText(window, IDC_DOWNLOAD) == tarvex::TEXT_CANCEL &&
        IsWindowEnabled(GetDlgItem(window, IDC_OPEN)) != FALSE) {
      openWhileRunning = true;
    }
    status = ControlText(window, IDC_STATIC);
    if (Ended(status)) {
      break;
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: tarvex_window_download PORT IMAGE TIME_SCALE\n");
    return 2;
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  tarvex::test::ScriptedPrompter prompter;
  tarvex::DialogSeams seams;
  seams.prompter = &prompter;
  seams.openAtStart = argv[2];
  seams.jobOptions.timeScale = std::atof(argv[3]);
  tarvex::CtarvexDlg dialog(std::move(seams));
  HWND window = dialog.Create();
  if (window == nullptr) {
    std::fprintf(stderr, "the dialog did not come up (error %lu)\n", GetLastError());
    return 1;
  }
  ServeMessages(window);  // the image given is opened once the window is up
  std::printf("image: %s\n", ControlText(window, IDC_IMAGE_PATH).c_str());
  SetWindowTextW(GetDlgItem(window, IDC_PORT_LIST), tarvex::win32::ToWide(argv[1]).c_str());
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_DOWNLOAD)));
  const std::string status = WaitForEnd(window);
  std::printf("status: %s\n", status.c_str());
  for (const std::string& message : prompter.messages) {
    std::printf("message: %s\n", message.c_str());
  }
  if (openWhileRunning) {
    std::printf("Open was available during the download\n");
  }
  return status == tarvex::TEXT_COMPLETE && !openWhileRunning ? 0 : 1;
}
