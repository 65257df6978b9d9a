#pragma once

#include <atomic>
#include <cstdint>

namespace gui {

// A monotonic count that timers and glides read: milliseconds, or passes of the event loop.
// Tests hand in their own clock so that nothing has to sleep.
class TimerClock {
 public:
  virtual ~TimerClock() = default;
  virtual uint64_t now() const = 0;
};

// The system's millisecond count (the tick count the 1/60-s timers and the glides use).
const TimerClock& systemMillisecondClock();
// Milliseconds from the high-resolution counter.
const TimerClock& highResolutionClock();

// Passes of the application's event loop; the loop calls pass() once per iteration. Shared by
// every engine of the process (plug-in instances pass on threads of their own).
class LoopPassCounter : public TimerClock {
 public:
  uint64_t now() const override { return passes_.load(std::memory_order_relaxed); }
  void pass() { passes_.fetch_add(1, std::memory_order_relaxed); }

 private:
  std::atomic<uint64_t> passes_{0};
};

LoopPassCounter& eventLoopPasses();

}  // namespace gui
