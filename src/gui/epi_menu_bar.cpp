#include "gui/epi_menu_bar.h"

#include <algorithm>
#include <cmath>
#include <utility>

#include "gui/epi_widget_look.h"

namespace gui {

namespace {

constexpr int32_t kTitlePadding = 8;
constexpr int32_t kCheckColumn = 22;
constexpr int32_t kArrowColumn = 22;
constexpr int32_t kMinimumColumn = 100;

bool chooses(const epiMenu::Item& item) {
  return item.enabled && !item.separator && !item.submenu;
}

int32_t heightOf(const epiMenu::Item& item) {
  return item.separator ? epiMenuBar::kSeparatorHeight : epiMenuBar::kItemHeight;
}

void drawCheck(cairo_t* cr, const Rect& row) {
  const double x = row.x + 6, y = row.y + row.height / 2.0;
  cairo_set_line_width(cr, 2.0);
  cairo_move_to(cr, x, y);
  cairo_line_to(cr, x + 3.5, y + 4);
  cairo_line_to(cr, x + 10, y - 5);
  cairo_stroke(cr);
}

void drawArrow(cairo_t* cr, const Rect& row) {
  const double x = row.x + row.width - 14, y = row.y + row.height / 2.0;
  cairo_move_to(cr, x, y - 4);
  cairo_line_to(cr, x + 5, y);
  cairo_line_to(cr, x, y + 4);
  cairo_close_path(cr);
  cairo_fill(cr);
}

}  // namespace

epiMenu* epiMenuBar::addMenu(int32_t group, std::string title) {
  if (menu(group)) return nullptr;
  menus_.push_back(std::make_unique<epiMenu>(group, std::move(title)));
  changed_ = true;
  return menus_.back().get();
}

epiMenu* epiMenuBar::menu(int32_t group) const {
  for (const auto& entry : menus_) {
    if (epiMenu* found = entry->find(group)) return found;
  }
  return nullptr;
}

void epiMenuBar::setEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  if (!enabled) close();
  changed_ = true;
}

Rect epiMenuBar::titleArea(int32_t group) const {
  int32_t x = 4;
  for (const auto& entry : menus_) {
    if (entry->title().empty()) continue;
    const auto width =
        static_cast<int32_t>(std::ceil(look::textWidth(entry->title()))) + 2 * kTitlePadding;
    if (entry->group() == group) return {x, 0, width, kHeight};
    x += width;
  }
  return {};
}

int32_t epiMenuBar::titleAt(int32_t x) const {
  for (const auto& entry : menus_) {
    const Rect area = titleArea(entry->group());
    if (!area.empty() && x >= area.x && x < area.x + area.width) return entry->group();
  }
  return -1;
}

Rect epiMenuBar::itemArea(int32_t group, int32_t item) const {
  for (const Popup& popup : popups_) {
    // The layout is the one made when the menu opened; items added since have none yet.
    if (popup.menu->group() != group || item < 1 || size_t(item) > popup.items.size()) continue;
    const Rect& local = popup.items[static_cast<size_t>(item - 1)];
    return {popup.area.x + local.x, popup.area.y + local.y, local.width, local.height};
  }
  return {};
}

// Items fill a column downwards and continue in the next one when the window ends; the menu
// goes left of `flipX` when it would leave the window on the right, and up when it would leave
// it at the bottom.
epiMenuBar::Popup epiMenuBar::place(epiMenu& menu, int32_t x, int32_t y, int32_t flipX,
                                    int32_t top) const {
  Popup popup;
  popup.menu = &menu;
  int32_t columnWidth = kMinimumColumn;
  for (int32_t i = 1; i <= menu.itemCount(); ++i) {
    const auto textWidth = static_cast<int32_t>(std::ceil(look::textWidth(menu.item(i)->text)));
    columnWidth = std::max(columnWidth, textWidth + kCheckColumn + kArrowColumn);
  }
  const int32_t room = std::max(height_ - top - 2 * kBorder, kItemHeight);
  int32_t column = 0, row = 0, tallest = 0;
  for (int32_t i = 1; i <= menu.itemCount(); ++i) {
    const int32_t height = heightOf(*menu.item(i));
    if (row > 0 && row + height > room) {
      ++column;
      row = 0;
    }
    popup.items.push_back({kBorder + column * columnWidth, kBorder + row, columnWidth, height});
    row += height;
    tallest = std::max(tallest, row);
  }
  const int32_t width = (column + 1) * columnWidth + 2 * kBorder;
  const int32_t height = std::max(tallest, kItemHeight) + 2 * kBorder;
  if (x + width > width_) x = flipX - width;
  if (y + height > height_) y = height_ - height;
  popup.area = {std::max(x, 0), std::max(y, top), width, height};
  return popup;
}

// Beside its parent's highlighted item, or left of the parent when there is no room.
epiMenuBar::Popup epiMenuBar::placeSubmenu(epiMenu& submenu, const Popup& parent) const {
  const Rect row = parent.items[static_cast<size_t>(parent.highlighted - 1)];
  return place(submenu, parent.area.x + row.x + row.width, parent.area.y + row.y - kBorder,
               parent.area.x + row.x, 0);
}

void epiMenuBar::open(int32_t group) {
  epiMenu* root = menu(group);
  if (!root) return;
  const Rect title = titleArea(group);
  popups_.clear();
  popups_.push_back(place(*root, title.x, kHeight, width_, kHeight));
  changed_ = true;
}

void epiMenuBar::close() {
  if (popups_.empty()) return;
  popups_.clear();
  changed_ = true;
}

// Each submenu hangs from its parent's highlighted item, as hover() placed it.
void epiMenuBar::relayout() {
  if (popups_.empty()) return;
  std::vector<Popup> old = std::move(popups_);
  open(old.front().menu->group());
  for (size_t level = 1; level < old.size(); ++level) {
    popups_.back().highlighted = old[level - 1].highlighted;
    popups_.push_back(placeSubmenu(*old[level].menu, popups_.back()));
  }
  popups_.back().highlighted = old.back().highlighted;
}

epiMenuBar::Hit epiMenuBar::hitAt(int32_t x, int32_t y) const {
  // The deepest menu lies on top.
  for (auto level = static_cast<int32_t>(popups_.size()) - 1; level >= 0; --level) {
    const Popup& popup = popups_[static_cast<size_t>(level)];
    if (!popup.area.contains(x, y)) continue;
    for (size_t i = 0; i < popup.items.size(); ++i) {
      if (popup.items[i].contains(x - popup.area.x, y - popup.area.y))
        return {level, static_cast<int32_t>(i) + 1};
    }
    return {level, 0};
  }
  return {};
}

void epiMenuBar::hover(int32_t x, int32_t y) {
  const Hit hit = hitAt(x, y);
  if (hit.level < 0) return;
  Popup& popup = popups_[static_cast<size_t>(hit.level)];
  const epiMenu::Item* item = popup.menu->item(hit.item);
  const bool usable = item && item->enabled && !item->separator;
  const int32_t highlighted = usable ? hit.item : 0;
  if (popup.highlighted != highlighted) {
    popup.highlighted = highlighted;
    changed_ = true;
  }
  const size_t keep = static_cast<size_t>(hit.level) + 1;
  epiMenu* submenu = usable ? item->submenu.get() : nullptr;
  if (submenu && popups_.size() > keep && popups_[keep].menu == submenu) return;
  if (popups_.size() > keep) {
    popups_.resize(keep);
    changed_ = true;
  }
  if (!submenu) return;
  popups_.push_back(placeSubmenu(*submenu, popup));
  changed_ = true;
}

int32_t epiMenuBar::chosenCommand(int32_t x, int32_t y) const {
  const Hit hit = hitAt(x, y);
  if (hit.level < 0 || hit.item == 0) return 0;
  const epiMenu& menu = *popups_[static_cast<size_t>(hit.level)].menu;
  return chooses(*menu.item(hit.item)) ? menu.commandOf(hit.item) : 0;
}

epiMenuBar::Outcome epiMenuBar::handle(const platform::InputEvent& event, int32_t width,
                                       int32_t height) {
  using Type = platform::InputEvent::Type;
  width_ = width;
  height_ = height;
  const bool inBar = event.y >= 0 && event.y < kHeight && event.x >= 0 && event.x < width;
  switch (event.type) {
    case Type::kButtonPress: {
      if (inBar) {
        const int32_t group = enabled_ ? titleAt(event.x) : -1;
        const bool again = tracking() && popups_.front().menu->group() == group;
        close();
        if (group >= 0 && !again) open(group);
        return {.taken = true};
      }
      if (!tracking()) return {};
      if (hitAt(event.x, event.y).level < 0) close();
      return {.taken = true};
    }
    case Type::kMotion: {
      if (!tracking()) return {};
      const int32_t group = inBar ? titleAt(event.x) : -1;
      if (group >= 0 && group != popups_.front().menu->group())
        open(group);
      else
        hover(event.x, event.y);
      return {.taken = true};
    }
    case Type::kButtonRelease: {
      if (!tracking()) return {};
      const int32_t command = chosenCommand(event.x, event.y);
      if (command != 0) close();
      return {.taken = true, .command = command};
    }
    case Type::kWheel:
      return {.taken = tracking()};
    default:
      return {};
  }
}

void epiMenuBar::draw(cairo_t* cr, int32_t width) const {
  look::fill(cr, {0, 0, width, kHeight}, look::kFace);
  look::fill(cr, {0, kHeight - 1, width, 1}, look::kFrame);
  const int32_t open = tracking() ? popups_.front().menu->group() : -1;
  for (const auto& entry : menus_) {
    const Rect area = titleArea(entry->group());
    if (area.empty()) continue;
    const bool lit = entry->group() == open;
    if (lit) look::fill(cr, {area.x, 1, area.width, kHeight - 2}, look::kHighlight);
    const look::Colour& colour =
        lit ? look::kHighlightText : (enabled_ ? look::kText : look::kGreyText);
    look::text(cr, entry->title(), area, look::Align::kCentre, colour);
  }
}

void epiMenuBar::drawPopup(cairo_t* cr, const Popup& popup) const {
  const Rect whole{0, 0, popup.area.width, popup.area.height};
  look::fill(cr, whole, look::kFace);
  look::outline(cr, whole, look::kFrame);
  // Items added while the menu is open show once it is laid out again (relayout).
  for (int32_t i = 1; size_t(i) <= popup.items.size(); ++i) {
    const epiMenu::Item& item = *popup.menu->item(i);
    const Rect row = popup.items[static_cast<size_t>(i - 1)];
    if (item.separator) {
      look::fill(cr, {row.x + 4, row.y + row.height / 2, row.width - 8, 1}, look::kFrame);
      continue;
    }
    const bool lit = i == popup.highlighted;
    if (lit) look::fill(cr, row, look::kHighlight);
    const look::Colour& colour =
        lit ? look::kHighlightText : (item.enabled ? look::kText : look::kGreyText);
    look::setColour(cr, colour);
    if (item.checked) drawCheck(cr, row);
    if (item.submenu) drawArrow(cr, row);
    look::text(cr, item.text,
               {row.x + kCheckColumn, row.y, row.width - kCheckColumn - kArrowColumn, row.height},
               look::Align::kLeft, colour);
  }
}

bool epiMenuBar::takeChanged() {
  return std::exchange(changed_, false);
}

}  // namespace gui
