#include "gui/epi_alpha_control_led_meter.h"

#include <algorithm>

namespace gui {

int32_t epiAlphaControl_ledMeter::extent() const {
  return std::max(resource_.ledCount - 1, 0) * resource_.ledPitch;
}

Rect epiAlphaControl_ledMeter::bounds() const {
  return {resource_.x, resource_.y, resource_.width, extent() + resource_.height};
}

int32_t epiAlphaControl_ledMeter::ledY(int32_t led) const {
  return resource_.y + (resource_.ledCount - 1 - led) * resource_.ledPitch;
}

void epiAlphaControl_ledMeter::setValue(int16_t value) {
  const int32_t largest = std::max(largestValue(), 0);
  epiAlphaControl::setValue(static_cast<int16_t>(std::clamp<int32_t>(value, 0, largest)));
}

void epiAlphaControl_ledMeter::draw(cairo_t* cr) const {
  const int32_t lit = litCount();
  for (int32_t led = 0; led < resource_.ledCount; ++led) {
    const bool on = led < lit;
    // One frame: the strip holds the lit LED only.
    const int32_t frame = resource_.frames >= 2 ? (on ? 1 : 0) : (on ? 0 : -1);
    paintFrame(cr, frame, ledX(led), ledY(led));
  }
}

Rect epiAlphaControl_segmentMeter::bounds() const {
  return {resource_.x, resource_.y, extent() + resource_.width, resource_.height};
}

int32_t epiAlphaControl_segmentMeter::ledX(int32_t led) const {
  return resource_.x + led * resource_.ledPitch;
}

}  // namespace gui
