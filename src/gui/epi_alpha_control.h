#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>

#include "gui/panel_resource.h"
#include "gui/rect.h"

namespace gui {

// What a control tells its panel after a piece of pointer input.
struct ControlReport {
  bool changed = false;  // the value changed
  bool pressed = false;  // the control was pressed (a click, or the end of a drag)
};

// A skinned control of a panel: a place on the panel, a picture strip of `frames` frames
// stacked vertically, a 16-bit value. The base draws nothing by itself and behaves like a
// clickable picture: a release inside after a press reports a press. Controls only report; what
// a press or a change means is the window's business.
class epiAlphaControl {
 public:
  // `picture` is owned by the panel's picture cache; null for a control without one.
  epiAlphaControl(const ControlResource& resource, cairo_surface_t* picture);
  virtual ~epiAlphaControl() = default;
  epiAlphaControl(const epiAlphaControl&) = delete;
  epiAlphaControl& operator=(const epiAlphaControl&) = delete;

  int32_t number() const { return resource_.number; }
  ControlKind kind() const { return resource_.kind; }
  // The area the control draws on, in panel coordinates.
  virtual Rect bounds() const;

  bool visible() const { return visible_; }
  void setVisible(bool visible);
  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled) { enabled_ = enabled; }

  int16_t value() const { return value_; }
  // Takes a value at once (the user's own moves, a value set on an inactive panel).
  virtual void setValue(int16_t value);
  // A value the program sets on an active panel: controls that glide start gliding to it at
  // `nowMs`; the others take it at once.
  virtual void glideTo(int16_t value, uint64_t nowMs, bool fast);
  virtual void tick(uint64_t /*nowMs*/) {}
  virtual void finishGlide() {}

  // Each returns false when the control has no use for the call.
  virtual bool setProperty(uint32_t code, int32_t a, int32_t b);
  virtual bool listCommand(int32_t command, int32_t argument);
  virtual bool setText(const std::string& text);

  // Pointer input in panel coordinates; the control that took the press gets the moves and the
  // release of that gesture.
  virtual ControlReport press(int32_t x, int32_t y, uint32_t modifiers);
  virtual ControlReport move(int32_t x, int32_t y, uint32_t modifiers);
  virtual ControlReport release(int32_t x, int32_t y);

  virtual void draw(cairo_t* cr) const = 0;

  // True once after the control's look changed.
  bool takeDirty();

 protected:
  // Paints frame `frame` of the strip at (x, y); frames off the strip draw nothing.
  void paintFrame(cairo_t* cr, int32_t frame, int32_t x, int32_t y) const;
  void markDirty() { dirty_ = true; }

  const ControlResource resource_;
  cairo_surface_t* const picture_;
  int16_t value_ = 0;

 private:
  bool visible_ = true;
  bool enabled_ = true;
  bool dirty_ = true;
  bool pressedInside_ = false;
};

}  // namespace gui
