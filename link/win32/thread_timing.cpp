#include "link/thread_timing.h"

namespace tarvex {

void UseFinestTimerSlack() {}

}  // namespace tarvex
