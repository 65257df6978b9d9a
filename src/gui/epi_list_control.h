#pragma once

#include <string>
#include <vector>

#include "gui/epi_widget.h"

namespace gui {

// A drop-down list: shows the selected entry; a click opens the entries below it (above when
// there is no room), a click on one selects it and reports a change when it differs. A long
// list shows kShownRows entries at a time and scrolls with the wheel.
class epiListControl : public epiWidget {
 public:
  static constexpr int32_t kShownRows = 8;
  static constexpr int32_t kNone = -1;

  epiListControl(int32_t number, const Rect& bounds);

  void clear();
  void addEntry(std::string text);
  void setEntries(std::vector<std::string> entries);
  int32_t count() const { return static_cast<int32_t>(entries_.size()); }
  const std::string& entry(int32_t index) const;  // empty for no such entry

  // Selecting by program reports nothing. kNone, or an index off the list, selects nothing.
  void select(int32_t index);
  int32_t selection() const { return selection_; }
  const std::string& selectedText() const { return entry(selection_); }
  // Selects the first entry equal to `text`, letter case ignored; false (selection unchanged)
  // when there is none.
  bool selectText(const std::string& text);

  // The height of the window the list opens in.
  void setRoom(int32_t height) { room_ = height; }
  bool isOpen() const { return open_; }

  void draw(cairo_t* cr) const override;
  Rect overlay() const override;
  void drawOverlay(cairo_t* cr) const override;
  void closeOverlay() override;
  WidgetReport press(int32_t x, int32_t y) override;
  WidgetReport move(int32_t x, int32_t y) override;
  WidgetReport release(int32_t x, int32_t y) override;
  WidgetReport wheel(int32_t steps) override;

 private:
  int32_t rowAt(int32_t x, int32_t y) const;  // the entry under (x, y) of the open list
  int32_t shownRows() const;
  void setHovered(int32_t index);

  std::vector<std::string> entries_;
  int32_t selection_ = kNone;
  int32_t room_ = 0;
  bool open_ = false;
  int32_t first_ = 0;  // the first entry shown in the open list
  int32_t hovered_ = kNone;
};

}  // namespace gui
