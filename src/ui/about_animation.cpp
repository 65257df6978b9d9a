#include "ui/about_animation.h"

#include "gui/epi_alpha_panel.h"

namespace ui {

AboutAnimation::AboutAnimation(const gui::TimerClock& milliseconds)
    : scrollTimer_(milliseconds), needleTimer_(milliseconds), random_(std::random_device{}()) {}

void AboutAnimation::start() {
  scroll_ = 0;
  scrollTimer_.setPeriod(kScrollTicks);
  needleTimer_.setPeriod(kNeedleTicks);
}

void AboutAnimation::stop() {
  scrollTimer_.stop();
  needleTimer_.stop();
}

void AboutAnimation::tick(gui::epiAlphaPanel& about) {
  if (needleTimer_.fired()) {
    std::uniform_int_distribution<int32_t> value(0, kNeedleTop);
    for (int32_t needle = kFirstNeedle; needle <= kLastNeedle; ++needle)
      about.setValue(needle, static_cast<int16_t>(value(random_)));
  }
  if (scrollTimer_.fired()) {
    about.setValue(kCredits, static_cast<int16_t>(scroll_));
    if (++scroll_ > kScrollEnd) scroll_ = 0;
  }
}

}  // namespace ui
