#include "gui/epi_timer.h"

namespace gui {

void epiTimerBase::setPeriod(uint32_t period) {
  period_ = period;
  last_ = count();
}

bool epiTimerBase::fired() {
  if (period_ == 0) return false;
  const uint64_t now = count();
  if (now - last_ < period_) return false;
  last_ = now;
  return true;
}

}  // namespace gui
