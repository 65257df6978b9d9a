#include "gui/epi_alpha_control_rotary.h"

#include <algorithm>
#include <limits>

#include "platform/native_window.h"

namespace gui {

namespace {

int16_t toValue(int64_t value, int32_t minimum, int32_t maximum) {
  return static_cast<int16_t>(std::clamp<int64_t>(value, minimum, maximum));
}

}  // namespace

bool epiAlphaControl_rotary::fitsValue(int32_t value) {
  return value >= std::numeric_limits<int16_t>::min() &&
         value <= std::numeric_limits<int16_t>::max();
}

int32_t epiAlphaControl_rotary::minimum() const {
  return rangeMin_.value_or(0);
}

int32_t epiAlphaControl_rotary::maximum() const {
  return rangeMax_.value_or(resource_.frames - 1);
}

int32_t epiAlphaControl_rotary::frameAt(int32_t position) const {
  const int32_t last = resource_.frames - 1;
  if (!rangeMin_) return std::clamp(position, 0, last);
  const int64_t frame =
      (int64_t(position) - *rangeMin_) * resource_.frames / (int64_t(*rangeMax_) - *rangeMin_);
  return static_cast<int32_t>(std::clamp<int64_t>(frame, 0, last));
}

int32_t epiAlphaControl_rotary::dragValue(int32_t dy) const {
  if (!rangeMin_) return gesture_.startValue - dy / dragPixels_;
  const int64_t step = gesture_.fine ? fineStep_ : coarseStep_;
  return static_cast<int32_t>(std::clamp<int64_t>(gesture_.startValue - int64_t(dy) * step,
                                                  std::numeric_limits<int16_t>::min(),
                                                  std::numeric_limits<int16_t>::max()));
}

uint32_t epiAlphaControl_rotary::defaultModifier() const {
  return platform::kAlt;
}

void epiAlphaControl_rotary::show(int32_t position) {
  if (frameAt(position) != frameAt(shown_)) markDirty();
  shown_ = position;
}

void epiAlphaControl_rotary::setValue(int16_t value) {
  glide_.stop();
  epiAlphaControl::setValue(toValue(value, minimum(), maximum()));
  show(positionOf(value_));
}

void epiAlphaControl_rotary::glideTo(int16_t value, uint64_t nowMs, bool fast) {
  const int16_t target = toValue(value, minimum(), maximum());
  const int32_t to = positionOf(target);
  value_ = target;
  if (glide_.active() ? glide_.target() == to : shown_ == to) return;
  glide_.start(shown_, to, ControlGlide::glideTime(shown_, to, fast, glideMs_), nowMs);
}

void epiAlphaControl_rotary::tick(uint64_t nowMs) {
  if (glide_.active()) show(glide_.tick(nowMs));
}

void epiAlphaControl_rotary::finishGlide() {
  if (!glide_.active()) return;
  glide_.stop();
  show(positionOf(value_));
}

bool epiAlphaControl_rotary::setProperty(uint32_t code, int32_t a, int32_t b) {
  if (code == kPropertyDefault || code == kPropertyDefault2) {
    if (!fitsValue(a)) return false;
    default_ = static_cast<int16_t>(a);
    return true;
  }
  if (code == kPropertyDragPixels) {
    // No step size of zero or less: the drag divides by it.
    if (a < 1) return false;
    dragPixels_ = a;
    return true;
  }
  if (code == kPropertyRange) {
    // The frame of a value divides by the range's width.
    if (a >= b || !fitsValue(a) || !fitsValue(b)) return false;
    rangeMin_ = a;
    rangeMax_ = b;
    setValue(value_);
    return true;
  }
  if (code == kPropertyStep) {
    if (a < 1 || b < 1) return false;
    coarseStep_ = a;
    fineStep_ = b;
    return true;
  }
  if (code == kPropertyGlide) {
    glideMs_ = std::max(a, 0);
    return true;
  }
  return false;
}

ControlReport epiAlphaControl_rotary::press(int32_t, int32_t y, uint32_t modifiers) {
  gesture_ = {.active = true,
              .toDefault = default_ && (modifiers & defaultModifier()) != 0,
              .fine = rangeMin_ && (modifiers & platform::kControl) != 0,
              .over = false,
              .startY = y,
              .lastY = y,
              .startValue = value_};
  return {};
}

ControlReport epiAlphaControl_rotary::move(int32_t, int32_t y, uint32_t) {
  if (!gesture_.active || gesture_.over || y == gesture_.lastY) return {};
  gesture_.lastY = y;
  int32_t wanted = 0;
  if (gesture_.toDefault) {
    wanted = *default_;
    gesture_.over = true;
  } else {
    wanted = dragValue(y - gesture_.startY);
  }
  const int16_t value = toValue(wanted, minimum(), maximum());
  if (value == value_) return {};
  setValue(value);
  return {.changed = true, .pressed = false};
}

ControlReport epiAlphaControl_rotary::release(int32_t, int32_t) {
  if (!gesture_.active) return {};
  gesture_.active = false;
  return {.changed = false, .pressed = true};
}

void epiAlphaControl_rotary::draw(cairo_t* cr) const {
  paintFrame(cr, shownFrame(), resource_.x, resource_.y);
}

ControlReport epiAlphaControl_meter::press(int32_t x, int32_t y, uint32_t modifiers) {
  return epiAlphaControl::press(x, y, modifiers);
}

ControlReport epiAlphaControl_meter::move(int32_t x, int32_t y, uint32_t modifiers) {
  return epiAlphaControl::move(x, y, modifiers);
}

ControlReport epiAlphaControl_meter::release(int32_t x, int32_t y) {
  return epiAlphaControl::release(x, y);
}

}  // namespace gui
