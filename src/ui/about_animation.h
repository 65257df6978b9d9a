#pragma once

#include <cstdint>
#include <random>

#include "gui/epi_timer.h"

namespace gui {
class epiAlphaPanel;
}

namespace ui {

// The about panel's motion while it is shown: every 120 ticks (of 1/60 s) its six needles get
// new random values 0..63, which they glide to slowly; every 4 ticks the credits scroll up one
// pixel, starting over after 480.
class AboutAnimation {
 public:
  static constexpr uint32_t kScrollTicks = 4;
  static constexpr uint32_t kNeedleTicks = 120;
  static constexpr int32_t kScrollEnd = 480;
  static constexpr int32_t kFirstNeedle = 1, kLastNeedle = 6;
  static constexpr int32_t kNeedleTop = 63;
  static constexpr int32_t kCredits = 7;

  // `milliseconds` drives the timers; it must outlive the animation.
  explicit AboutAnimation(const gui::TimerClock& milliseconds);

  // The credits from the top; the timers count from now.
  void start();
  void stop();
  // Moves what is due on `about`.
  void tick(gui::epiAlphaPanel& about);
  int32_t scroll() const { return scroll_; }

 private:
  gui::epiTimer scrollTimer_;
  gui::epiTimer needleTimer_;
  int32_t scroll_ = 0;
  std::minstd_rand random_;
};

}  // namespace ui
