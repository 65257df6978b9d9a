#include "gui/epi_label.h"

#include <utility>

namespace gui {

epiLabel::epiLabel(int32_t number, const Rect& bounds, std::string text, look::Align align)
    : epiWidget(number, bounds), text_(std::move(text)), align_(align) {}

void epiLabel::setText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  markDirty();
}

void epiLabel::draw(cairo_t* cr) const {
  look::text(cr, text_, bounds(), align_, enabled() ? look::kText : look::kGreyText);
}

}  // namespace gui
