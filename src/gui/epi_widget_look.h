#pragma once

#include <cairo.h>

#include <string>

#include "gui/rect.h"

namespace gui::look {

// The framework's own plain look for menus, dialogs and their widgets: flat light grey, dark
// text, one sans-serif face.
struct Colour {
  double red, green, blue;
};
inline constexpr Colour kFace{0.93, 0.93, 0.92};       // dialog and menu background
inline constexpr Colour kField{1.0, 1.0, 1.0};         // text fields, lists
inline constexpr Colour kFrame{0.55, 0.55, 0.55};      // outlines
inline constexpr Colour kText{0.08, 0.08, 0.08};       //
inline constexpr Colour kGreyText{0.6, 0.6, 0.6};      // disabled
inline constexpr Colour kHighlight{0.22, 0.42, 0.78};  // the item under the pointer
inline constexpr Colour kHighlightText{1.0, 1.0, 1.0};
inline constexpr Colour kPressed{0.78, 0.78, 0.77};
inline constexpr Colour kWindow{0.16, 0.16, 0.16};  // a window's area no panel covers

inline constexpr double kFontSize = 13.0;

enum class Align { kLeft, kCentre, kRight };

void setColour(cairo_t* cr, const Colour& colour);
void fill(cairo_t* cr, const Rect& area, const Colour& colour);
// A one-pixel outline just inside `area`.
void outline(cairo_t* cr, const Rect& area, const Colour& colour);
// One line of UTF-8 text, vertically centred in `area`, clipped to it.
void text(cairo_t* cr, const std::string& text, const Rect& area, Align align,
          const Colour& colour);
// The advance of `text` in the framework's face.
double textWidth(const std::string& text);

}  // namespace gui::look
