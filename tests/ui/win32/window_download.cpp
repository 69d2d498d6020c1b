// tarvex_window_download PORT IMAGE TIME_SCALE
//
// Drives the Windows dialog as a user would, for the end-to-end test under Wine: Open (IMAGE,
// through a scripted prompter), the port typed into the port list, Download; then waits, serving
// the window's messages, until the status label says how the download ended. Exit status 0 when
// it says "Download Complete!", 1 otherwise.
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

namespace {

constexpr auto LIMIT = std::chrono::minutes(3);

std::string StatusText(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(GetDlgItem(window, IDC_STATIC), text, 256);
  return tarvex::win32::ToUtf8(text);
}

bool Ended(const std::string& status) {
  for (const char* end : {tarvex::TEXT_COMPLETE, tarvex::TEXT_OPEN_FAIL, tarvex::TEXT_WRITE_FAIL,
                          tarvex::TEXT_FILE_ERROR, tarvex::TEXT_THREAD_FAIL}) {
    if (status == end) {
      return true;
    }
  }
  return false;
}

// Serves the window's messages until the download has ended or the limit has passed.
std::string WaitForEnd(HWND window) {
  const auto until = std::chrono::steady_clock::now() + LIMIT;
  std::string status;
  while (std::chrono::steady_clock::now() < until) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (!IsDialogMessageW(window, &message)) {
        TranslateMessage(&message);
        DispatchMessageW(&message);
      }
    }
    status = StatusText(window);
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
  prompter.openAnswers.push_back({argv[2]});
  tarvex::DialogSeams seams;
  seams.prompter = &prompter;
  seams.jobOptions.timeScale = std::atof(argv[3]);
  tarvex::CtarvexDlg dialog(std::move(seams));
  HWND window = dialog.Create();
  if (window == nullptr) {
    std::fprintf(stderr, "the dialog did not come up (error %lu)\n", GetLastError());
    return 1;
  }
  dialog.OnOpenImage();
  SetWindowTextW(GetDlgItem(window, IDC_PORT_LIST), tarvex::win32::ToWide(argv[1]).c_str());
  SendMessageW(window, WM_COMMAND, MAKEWPARAM(IDC_DOWNLOAD, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(window, IDC_DOWNLOAD)));
  const std::string status = WaitForEnd(window);
  std::printf("status: %s\n", status.c_str());
  for (const std::string& message : prompter.messages) {
    std::printf("message: %s\n", message.c_str());
  }
  return status == tarvex::TEXT_COMPLETE ? 0 : 1;
}
