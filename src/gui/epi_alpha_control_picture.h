#pragma once

#include "gui/epi_alpha_control.h"

namespace gui {

// Image selector, lamp (two frames: off, lit) and static picture: shows frame `value` of its
// strip. A value off the strip shows nothing (the tuner needle's off-scale position).
class epiAlphaControl_picture : public epiAlphaControl {
 public:
  using epiAlphaControl::epiAlphaControl;
  void draw(cairo_t* cr) const override;
};

// A tall picture seen through the control's frame, moved up by `value` pixels (the about
// panel's credits).
class epiAlphaControl_scrollingText : public epiAlphaControl {
 public:
  using epiAlphaControl::epiAlphaControl;
  void setValue(int16_t value) override;  // negative offsets count as 0
  void draw(cairo_t* cr) const override;
};

}  // namespace gui
