#include "platform/thread_timing.h"

namespace tarvex {

void UseFinestTimerSlack() {}

}  // namespace tarvex
