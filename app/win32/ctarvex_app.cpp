#include "app/win32/ctarvex_app.h"

#include <windows.h>
//
#include <commctrl.h>
#include <objbase.h>

#include "app/win32/ctarvex_dlg.h"

namespace tarvex {

int CtarvexApp::InitInstance() {
  // The progress bar's window class lives in the common controls.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The open-file dialog hosts shell components, which want a single-threaded apartment.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    CtarvexDlg dialog;
    dialog.DoModal();
  }
  if (SUCCEEDED(com)) {
    CoUninitialize();
  }
  return 0;
}

}  // namespace tarvex
