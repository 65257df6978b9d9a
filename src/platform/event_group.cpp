#include "platform/event_group.h"

#include <bit>

namespace platform {

void EventGroup::signal(int index) {
  if (index < 0 || index >= count_) return;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    signalled_ |= 1u << index;
  }
  changed_.notify_one();
}

int EventGroup::wait(std::chrono::milliseconds timeout) {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, timeout, [this] { return signalled_ != 0; })) return kTimeout;
  const int index = std::countr_zero(signalled_);
  signalled_ &= ~(1u << index);
  return index;
}

void EventGroup::reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  signalled_ = 0;
}

}  // namespace platform
