#include "ui/level_led.h"

namespace ui {

int32_t LevelLed::stepFor(double peakDb) {
  if (peakDb > -1.0) return 3;
  if (peakDb > -12.0) return 2;
  if (peakDb > -30.0) return 1;
  return 0;
}

std::optional<int32_t> LevelLed::tick(double peakDb) {
  const int32_t step = stepFor(peakDb);
  if (step < step_) {
    if (--hold_ > 0) return std::nullopt;
    hold_ = kHoldTicks;
    return --step_;
  }
  hold_ = kHoldTicks;
  if (step == step_) return std::nullopt;
  step_ = step;
  return step_;
}

}  // namespace ui
