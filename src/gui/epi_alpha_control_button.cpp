#include "gui/epi_alpha_control_button.h"

namespace gui {

void epiAlphaControl_button::setHeld(bool held) {
  if (held == held_) return;
  held_ = held;
  markDirty();
}

ControlReport epiAlphaControl_button::press(int32_t, int32_t, uint32_t) {
  tracking_ = true;
  setHeld(true);
  return {};
}

ControlReport epiAlphaControl_button::move(int32_t x, int32_t y, uint32_t) {
  if (tracking_) setHeld(bounds().contains(x, y));
  return {};
}

ControlReport epiAlphaControl_button::release(int32_t x, int32_t y) {
  if (!tracking_) return {};
  tracking_ = false;
  setHeld(false);
  if (!bounds().contains(x, y)) return {};
  const int16_t value = clickedValue();
  const bool changed = value != value_;
  setValue(value);
  return {.changed = changed, .pressed = true};
}

void epiAlphaControl_button::draw(cairo_t* cr) const {
  paintFrame(cr, held_ && resource_.frames > 1 ? 1 : 0, resource_.x, resource_.y);
}

void epiAlphaControl_checkButton::draw(cairo_t* cr) const {
  paintFrame(cr, value_, resource_.x, resource_.y);
}

}  // namespace gui
