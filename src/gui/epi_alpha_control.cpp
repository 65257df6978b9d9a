#include "gui/epi_alpha_control.h"

namespace gui {

epiAlphaControl::epiAlphaControl(const ControlResource& resource, cairo_surface_t* picture)
    : resource_(resource), picture_(picture) {}

Rect epiAlphaControl::bounds() const {
  return {resource_.x, resource_.y, resource_.width, resource_.height};
}

void epiAlphaControl::setVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  markDirty();
}

void epiAlphaControl::setValue(int16_t value) {
  if (value == value_) return;
  value_ = value;
  markDirty();
}

void epiAlphaControl::glideTo(int16_t value, uint64_t, bool) {
  setValue(value);
}

bool epiAlphaControl::setProperty(uint32_t, int32_t, int32_t) {
  return false;
}

bool epiAlphaControl::listCommand(int32_t, int32_t) {
  return false;
}

bool epiAlphaControl::setText(const std::string&) {
  return false;
}

ControlReport epiAlphaControl::press(int32_t, int32_t, uint32_t) {
  pressedInside_ = true;
  return {};
}

ControlReport epiAlphaControl::move(int32_t, int32_t, uint32_t) {
  return {};
}

ControlReport epiAlphaControl::release(int32_t x, int32_t y) {
  const bool click = pressedInside_ && bounds().contains(x, y);
  pressedInside_ = false;
  return {.changed = false, .pressed = click};
}

bool epiAlphaControl::takeDirty() {
  const bool dirty = dirty_;
  dirty_ = false;
  return dirty;
}

void epiAlphaControl::paintFrame(cairo_t* cr, int32_t frame, int32_t x, int32_t y) const {
  if (!picture_ || frame < 0 || frame >= resource_.frames) return;
  cairo_save(cr);
  cairo_rectangle(cr, x, y, resource_.width, resource_.height);
  cairo_clip(cr);
  cairo_set_source_surface(cr, picture_, x, y - double(frame) * resource_.height);
  cairo_paint(cr);
  cairo_restore(cr);
}

}  // namespace gui
