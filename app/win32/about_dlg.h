// The about box (template 100): icon, name and version, OK.
#pragma once

#include <windows.h>

namespace tarvex {

class CAboutDlg {
 public:
  // Runs the box modally over `owner`; OK and Escape end it.
  INT_PTR DoModal(HWND owner);

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
};

}  // namespace tarvex
