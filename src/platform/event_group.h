#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

namespace platform {

// A few auto-reset events that one thread waits on together: a streaming thread waits for "half
// 0 done", "half 1 done" or "stopped". A signalled event stays signalled until one wait takes
// it; when several are signalled the lowest index is taken first.
class EventGroup {
 public:
  static constexpr int kMaxEvents = 8;
  static constexpr int kTimeout = -1;

  explicit EventGroup(int count) : count_(count < kMaxEvents ? count : kMaxEvents) {}
  EventGroup(const EventGroup&) = delete;
  EventGroup& operator=(const EventGroup&) = delete;

  int count() const { return count_; }
  // Thread: any.
  void signal(int index);
  // Thread: the waiting thread. The index taken, or kTimeout.
  int wait(std::chrono::milliseconds timeout);
  // Thread: any, while nobody waits. Leaves every event unsignalled.
  void reset();

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  uint32_t signalled_ = 0;
  int count_;
};

}  // namespace platform
