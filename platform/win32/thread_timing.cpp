#include "platform/thread_timing.h"

#include <windows.h>

namespace tarvex {

void UseFinestTimerSlack() {}

void RaisePacingPriority() {
  SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_HIGHEST);
}

}  // namespace tarvex
