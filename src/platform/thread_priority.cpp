#include "platform/thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace platform {

bool setTimeCriticalPriority(std::thread& thread) {
  if (!thread.joinable()) return false;
  sched_param param{};
  // High enough to run ahead of ordinary work, below the kernel's own interrupt threads (50).
  param.sched_priority = 40;
  const int highest = sched_get_priority_max(SCHED_FIFO);
  if (highest >= 0 && param.sched_priority > highest) param.sched_priority = highest;
  return pthread_setschedparam(thread.native_handle(), SCHED_FIFO, &param) == 0;
}

}  // namespace platform
