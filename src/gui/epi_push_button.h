#pragma once

#include <string>

#include "gui/epi_widget.h"

namespace gui {

// A push button: reports a press when the button is released over it.
class epiPushButton : public epiWidget {
 public:
  epiPushButton(int32_t number, const Rect& bounds, std::string text);

  const std::string& text() const { return text_; }
  void setText(std::string text);
  // The default button of a dialog (Enter presses it) is drawn with a heavier frame.
  void setDefault(bool isDefault);

  void draw(cairo_t* cr) const override;
  WidgetReport press(int32_t x, int32_t y) override;
  WidgetReport move(int32_t x, int32_t y) override;
  WidgetReport release(int32_t x, int32_t y) override;

 private:
  void setDown(bool down);

  std::string text_;
  bool default_ = false;
  bool tracking_ = false;  // the press was ours
  bool down_ = false;      // ... and the pointer is still over the button
};

}  // namespace gui
