#pragma once

#include <cstdint>
#include <optional>

namespace ui {

// The input level LED (four steps) as the meter tick drives it: it rises to a louder step at
// once and falls one step per kHoldTicks quiet ticks (0.8 s at the 40 ms tick), so a peak stays
// readable.
class LevelLed {
 public:
  static constexpr int32_t kHoldTicks = 20;

  // The input peak in dB since the last tick; the step to show when it changed.
  std::optional<int32_t> tick(double peakDb);
  int32_t step() const { return step_; }

  // 3 above -1 dB, 2 above -12 dB, 1 above -30 dB, else 0.
  static int32_t stepFor(double peakDb);

 private:
  int32_t step_ = 0;
  int32_t hold_ = kHoldTicks;
};

}  // namespace ui
