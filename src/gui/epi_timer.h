#pragma once

#include <cstdint>

#include "gui/timer_clock.h"

namespace gui {

// The framework's timers. A timer is off until a period is set; once set, it fires when its
// period has elapsed since it last fired (or since the period was set). The owner polls fired()
// from its idle work; each timer counts in its own unit.
class epiTimerBase {
 public:
  virtual ~epiTimerBase() = default;

  // Counts the period from now; 0 stops the timer.
  void setPeriod(uint32_t period);
  void stop() { setPeriod(0); }
  uint32_t period() const { return period_; }
  // True once per elapsed period; the next period counts from this call.
  bool fired();

 protected:
  explicit epiTimerBase(const TimerClock& clock) : clock_(clock) {}
  virtual uint64_t count() const = 0;  // now, in the timer's unit

  const TimerClock& clock_;

 private:
  uint32_t period_ = 0;
  uint64_t last_ = 0;
};

// 1/60-second ticks of the system millisecond count.
class epiTimer : public epiTimerBase {
 public:
  explicit epiTimer(const TimerClock& milliseconds = systemMillisecondClock())
      : epiTimerBase(milliseconds) {}

 protected:
  uint64_t count() const override { return clock_.now() * 60 / 1000; }
};

// Passes of the application's event loop.
class epiEventTimer : public epiTimerBase {
 public:
  explicit epiEventTimer(const TimerClock& passes = eventLoopPasses()) : epiTimerBase(passes) {}

 protected:
  uint64_t count() const override { return clock_.now(); }
};

// Milliseconds of the high-resolution counter.
class epiMillisecsTimer : public epiTimerBase {
 public:
  explicit epiMillisecsTimer(const TimerClock& milliseconds = highResolutionClock())
      : epiTimerBase(milliseconds) {}

 protected:
  uint64_t count() const override { return clock_.now(); }
};

}  // namespace gui
