// How precisely the calling thread's timed waits end.
#pragma once

namespace tarvex {

// Makes the calling thread's timed waits end as close to their deadline as the system allows:
// on Linux the timer slack (50 us by default, which the kernel may add to every wake-up to group
// them) drops to its minimum. Windows needs nothing: its waits sleep on a high-resolution timer.
void UseFinestTimerSlack();

}  // namespace tarvex
