#pragma once

#include "gui/epi_alpha_control.h"

namespace gui {

// A push button: frame 0 up, frame 1 held down while the pointer stays on it; a release on the
// button reports a press.
class epiAlphaControl_button : public epiAlphaControl {
 public:
  using epiAlphaControl::epiAlphaControl;
  ControlReport press(int32_t x, int32_t y, uint32_t modifiers) override;
  ControlReport move(int32_t x, int32_t y, uint32_t modifiers) override;
  ControlReport release(int32_t x, int32_t y) override;
  void draw(cairo_t* cr) const override;

 protected:
  // The value a click on the button leaves; the push button's stays as it is.
  virtual int16_t clickedValue() const { return value_; }

 private:
  void setHeld(bool held);

  bool tracking_ = false;
  bool held_ = false;
};

// A switch: shows frame `value` (0 off, 1 on); a click turns it over.
class epiAlphaControl_checkButton : public epiAlphaControl_button {
 public:
  using epiAlphaControl_button::epiAlphaControl_button;
  void draw(cairo_t* cr) const override;

 protected:
  int16_t clickedValue() const override { return value_ ? 0 : 1; }
};

// One choice of a group: a click turns it on; turning the others off is the window's choice.
class epiAlphaControl_radioButton : public epiAlphaControl_checkButton {
 public:
  using epiAlphaControl_checkButton::epiAlphaControl_checkButton;

 protected:
  int16_t clickedValue() const override { return 1; }
};

}  // namespace gui
