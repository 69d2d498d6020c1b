#include "app/win32/ctarvex_app.h"

#include <windows.h>
//
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <string>
#include <utility>
#include <vector>

#include "app/win32/ctarvex_dlg.h"
#include "platform/wide_text.h"
#include "ui/window_arguments.h"

namespace tarvex {

CtarvexApp::CtarvexApp() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) {
    return;
  }
  std::vector<std::string> utf8;
  for (int i = 1; i < count; ++i) {
    utf8.push_back(win32::ToUtf8(arguments[i]));
  }
  LocalFree(arguments);
  const WindowArguments parsed = ParseWindowArguments(utf8);
  imagePath_ = parsed.image;
  screenshotPath_ = win32::ToWide(parsed.screenshot);
}

int CtarvexApp::InitInstance() {
  // The progress bar's window class lives in the common controls.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The open-file dialog hosts shell components, which want a single-threaded apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    DialogSeams seams;
    seams.screenshotPath = screenshotPath_;
    seams.openAtStart = imagePath_;
    CtarvexDlg dialog(std::move(seams));
    dialog.DoModal();
  }
  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  return 0;
}

}  // namespace tarvex
