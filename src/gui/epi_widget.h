#pragma once

#include <cairo.h>

#include <cstdint>

#include "gui/rect.h"

namespace gui {

// What a widget tells its dialog after a piece of input.
struct WidgetReport {
  bool pressed = false;  // a button was clicked
  bool changed = false;  // the value (a list's selection, a field's text) changed
};

// A numbered widget of a dialog, drawn in the framework's plain look. Widgets only report;
// the dialog decides what a press or a change means. A disabled or hidden widget takes no
// input.
class epiWidget {
 public:
  epiWidget(int32_t number, const Rect& bounds) : number_(number), bounds_(bounds) {}
  virtual ~epiWidget() = default;
  epiWidget(const epiWidget&) = delete;
  epiWidget& operator=(const epiWidget&) = delete;

  int32_t number() const { return number_; }
  const Rect& bounds() const { return bounds_; }

  bool enabled() const { return enabled_; }
  void setEnabled(bool enabled);
  bool visible() const { return visible_; }
  void setVisible(bool visible);
  bool focused() const { return focused_; }
  void setFocused(bool focused);
  // Whether it takes typed keys (and so the focus).
  virtual bool takesKeys() const { return false; }

  virtual void draw(cairo_t* cr) const = 0;
  // An area drawn above every widget while open (a drop-down list); empty when there is none.
  virtual Rect overlay() const { return {}; }
  virtual void drawOverlay(cairo_t* /*cr*/) const {}
  virtual void closeOverlay() {}

  // Pointer input in dialog coordinates: a press inside the bounds or the overlay; the widget
  // that took the press gets the moves and the release.
  virtual WidgetReport press(int32_t /*x*/, int32_t /*y*/) { return {}; }
  virtual WidgetReport move(int32_t /*x*/, int32_t /*y*/) { return {}; }
  virtual WidgetReport release(int32_t /*x*/, int32_t /*y*/) { return {}; }
  virtual WidgetReport wheel(int32_t /*steps*/) { return {}; }
  // A typed key, as epiWindow::keyTyped gets it.
  virtual WidgetReport key(int32_t /*key*/) { return {}; }

  // True once after the widget's look changed.
  bool takeDirty();

 protected:
  void markDirty() { dirty_ = true; }

 private:
  const int32_t number_;
  const Rect bounds_;
  bool enabled_ = true;
  bool visible_ = true;
  bool focused_ = false;
  bool dirty_ = true;
};

}  // namespace gui
