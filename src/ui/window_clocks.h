#pragma once

#include "gui/timer_clock.h"

namespace ui {

// The clocks a main window runs on; tests hand in their own so that nothing waits. All must
// outlive the window.
struct WindowClocks {
  // Glides and the 1/60-second timers: the system millisecond count.
  const gui::TimerClock* milliseconds = &gui::systemMillisecondClock();
  // The meter timer: the high-resolution millisecond counter.
  const gui::TimerClock* meter = &gui::highResolutionClock();
  // The blink timer: passes of the event loop.
  const gui::TimerClock* passes = &gui::eventLoopPasses();
};

}  // namespace ui
