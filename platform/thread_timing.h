// How precisely the calling thread's timed waits end.
#pragma once

namespace tarvex {

// Makes the calling thread's timed waits end as close to their deadline as the system allows:
// on Linux the timer slack (50 us by default, which the kernel may add to every wake-up to group
// them) drops to its minimum. Windows needs nothing: its waits sleep on a high-resolution timer.
void UseFinestTimerSlack();

// Best effort: the calling thread (a pacing worker, asleep but for a write per step) runs ahead
// of ordinary threads, so that a busy window or another program does not make a step late. On
// Linux the lowest real-time priority where the process may use it (otherwise nothing changes);
// on Windows the highest normal thread priority.
void RaisePacingPriority();

}  // namespace tarvex
