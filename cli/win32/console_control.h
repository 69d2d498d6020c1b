// The console control handler behind InterruptSignals on Windows, declared for its tests.
#pragma once

#include <windows.h>

namespace tarvex::cli {

// How long a console being closed is held for the jobs to stop and the ports to close. Windows
// ends the process by itself about 5 s after the close.
inline constexpr DWORD CLOSE_HOLD_MS = 4500;

// Ctrl-C, Ctrl-Break, closing the console and shutdown all ask the session to stop. After the
// last two Windows ends the process as soon as the handler returns, so it holds the process until
// no InterruptSignals is left (every job stopped, every port closed), at most CLOSE_HOLD_MS.
// Other events are left to the next handler (FALSE).
BOOL WINAPI OnConsoleControl(DWORD event);

}  // namespace tarvex::cli
