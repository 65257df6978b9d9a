#include "gui/timer_clock.h"

#include <chrono>
#include <type_traits>

namespace gui {

namespace {

template <typename Clock>
class ChronoMilliseconds : public TimerClock {
 public:
  uint64_t now() const override {
    const auto since = Clock::now().time_since_epoch();
    return static_cast<uint64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
  }
};

}  // namespace

const TimerClock& systemMillisecondClock() {
  static const ChronoMilliseconds<std::chrono::steady_clock> clock;
  return clock;
}

const TimerClock& highResolutionClock() {
  // high_resolution_clock may follow the wall clock; a timer must never run backwards.
  using Clock = std::conditional_t<std::chrono::high_resolution_clock::is_steady,
                                   std::chrono::high_resolution_clock, std::chrono::steady_clock>;
  static const ChronoMilliseconds<Clock> clock;
  return clock;
}

LoopPassCounter& eventLoopPasses() {
  static LoopPassCounter counter;
  return counter;
}

}  // namespace gui
