#include "gui/epi_list_control.h"

#include <algorithm>
#include <cctype>
#include <utility>

#include "gui/epi_widget_look.h"

namespace gui {

namespace {

constexpr int32_t kArrowWidth = 18;
constexpr int32_t kTextInset = 5;

bool sameIgnoringCase(const std::string& a, const std::string& b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return std::tolower(static_cast<unsigned char>(x)) ==
           std::tolower(static_cast<unsigned char>(y));
  });
}

const std::string kNoText;

}  // namespace

epiListControl::epiListControl(int32_t number, const Rect& bounds) : epiWidget(number, bounds) {}

void epiListControl::clear() {
  entries_.clear();
  selection_ = kNone;
  closeOverlay();
  markDirty();
}

void epiListControl::addEntry(std::string text) {
  entries_.push_back(std::move(text));
  markDirty();
}

void epiListControl::setEntries(std::vector<std::string> entries) {
  clear();
  entries_ = std::move(entries);
}

const std::string& epiListControl::entry(int32_t index) const {
  if (index < 0 || index >= count()) return kNoText;
  return entries_[static_cast<size_t>(index)];
}

void epiListControl::select(int32_t index) {
  if (index < 0 || index >= count()) index = kNone;
  if (index == selection_) return;
  selection_ = index;
  markDirty();
}

bool epiListControl::selectText(const std::string& text) {
  for (int32_t i = 0; i < count(); ++i) {
    if (sameIgnoringCase(entries_[static_cast<size_t>(i)], text)) {
      select(i);
      return true;
    }
  }
  return false;
}

int32_t epiListControl::shownRows() const {
  return std::min(count(), kShownRows);
}

Rect epiListControl::overlay() const {
  if (!open_) return {};
  const Rect& box = bounds();
  const int32_t height = shownRows() * box.height + 2;
  int32_t y = box.y + box.height;
  if (room_ > 0 && y + height > room_) y = std::max(0, box.y - height);
  return {box.x, y, box.width, height};
}

int32_t epiListControl::rowAt(int32_t x, int32_t y) const {
  const Rect area = overlay();
  if (!area.contains(x, y)) return kNone;
  const int32_t row = (y - area.y - 1) / bounds().height;
  return std::clamp(row, 0, shownRows() - 1) + first_;
}

void epiListControl::setHovered(int32_t index) {
  if (index == hovered_) return;
  hovered_ = index;
  markDirty();
}

void epiListControl::closeOverlay() {
  if (!open_) return;
  open_ = false;
  hovered_ = kNone;
  markDirty();
}

void epiListControl::draw(cairo_t* cr) const {
  const Rect& box = bounds();
  look::fill(cr, box, enabled() ? look::kField : look::kFace);
  look::outline(cr, box, look::kFrame);
  const look::Colour& colour = enabled() ? look::kText : look::kGreyText;
  look::text(cr, selectedText(),
             {box.x + kTextInset, box.y, box.width - kArrowWidth - kTextInset, box.height},
             look::Align::kLeft, colour);
  // The drop-down arrow.
  const double x = box.x + box.width - kArrowWidth / 2.0, y = box.y + box.height / 2.0;
  look::setColour(cr, colour);
  cairo_move_to(cr, x - 4, y - 2);
  cairo_line_to(cr, x + 4, y - 2);
  cairo_line_to(cr, x, y + 3);
  cairo_close_path(cr);
  cairo_fill(cr);
}

void epiListControl::drawOverlay(cairo_t* cr) const {
  const Rect area = overlay();
  if (area.empty()) return;
  look::fill(cr, area, look::kField);
  look::outline(cr, area, look::kFrame);
  const int32_t rowHeight = bounds().height;
  const int32_t lit = hovered_ != kNone ? hovered_ : selection_;
  for (int32_t row = 0; row < shownRows(); ++row) {
    const int32_t index = first_ + row;
    const Rect line{area.x + 1, area.y + 1 + row * rowHeight, area.width - 2, rowHeight};
    if (index == lit) look::fill(cr, line, look::kHighlight);
    look::text(cr, entry(index),
               {line.x + kTextInset - 1, line.y, line.width - kTextInset, line.height},
               look::Align::kLeft, index == lit ? look::kHighlightText : look::kText);
  }
}

WidgetReport epiListControl::press(int32_t x, int32_t y) {
  if (!open_) {
    if (count() == 0) return {};
    open_ = true;
    // The selection in view.
    first_ = std::clamp(selection_, 0, count() - shownRows());
    hovered_ = kNone;
    markDirty();
    return {};
  }
  if (bounds().contains(x, y) || !overlay().contains(x, y)) closeOverlay();
  return {};
}

WidgetReport epiListControl::move(int32_t x, int32_t y) {
  if (open_) setHovered(rowAt(x, y));
  return {};
}

WidgetReport epiListControl::release(int32_t x, int32_t y) {
  const int32_t chosen = open_ ? rowAt(x, y) : kNone;
  if (chosen == kNone) return {};
  closeOverlay();
  if (chosen == selection_) return {};
  select(chosen);
  return {.changed = true};
}

WidgetReport epiListControl::wheel(int32_t steps) {
  if (!open_) return {};
  const int32_t first = std::clamp(first_ - steps, 0, count() - shownRows());
  if (first != first_) {
    first_ = first;
    markDirty();
  }
  return {};
}

}  // namespace gui
