#pragma once

#include <optional>

#include "framework/four_cc.h"
#include "gui/control_glide.h"
#include "gui/epi_alpha_control.h"

namespace gui {

// Properties of rotaries and list knobs.
inline constexpr uint32_t kPropertyDefault = framework::fourCC("clDf");     // a: default value
inline constexpr uint32_t kPropertyDefault2 = framework::fourCC("roDe");    // the same
inline constexpr uint32_t kPropertyDragPixels = framework::fourCC("roDi");  // a: px per step
inline constexpr uint32_t kPropertyRange = framework::fourCC("roMx");       // a..b onto the frames
inline constexpr uint32_t kPropertyStep = framework::fourCC("roSt");        // a coarse, b fine
inline constexpr uint32_t kPropertyGlide = framework::fourCC("roSp");       // a: glide time in ms

// A knob shown as one frame of its strip, turned by dragging vertically (up raises it).
// Without a `roMx` range the value runs over the frames, one step per `roDi` pixels (default 2);
// with one, each pixel moves `roSt` coarse steps, or fine steps while Ctrl was held at the
// press. With a default set, Alt held at the press makes the first move set the default and
// ends the gesture. Values set by the program glide to their frame while the panel is active.
class epiAlphaControl_rotary : public epiAlphaControl {
 public:
  using epiAlphaControl::epiAlphaControl;

  void setValue(int16_t value) override;
  void glideTo(int16_t value, uint64_t nowMs, bool fast) override;
  void tick(uint64_t nowMs) override;
  void finishGlide() override;
  bool setProperty(uint32_t code, int32_t a, int32_t b) override;
  ControlReport press(int32_t x, int32_t y, uint32_t modifiers) override;
  ControlReport move(int32_t x, int32_t y, uint32_t modifiers) override;
  ControlReport release(int32_t x, int32_t y) override;
  void draw(cairo_t* cr) const override;

  // The frame of the strip shown now.
  int32_t shownFrame() const { return frameAt(shown_); }

 protected:
  virtual int32_t minimum() const;
  virtual int32_t maximum() const;
  // The shown position for a value, and the frame for a shown position. A rotary shows its
  // value; a list knob shows the frame its entry names.
  virtual int32_t positionOf(int32_t value) const { return value; }
  virtual int32_t frameAt(int32_t position) const;
  // The value a drag of `dy` pixels from the press gives, before clamping.
  virtual int32_t dragValue(int32_t dy) const;
  // The key that, held at the press, makes the first move select the default.
  virtual uint32_t defaultModifier() const;

  void show(int32_t position);
  static bool fitsValue(int32_t value);  // within the 16-bit value range

  std::optional<int16_t> default_;
  std::optional<int32_t> rangeMin_, rangeMax_;
  int32_t dragPixels_ = 2;
  int32_t coarseStep_ = 1, fineStep_ = 1;
  int32_t glideMs_ = 0;  // 0: the standard glide times
  int32_t shown_ = 0;
  ControlGlide glide_;

  struct Gesture {
    bool active = false;
    bool toDefault = false;
    bool fine = false;
    bool over = false;  // the rest of the gesture is ignored
    int32_t startY = 0, lastY = 0;
    int32_t startValue = 0;
  } gesture_;
};

// A rotary that only shows values (a needle or bar meter); clicking it reports a press.
class epiAlphaControl_meter : public epiAlphaControl_rotary {
 public:
  using epiAlphaControl_rotary::epiAlphaControl_rotary;
  ControlReport press(int32_t x, int32_t y, uint32_t modifiers) override;
  ControlReport move(int32_t x, int32_t y, uint32_t modifiers) override;
  ControlReport release(int32_t x, int32_t y) override;
};

}  // namespace gui
