#pragma once

#include <cstdint>

namespace gui {

// Moves a shown position (a value or a frame) from where it is to a target over a glide time on
// a millisecond clock, recomputed at every panel tick:
//   position = start + difference × elapsed / glide time (truncated), ending on the target.
// A pause of more than 125 ms between ticks shifts the start by 125 ms so the glide does not
// leap; a step of more than 20 that does not land on the target is postponed by the time since
// the last tick. Only one tick in a row is postponed: ticks that are always slower than the
// glide's pace would otherwise hold it still for ever.
class ControlGlide {
 public:
  static constexpr uint64_t kPauseMs = 125;
  static constexpr int32_t kLargestStep = 20;

  // The glide time: `customMs` when set (> 0), else 25 ms for a fast glide, else 125 ms for a
  // jump of more than 20, else 50 ms.
  static uint32_t glideTime(int32_t from, int32_t to, bool fast, int32_t customMs);

  void start(int32_t from, int32_t to, uint32_t glideMs, uint64_t nowMs);
  // The shown position at `nowMs`.
  int32_t tick(uint64_t nowMs);
  void stop() { active_ = false; }
  bool active() const { return active_; }
  int32_t target() const { return to_; }
  int32_t position() const { return position_; }

 private:
  int32_t from_ = 0, to_ = 0, position_ = 0;
  uint32_t glideMs_ = 1;
  uint64_t startMs_ = 0, lastTickMs_ = 0;
  bool active_ = false;
  bool postponed_ = false;
};

}  // namespace gui
