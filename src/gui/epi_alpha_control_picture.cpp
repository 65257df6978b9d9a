#include "gui/epi_alpha_control_picture.h"

#include <algorithm>

namespace gui {

void epiAlphaControl_picture::draw(cairo_t* cr) const {
  paintFrame(cr, value_, resource_.x, resource_.y);
}

void epiAlphaControl_scrollingText::setValue(int16_t value) {
  epiAlphaControl::setValue(std::max<int16_t>(value, 0));
}

void epiAlphaControl_scrollingText::draw(cairo_t* cr) const {
  if (!picture_) return;
  cairo_save(cr);
  cairo_rectangle(cr, resource_.x, resource_.y, resource_.width, resource_.height);
  cairo_clip(cr);
  cairo_set_source_surface(cr, picture_, resource_.x, resource_.y - double(value_));
  cairo_paint(cr);
  cairo_restore(cr);
}

}  // namespace gui
