#include "skin/canvas.h"

#include <algorithm>
#include <cmath>

namespace skin {

Rgb shade(Rgb colour, double amount) {
  const Rgb target = amount < 0.0 ? Rgb{} : Rgb{1.0, 1.0, 1.0};
  return mix(colour, target, std::clamp(std::fabs(amount), 0.0, 1.0));
}

Rgb mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Canvas::Canvas(int width, int height)
    : width_(width),
      height_(height),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
      cr_(cairo_create(surface_)) {
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
  cairo_font_options_set_subpixel_order(options, CAIRO_SUBPIXEL_ORDER_DEFAULT);
  cairo_set_font_options(cr_, options);
  cairo_font_options_destroy(options);
}

Canvas::~Canvas() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

std::vector<uint8_t> Canvas::png() const {
  cairo_surface_flush(surface_);
  std::vector<uint8_t> bytes;
  auto append = [](void* closure, const unsigned char* data, unsigned int length) {
    auto* out = static_cast<std::vector<uint8_t>*>(closure);
    out->insert(out->end(), data, data + length);
    return CAIRO_STATUS_SUCCESS;
  };
  if (cairo_surface_write_to_png_stream(surface_, append, &bytes) != CAIRO_STATUS_SUCCESS)
    bytes.clear();
  return bytes;
}

void setColour(cairo_t* cr, Rgb colour, double alpha) {
  cairo_set_source_rgba(cr, colour.r, colour.g, colour.b, alpha);
}

void setFont(cairo_t* cr, Face face, double size) {
  const char* family = "DejaVu Sans";
  cairo_font_slant_t slant = CAIRO_FONT_SLANT_NORMAL;
  cairo_font_weight_t weight = CAIRO_FONT_WEIGHT_BOLD;
  switch (face) {
    case Face::kSans:
      weight = CAIRO_FONT_WEIGHT_NORMAL;
      break;
    case Face::kSansBold:
      break;
    case Face::kSansCondensedBold:
      family = "DejaVu Sans Condensed";
      break;
    case Face::kSerifBoldItalic:
      family = "DejaVu Serif";
      slant = CAIRO_FONT_SLANT_ITALIC;
      break;
    case Face::kMonoBold:
      family = "DejaVu Sans Mono";
      break;
  }
  cairo_select_font_face(cr, family, slant, weight);
  cairo_set_font_size(cr, size);
}

double textWidth(cairo_t* cr, const std::string& text) {
  cairo_text_extents_t extents;
  cairo_text_extents(cr, text.c_str(), &extents);
  return extents.x_advance;
}

void showText(cairo_t* cr, const std::string& text, double x, double y) {
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, text.c_str());
}

void showCentred(cairo_t* cr, const std::string& text, double x, double y) {
  showText(cr, text, x - textWidth(cr, text) / 2.0, y);
}

void showRight(cairo_t* cr, const std::string& text, double x, double y) {
  showText(cr, text, x - textWidth(cr, text), y);
}

void showSpacedCentred(cairo_t* cr, const std::string& text, double x, double y, double spacing) {
  double total = 0.0;
  for (char c : text)
    total += textWidth(cr, std::string(1, c)) + spacing;
  double left = x - (total - spacing) / 2.0;
  for (char c : text) {
    const std::string letter(1, c);
    showText(cr, letter, left, y);
    left += textWidth(cr, letter) + spacing;
  }
}

void roundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius) {
  const double r = std::min({radius, width / 2.0, height / 2.0});
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + width - r, y + r, r, -M_PI / 2.0, 0.0);
  cairo_arc(cr, x + width - r, y + height - r, r, 0.0, M_PI / 2.0);
  cairo_arc(cr, x + r, y + height - r, r, M_PI / 2.0, M_PI);
  cairo_arc(cr, x + r, y + r, r, M_PI, 1.5 * M_PI);
  cairo_close_path(cr);
}

}  // namespace skin
