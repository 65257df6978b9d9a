#include "gui/epi_push_button.h"

#include <utility>

#include "gui/epi_widget_look.h"

namespace gui {

epiPushButton::epiPushButton(int32_t number, const Rect& bounds, std::string text)
    : epiWidget(number, bounds), text_(std::move(text)) {}

void epiPushButton::setText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  markDirty();
}

void epiPushButton::setDefault(bool isDefault) {
  if (isDefault == default_) return;
  default_ = isDefault;
  markDirty();
}

void epiPushButton::setDown(bool down) {
  if (down == down_) return;
  down_ = down;
  markDirty();
}

void epiPushButton::draw(cairo_t* cr) const {
  const Rect& area = bounds();
  look::fill(cr, area, down_ ? look::kPressed : look::kField);
  look::outline(cr, area, look::kFrame);
  if (default_)
    look::outline(cr, {area.x + 1, area.y + 1, area.width - 2, area.height - 2}, look::kFrame);
  look::text(cr, text_, area, look::Align::kCentre, enabled() ? look::kText : look::kGreyText);
}

WidgetReport epiPushButton::press(int32_t, int32_t) {
  tracking_ = true;
  setDown(true);
  return {};
}

WidgetReport epiPushButton::move(int32_t x, int32_t y) {
  if (tracking_) setDown(bounds().contains(x, y));
  return {};
}

WidgetReport epiPushButton::release(int32_t x, int32_t y) {
  const bool clicked = tracking_ && bounds().contains(x, y);
  tracking_ = false;
  setDown(false);
  return {.pressed = clicked};
}

}  // namespace gui
