#pragma once

#include <cairo.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "gui/epi_menu.h"
#include "gui/rect.h"
#include "platform/native_window.h"

namespace gui {

// The menus of a top-level window: a bar drawn across the window's top (X has no menus of its
// own) and the open menus below it, tracked with the pointer. Menus open with a click on a
// title; a click, or a release after pressing a title and dragging, on an item chooses it; a
// press anywhere else closes them. Coordinates are the window's.
class epiMenuBar {
 public:
  static constexpr int32_t kHeight = 22;
  static constexpr int32_t kItemHeight = 20;
  static constexpr int32_t kSeparatorHeight = 8;
  static constexpr int32_t kBorder = 2;

  // A menu with a title in the bar; a group without a title is kept for its commands but not
  // shown. Null when the group is taken already.
  epiMenu* addMenu(int32_t group, std::string title);
  // Any menu of the bar, submenus included.
  epiMenu* menu(int32_t group) const;
  bool empty() const { return menus_.empty(); }

  // A disabled bar shows its titles greyed and opens nothing.
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);

  // An open menu: its area in the window, the areas of its items inside it (a tall menu is laid
  // out in several columns), and the item under the pointer (0: none).
  struct Popup {
    epiMenu* menu = nullptr;
    Rect area;
    std::vector<Rect> items;
    int32_t highlighted = 0;
  };
  // The menus open now, the one hanging from the bar first.
  const std::vector<Popup>& popups() const { return popups_; }
  bool tracking() const { return !popups_.empty(); }

  struct Outcome {
    bool taken = false;   // the input was the menus'
    int32_t command = 0;  // the command chosen, 0 for none
  };
  // Pointer input for a window of width × height.
  Outcome handle(const platform::InputEvent& event, int32_t width, int32_t height);
  void close();
  // Lays the open menus out again after their items changed.
  void relayout();

  // Where the title of a bar menu is; empty for a menu not in the bar.
  Rect titleArea(int32_t group) const;
  // Where an item of an open menu is; empty when the menu is not open.
  Rect itemArea(int32_t group, int32_t item) const;

  void draw(cairo_t* cr, int32_t width) const;
  // Draws an open menu with its area's top left corner at (0, 0).
  void drawPopup(cairo_t* cr, const Popup& popup) const;

  // True once after the bar or the open menus changed their look.
  bool takeChanged();

 private:
  struct Hit {
    int32_t level = -1;
    int32_t item = 0;
  };
  int32_t titleAt(int32_t x) const;
  Hit hitAt(int32_t x, int32_t y) const;
  void open(int32_t group);
  void hover(int32_t x, int32_t y);
  Popup place(epiMenu& menu, int32_t x, int32_t y, int32_t flipX, int32_t top) const;
  Popup placeSubmenu(epiMenu& submenu, const Popup& parent) const;
  int32_t chosenCommand(int32_t x, int32_t y) const;

  std::vector<std::unique_ptr<epiMenu>> menus_;
  std::vector<Popup> popups_;
  bool enabled_ = true;
  bool changed_ = true;
  int32_t width_ = 0, height_ = 0;
};

}  // namespace gui
