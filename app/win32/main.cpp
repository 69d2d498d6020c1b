// tarvex: the desktop tool on Windows.
#include <windows.h>

#include "app/win32/ctarvex_app.h"

int WINAPI WinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
  tarvex::CtarvexApp app;
  return app.InitInstance();
}
