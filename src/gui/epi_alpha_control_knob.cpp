#include "gui/epi_alpha_control_knob.h"

#include <algorithm>

#include "platform/native_window.h"

namespace gui {

bool epiAlphaControl_knob::listCommand(int32_t command, int32_t argument) {
  switch (command) {
    case kListCount: {
      if (argument < 0 || argument > kMaxEntries) return false;
      entries_.assign(static_cast<size_t>(argument), Entry{});
      for (size_t i = 0; i < entries_.size(); ++i)
        entries_[i].value = static_cast<int16_t>(i);
      filling_ = 0;
      return true;
    }
    case kListValue:
      if (filling_ >= entries_.size() || !fitsValue(argument)) return false;
      entries_[filling_].value = static_cast<int16_t>(argument);
      return true;
    case kListPosition:
      if (filling_ >= entries_.size() || !fitsValue(argument)) return false;
      entries_[filling_].position = static_cast<int16_t>(argument);
      if (++filling_ == entries_.size()) setValue(0);
      return true;
    default:
      return false;
  }
}

int32_t epiAlphaControl_knob::minimum() const {
  return entries_.empty() ? epiAlphaControl_rotary::minimum() : 0;
}

int32_t epiAlphaControl_knob::maximum() const {
  return entries_.empty() ? epiAlphaControl_rotary::maximum()
                          : static_cast<int32_t>(entries_.size()) - 1;
}

int32_t epiAlphaControl_knob::positionOf(int32_t value) const {
  if (entries_.empty()) return epiAlphaControl_rotary::positionOf(value);
  return entries_[static_cast<size_t>(std::clamp(value, minimum(), maximum()))].position;
}

int32_t epiAlphaControl_knob::frameAt(int32_t position) const {
  if (entries_.empty()) return epiAlphaControl_rotary::frameAt(position);
  return std::clamp(position, 0, resource_.frames - 1);
}

int32_t epiAlphaControl_knob::dragValue(int32_t dy) const {
  if (entries_.empty()) return epiAlphaControl_rotary::dragValue(dy);
  return gesture_.startValue - dy / kPixelsPerEntry;
}

uint32_t epiAlphaControl_knob::defaultModifier() const {
  return entries_.empty() ? epiAlphaControl_rotary::defaultModifier() : platform::kControl;
}

}  // namespace gui
