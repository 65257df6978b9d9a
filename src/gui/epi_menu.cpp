#include "gui/epi_menu.h"

#include <utility>

namespace gui {

epiMenu::epiMenu(int32_t group, std::string title) : group_(group), title_(std::move(title)) {}

int32_t epiMenu::append(Item item) {
  // Item 100 would share its command with item 0 of the next group.
  if (itemCount() >= kItemsPerGroup - 1) return 0;
  items_.push_back(std::move(item));
  return itemCount();
}

int32_t epiMenu::addItem(std::string text) {
  Item item;
  item.text = std::move(text);
  return append(std::move(item));
}

int32_t epiMenu::addSeparator() {
  Item item;
  item.separator = true;
  return append(std::move(item));
}

epiMenu* epiMenu::addSubmenu(int32_t group, std::string title) {
  Item item;
  item.submenu = std::make_unique<epiMenu>(group, title);
  item.text = std::move(title);
  epiMenu* submenu = item.submenu.get();
  return append(std::move(item)) == 0 ? nullptr : submenu;
}

const epiMenu::Item* epiMenu::item(int32_t number) const {
  if (number < 1 || number > itemCount()) return nullptr;
  return &items_[static_cast<size_t>(number - 1)];
}

epiMenu::Item* epiMenu::mutableItem(int32_t number) {
  return const_cast<Item*>(std::as_const(*this).item(number));
}

bool epiMenu::check(int32_t number, bool on) {
  Item* target = mutableItem(number);
  if (!target) return false;
  target->checked = on;
  return true;
}

bool epiMenu::rename(int32_t number, std::string text) {
  Item* target = mutableItem(number);
  if (!target) return false;
  target->text = std::move(text);
  return true;
}

bool epiMenu::enable(int32_t number, bool on) {
  Item* target = mutableItem(number);
  if (!target) return false;
  target->enabled = on;
  return true;
}

epiMenu* epiMenu::find(int32_t group) {
  if (group == group_) return this;
  for (auto& entry : items_) {
    if (!entry.submenu) continue;
    if (epiMenu* found = entry.submenu->find(group)) return found;
  }
  return nullptr;
}

}  // namespace gui
