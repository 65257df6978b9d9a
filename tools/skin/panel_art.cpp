#include "skin/panel_art.h"

#include <cmath>

namespace skin {

void drawCovering(Canvas& canvas, const SkinStyle& style, uint32_t seed) {
  const Area all{0, 0, canvas.width(), canvas.height()};
  paintMaterial(canvas, all, style.covering, style.coveringColour, style.coveringSecond, seed);
  cairo_t* cr = canvas.cr();
  lightFromAbove(cr, all, 1.0);
  // Piping: a raised welt, lit on top, with a shadow line inside it.
  roundedRectangle(cr, 5.5, 5.5, all.width - 11, all.height - 11, 10);
  cairo_set_line_width(cr, 3.0);
  setColour(cr, style.piping);
  cairo_stroke(cr);
  roundedRectangle(cr, 8.0, 8.0, all.width - 16, all.height - 16, 8);
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
  cairo_stroke(cr);
}

void drawPlate(Canvas& canvas, Area area, const SkinStyle& style, uint32_t seed) {
  cairo_t* cr = canvas.cr();
  constexpr double kRadius = 8.0;
  // Its shadow on the covering, then the piping around it.
  roundedRectangle(cr, area.x + 1, area.y + 3, area.width, area.height, kRadius);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
  cairo_fill(cr);
  roundedRectangle(cr, area.x - 3.5, area.y - 3.5, area.width + 7, area.height + 7, kRadius + 3);
  cairo_set_line_width(cr, 2.5);
  setColour(cr, style.piping);
  cairo_stroke(cr);

  Canvas plate(area.width, area.height);
  paintMaterial(plate, {0, 0, area.width, area.height}, style.plate, style.plateColour, {}, seed);
  lightFromAbove(plate.cr(), {0, 0, area.width, area.height}, 0.6);
  cairo_save(cr);
  roundedRectangle(cr, area.x, area.y, area.width, area.height, kRadius);
  cairo_clip(cr);
  cairo_set_source_surface(cr, plate.surface(), area.x, area.y);
  cairo_paint(cr);
  cairo_restore(cr);
  // Bevel: a bright top edge and a dark bottom edge.
  roundedRectangle(cr, area.x + 0.5, area.y + 0.5, area.width - 1, area.height - 1, kRadius);
  cairo_pattern_t* bevel = cairo_pattern_create_linear(0, area.y, 0, area.y + area.height);
  cairo_pattern_add_color_stop_rgba(bevel, 0.0, 1, 1, 1, 0.45);
  cairo_pattern_add_color_stop_rgba(bevel, 0.5, 1, 1, 1, 0.0);
  cairo_pattern_add_color_stop_rgba(bevel, 1.0, 0, 0, 0, 0.5);
  cairo_set_source(cr, bevel);
  cairo_set_line_width(cr, 1.0);
  cairo_stroke(cr);
  cairo_pattern_destroy(bevel);

  constexpr double kScrewInset = 11.0;
  const double left = area.x + kScrewInset, right = area.x + area.width - kScrewInset;
  const double top = area.y + kScrewInset, bottom = area.y + area.height - kScrewInset;
  drawScrew(cr, left, top, 0.3);
  drawScrew(cr, right, top, 1.1);
  drawScrew(cr, left, bottom, 0.7);
  drawScrew(cr, right, bottom, 0.1);
}

void drawScrew(cairo_t* cr, double x, double y, double angle) {
  constexpr double kRadius = 4.5;
  cairo_arc(cr, x + 0.6, y + 1.0, kRadius, 0, 2 * M_PI);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.45);
  cairo_fill(cr);
  cairo_arc(cr, x, y, kRadius, 0, 2 * M_PI);
  cairo_pattern_t* head = cairo_pattern_create_radial(x - 1.5, y - 1.5, 0.5, x, y, kRadius);
  cairo_pattern_add_color_stop_rgb(head, 0.0, 0.95, 0.95, 0.96);
  cairo_pattern_add_color_stop_rgb(head, 1.0, 0.42, 0.43, 0.46);
  cairo_set_source(cr, head);
  cairo_fill(cr);
  cairo_pattern_destroy(head);
  // Cross slot.
  cairo_set_line_width(cr, 1.2);
  for (double a : {angle, angle + M_PI / 2.0}) {
    cairo_move_to(cr, x - std::cos(a) * 3.0, y - std::sin(a) * 3.0);
    cairo_line_to(cr, x + std::cos(a) * 3.0, y + std::sin(a) * 3.0);
  }
  cairo_set_source_rgba(cr, 0.1, 0.1, 0.1, 0.8);
  cairo_stroke(cr);
}

void drawLogo(cairo_t* cr, const SkinStyle& style, double x, double y, double size) {
  auto logoPath = [&](double dx, double dy) {
    cairo_new_path(cr);
    setFont(cr, Face::kSerifBoldItalic, size);
    cairo_move_to(cr, x + dx, y + dy);
    cairo_text_path(cr, "Valvorama");
    double end = x + dx + textWidth(cr, "Valvorama") + size * 0.22;
    setFont(cr, Face::kSerifBoldItalic, size * 0.72);
    cairo_move_to(cr, end, y + dy);
    cairo_text_path(cr, "Live");
  };
  // Cast shadow, then the metal letters with a dark edge.
  logoPath(1.5, 2.5);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
  cairo_fill(cr);
  logoPath(0, 0);
  cairo_pattern_t* metal = cairo_pattern_create_linear(0, y - size * 0.75, 0, y + size * 0.1);
  cairo_pattern_add_color_stop_rgb(metal, 0.0, style.logoLight.r, style.logoLight.g,
                                   style.logoLight.b);
  cairo_pattern_add_color_stop_rgb(metal, 0.55, style.logoDark.r, style.logoDark.g,
                                   style.logoDark.b);
  cairo_pattern_add_color_stop_rgb(metal, 1.0, style.logoLight.r, style.logoLight.g,
                                   style.logoLight.b);
  cairo_set_source(cr, metal);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(metal);
  cairo_set_line_width(cr, 1.0);
  setColour(cr, shade(style.logoDark, -0.5), 0.9);
  cairo_stroke(cr);
}

void drawDisplay(cairo_t* cr, Area bezel, double inset, Rgb glass) {
  roundedRectangle(cr, bezel.x + 1, bezel.y + 2.5, bezel.width, bezel.height, 8);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
  cairo_fill(cr);
  roundedRectangle(cr, bezel.x, bezel.y, bezel.width, bezel.height, 8);
  cairo_pattern_t* frame = cairo_pattern_create_linear(0, bezel.y, 0, bezel.y + bezel.height);
  cairo_pattern_add_color_stop_rgb(frame, 0.0, 0.22, 0.22, 0.23);
  cairo_pattern_add_color_stop_rgb(frame, 1.0, 0.06, 0.06, 0.07);
  cairo_set_source(cr, frame);
  cairo_fill(cr);
  cairo_pattern_destroy(frame);
  const double x = bezel.x + inset, y = bezel.y + inset;
  const double w = bezel.width - 2 * inset, h = bezel.height - 2 * inset;
  roundedRectangle(cr, x, y, w, h, 4);
  setColour(cr, glass);
  cairo_fill(cr);
  // Inner shadow along the top and a faint reflection across the glass.
  cairo_pattern_t* depth = cairo_pattern_create_linear(0, y, 0, y + 8);
  cairo_pattern_add_color_stop_rgba(depth, 0.0, 0, 0, 0, 0.6);
  cairo_pattern_add_color_stop_rgba(depth, 1.0, 0, 0, 0, 0.0);
  roundedRectangle(cr, x, y, w, h, 4);
  cairo_set_source(cr, depth);
  cairo_fill(cr);
  cairo_pattern_destroy(depth);
  cairo_move_to(cr, x, y);
  cairo_line_to(cr, x + w * 0.45, y);
  cairo_line_to(cr, x + w * 0.25, y + h);
  cairo_line_to(cr, x, y + h);
  cairo_close_path(cr);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.025);
  cairo_fill(cr);
}

void drawLabel(cairo_t* cr, const std::string& text, double x, double y, Rgb ink, Face face,
               double size, double spacing) {
  setFont(cr, face, size);
  setColour(cr, ink);
  showSpacedCentred(cr, text, x, y, spacing);
}

}  // namespace skin
