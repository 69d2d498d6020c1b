#include "app/win32/ctarvex_app.h"

#include <windows.h>
//
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include <utility>

#include "app/win32/ctarvex_dlg.h"

namespace tarvex {

CtarvexApp::CtarvexApp() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) {
    return;
  }
  for (int i = 1; i + 1 < count; ++i) {
    if (std::wstring(arguments[i]) == L"--screenshot") {
      screenshotPath_ = arguments[i + 1];
    }
  }
  LocalFree(arguments);
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
    CtarvexDlg dialog(std::move(seams));
    dialog.DoModal();
  }
  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  return 0;
}

}  // namespace tarvex
