#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gui {

// A menu: a numbered group of items. Items count from 1 in the order they were added, a
// separator taking a number too; item i of group g sends command 40000 + 100 × g + i. An item
// may open a submenu, which is a group of its own.
class epiMenu {
 public:
  static constexpr int32_t kFirstCommand = 40000;
  static constexpr int32_t kItemsPerGroup = 100;

  static constexpr int32_t commandId(int32_t group, int32_t item) {
    return kFirstCommand + kItemsPerGroup * group + item;
  }
  static constexpr int32_t groupOf(int32_t command) {
    return (command - kFirstCommand) / kItemsPerGroup;
  }
  static constexpr int32_t itemOf(int32_t command) {
    return (command - kFirstCommand) % kItemsPerGroup;
  }

  struct Item {
    std::string text;
    bool separator = false;
    bool checked = false;
    bool enabled = true;
    std::unique_ptr<epiMenu> submenu;
  };

  epiMenu(int32_t group, std::string title);

  int32_t group() const { return group_; }
  const std::string& title() const { return title_; }

  // Each returns the new item's number; 0 when the group is full.
  int32_t addItem(std::string text);
  int32_t addSeparator();
  // The submenu, opened by a new item carrying its title; null when the group is full.
  epiMenu* addSubmenu(int32_t group, std::string title);

  int32_t itemCount() const { return static_cast<int32_t>(items_.size()); }
  // Null for a number that names no item.
  const Item* item(int32_t number) const;
  int32_t commandOf(int32_t item) const { return commandId(group_, item); }

  // Each returns false when the item does not exist.
  bool check(int32_t item, bool on);
  bool rename(int32_t item, std::string text);
  bool enable(int32_t item, bool on);

  // This menu or the submenu (at any depth) of that group; null when there is none.
  epiMenu* find(int32_t group);

 private:
  Item* mutableItem(int32_t number);
  int32_t append(Item item);

  int32_t group_;
  std::string title_;
  std::vector<Item> items_;
};

}  // namespace gui
