#include "platform/thread_timing.h"

#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>

namespace tarvex {

void UseFinestTimerSlack() {
  // 1 ns is the least: 0 would restore the default. A refusal leaves the default slack.
  prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL);
}

void RaisePacingPriority() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  // Refused without the privilege (no CAP_SYS_NICE, no RLIMIT_RTPRIO): the thread stays as it is.
  pthread_setschedparam(pthread_self(), SCHED_FIFO, &param);
}

}  // namespace tarvex
