#include "gui/control_glide.h"

#include <algorithm>
#include <cstdlib>

namespace gui {

uint32_t ControlGlide::glideTime(int32_t from, int32_t to, bool fast, int32_t customMs) {
  if (customMs > 0) return static_cast<uint32_t>(customMs);
  if (fast) return 25;
  return std::abs(int64_t(to) - from) > kLargestStep ? 125 : 50;
}

void ControlGlide::start(int32_t from, int32_t to, uint32_t glideMs, uint64_t nowMs) {
  from_ = position_ = from;
  to_ = to;
  glideMs_ = glideMs > 0 ? glideMs : 1;
  startMs_ = lastTickMs_ = nowMs;
  postponed_ = false;
  active_ = from != to;
  if (!active_) position_ = to;
}

int32_t ControlGlide::tick(uint64_t nowMs) {
  if (!active_) return position_;
  // A clock that went backwards counts as no time at all.
  const uint64_t gap = nowMs > lastTickMs_ ? nowMs - lastTickMs_ : 0;
  lastTickMs_ = std::max(lastTickMs_, nowMs);
  const uint64_t start = startMs_ + (gap > kPauseMs ? kPauseMs : 0);
  const uint64_t elapsed = nowMs > start ? nowMs - start : 0;
  int32_t next = to_;
  if (elapsed < glideMs_) {
    next = static_cast<int32_t>(from_ + (int64_t(to_) - from_) * int64_t(elapsed) / glideMs_);
  }
  if (next != to_ && std::abs(int64_t(next) - position_) > kLargestStep && !postponed_) {
    startMs_ += gap;
    postponed_ = true;
    return position_;
  }
  startMs_ = start;
  postponed_ = false;
  position_ = next;
  active_ = next != to_;
  return position_;
}

}  // namespace gui
