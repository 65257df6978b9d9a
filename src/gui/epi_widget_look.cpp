#include "gui/epi_widget_look.h"

#include "gui/drawable_text.h"

namespace gui::look {

namespace {

constexpr const char* kFaceName = "sans-serif";

void selectFont(cairo_t* cr) {
  cairo_select_font_face(cr, kFaceName, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, kFontSize);
}

}  // namespace

void setColour(cairo_t* cr, const Colour& colour) {
  cairo_set_source_rgb(cr, colour.red, colour.green, colour.blue);
}

void fill(cairo_t* cr, const Rect& area, const Colour& colour) {
  setColour(cr, colour);
  cairo_rectangle(cr, area.x, area.y, area.width, area.height);
  cairo_fill(cr);
}

void outline(cairo_t* cr, const Rect& area, const Colour& colour) {
  setColour(cr, colour);
  cairo_set_line_width(cr, 1.0);
  cairo_rectangle(cr, area.x + 0.5, area.y + 0.5, area.width - 1.0, area.height - 1.0);
  cairo_stroke(cr);
}

void text(cairo_t* cr, const std::string& text, const Rect& area, Align align,
          const Colour& colour) {
  if (text.empty() || area.empty()) return;
  const std::string utf8 = drawableText(text);
  cairo_save(cr);
  cairo_rectangle(cr, area.x, area.y, area.width, area.height);
  cairo_clip(cr);
  selectFont(cr);
  cairo_font_extents_t font;
  cairo_font_extents(cr, &font);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, utf8.c_str(), &extents);
  double x = area.x;
  if (align == Align::kCentre) x += (area.width - extents.x_advance) / 2.0;
  if (align == Align::kRight) x += area.width - extents.x_advance;
  const double y = area.y + (area.height - font.ascent - font.descent) / 2.0 + font.ascent;
  setColour(cr, colour);
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, utf8.c_str());
  cairo_restore(cr);
}

double textWidth(const std::string& text) {
  // Measured on a scratch surface of its own, so that layout needs no window.
  static cairo_surface_t* const scratch = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
  cairo_t* cr = cairo_create(scratch);
  selectFont(cr);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, drawableText(text).c_str(), &extents);
  cairo_destroy(cr);
  return extents.x_advance;
}

}  // namespace gui::look
