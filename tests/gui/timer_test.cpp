#include "gui/epi_timer.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

#include "panel_test_support.h"

namespace {

using testsupport::ManualClock;

struct TimerKind {
  const char* name;
  std::function<std::unique_ptr<gui::epiTimerBase>(const ManualClock&)> make;
  std::function<uint64_t(uint64_t)> clockAt;  // the clock reading where the timer counts `units`
};

TEST(Timers, FireWhenTheirPeriodHasElapsedSinceTheyLastFired) {
  const TimerKind kinds[] = {
      {"epiTimer: 1/60-s ticks of the millisecond count",
       [](const ManualClock& clock) { return std::make_unique<gui::epiTimer>(clock); },
       [](uint64_t ticks) { return (ticks * 1000 + 59) / 60; }},
      {"epiEventTimer: loop passes",
       [](const ManualClock& clock) { return std::make_unique<gui::epiEventTimer>(clock); },
       [](uint64_t passes) { return passes; }},
      {"epiMillisecsTimer: milliseconds",
       [](const ManualClock& clock) { return std::make_unique<gui::epiMillisecsTimer>(clock); },
       [](uint64_t ms) { return ms; }},
  };
  // (units, fires?) with a period of 4 set at unit 100.
  const std::pair<uint64_t, bool> steps[] = {
      {103, false},
      {104, true},
      {104, false},
      {107, false},
      {108, true},
      // A late poll fires once, and the next period counts from it, not from the schedule.
      {125, true},
      {128, false},
      {129, true}};
  for (const auto& kind : kinds) {
    SCOPED_TRACE(kind.name);
    ManualClock clock;
    auto timer = kind.make(clock);
    clock.set(kind.clockAt(100));
    EXPECT_FALSE(timer->fired());  // off until a period is set
    timer->setPeriod(4);
    for (const auto& [units, fires] : steps) {
      clock.set(kind.clockAt(units));
      EXPECT_EQ(timer->fired(), fires) << "at " << units;
    }
    clock.set(kind.clockAt(200));
    timer->stop();
    EXPECT_FALSE(timer->fired());
  }
}

TEST(Timers, TicksAreSixtiethsOfASecondAndPassesComeFromTheLoop) {
  ManualClock clock;
  gui::epiTimer ticks(clock);
  ticks.setPeriod(4);  // 66.7 ms
  clock.set(66);
  EXPECT_FALSE(ticks.fired());
  clock.set(67);
  EXPECT_TRUE(ticks.fired());

  gui::epiEventTimer blink;
  blink.setPeriod(2);
  gui::eventLoopPasses().pass();
  EXPECT_FALSE(blink.fired());
  gui::eventLoopPasses().pass();
  EXPECT_TRUE(blink.fired());
}

}  // namespace
