#pragma once

#include "gui/epi_alpha_control.h"

namespace gui {

// A column of `ledCount` LEDs from the bottom of the control upwards, `ledPitch` pixels apart;
// each LED is one frame of the strip: frame 0 dark, frame 1 lit (a one-frame strip draws the
// lit LEDs only). The control's (x, y) is the top of the column. Value v, clamped to
// 0 .. ledCount − 1, lights LEDs 0..v.
class epiAlphaControl_ledMeter : public epiAlphaControl {
 public:
  using epiAlphaControl::epiAlphaControl;
  Rect bounds() const override;
  void setValue(int16_t value) override;
  void draw(cairo_t* cr) const override;

 protected:
  virtual int32_t litCount() const { return value_ + 1; }
  // The top-left of LED i.
  virtual int32_t ledX(int32_t) const { return resource_.x; }
  virtual int32_t ledY(int32_t led) const;
  virtual int32_t largestValue() const { return resource_.ledCount - 1; }
  int32_t extent() const;  // from the first LED's edge to the last one's far edge
};

// A row of `ledCount` segments from the left at `ledPitch`; value v, clamped to
// 0 .. ledCount, lights the first v segments (0: all dark).
class epiAlphaControl_segmentMeter : public epiAlphaControl_ledMeter {
 public:
  using epiAlphaControl_ledMeter::epiAlphaControl_ledMeter;
  Rect bounds() const override;

 protected:
  int32_t litCount() const override { return value_; }
  int32_t ledX(int32_t led) const override;
  int32_t ledY(int32_t) const override { return resource_.y; }
  int32_t largestValue() const override { return resource_.ledCount; }
};

}  // namespace gui
