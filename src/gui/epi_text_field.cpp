#include "gui/epi_text_field.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "gui/epi_widget_look.h"

namespace gui {

namespace {

constexpr int32_t kInset = 4;

bool continuation(char byte) {
  return (static_cast<unsigned char>(byte) & 0xc0) == 0x80;
}

void appendUtf8(std::string& text, int32_t code) {
  const auto c = static_cast<uint32_t>(code);
  if (c < 0x80) {
    text += static_cast<char>(c);
  } else if (c < 0x800) {
    text += static_cast<char>(0xc0 | (c >> 6));
    text += static_cast<char>(0x80 | (c & 0x3f));
  } else if (c < 0x10000) {
    text += static_cast<char>(0xe0 | (c >> 12));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    text += static_cast<char>(0x80 | (c & 0x3f));
  } else {
    text += static_cast<char>(0xf0 | (c >> 18));
    text += static_cast<char>(0x80 | ((c >> 12) & 0x3f));
    text += static_cast<char>(0x80 | ((c >> 6) & 0x3f));
    text += static_cast<char>(0x80 | (c & 0x3f));
  }
}

}  // namespace

epiTextField::epiTextField(int32_t number, const Rect& bounds, size_t maxCharacters)
    : epiWidget(number, bounds), maxCharacters_(maxCharacters) {}

void epiTextField::setText(std::string text) {
  if (text == text_) return;
  text_ = std::move(text);
  markDirty();
}

size_t epiTextField::characters() const {
  return static_cast<size_t>(
      std::count_if(text_.begin(), text_.end(), [](char byte) { return !continuation(byte); }));
}

WidgetReport epiTextField::key(int32_t key) {
  if (key == 8) {
    if (text_.empty()) return {};
    // A whole character, however many bytes it takes.
    size_t end = text_.size() - 1;
    while (end > 0 && continuation(text_[end]))
      --end;
    text_.erase(end);
  } else if (key >= 0x20 && key != 0x7f && key <= 0x10ffff && characters() < maxCharacters_) {
    appendUtf8(text_, key);
  } else {
    return {};
  }
  markDirty();
  return {.changed = true};
}

void epiTextField::draw(cairo_t* cr) const {
  const Rect& box = bounds();
  look::fill(cr, box, enabled() ? look::kField : look::kFace);
  look::outline(cr, box, focused() ? look::kHighlight : look::kFrame);
  const Rect inside{box.x + kInset, box.y, box.width - 2 * kInset, box.height};
  // The end of a long text stays in view.
  const double width = look::textWidth(text_);
  const auto shift = static_cast<int32_t>(std::max(0.0, std::ceil(width) - inside.width + 2));
  cairo_save(cr);
  cairo_rectangle(cr, inside.x, inside.y, inside.width, inside.height);
  cairo_clip(cr);
  look::text(cr, text_, {inside.x - shift, inside.y, inside.width + shift, inside.height},
             look::Align::kLeft, enabled() ? look::kText : look::kGreyText);
  if (focused()) {
    const double caret = inside.x - shift + width + 1.5;
    look::setColour(cr, look::kText);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, caret, box.y + 4);
    cairo_line_to(cr, caret, box.y + box.height - 4);
    cairo_stroke(cr);
  }
  cairo_restore(cr);
}

}  // namespace gui
