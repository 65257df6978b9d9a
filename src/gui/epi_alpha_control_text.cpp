#include "gui/epi_alpha_control_text.h"

#include "gui/drawable_text.h"

#include <fontconfig/fontconfig.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

namespace gui {

namespace {

constexpr const char* kFace = "monospace";
constexpr double kDefaultFontShare = 0.75;  // of the frame's height, when no size is given

}  // namespace

epiAlphaControl_text::epiAlphaControl_text(const ControlResource& resource,
                                           cairo_surface_t* picture)
    : epiAlphaControl(resource, picture), text_(resource.text) {}

bool epiAlphaControl_text::setText(const std::string& text) {
  if (text != text_) {
    text_ = text;
    markDirty();
  }
  return true;
}

void epiAlphaControl_text::draw(cairo_t* cr) const {
  paintFrame(cr, 0, resource_.x, resource_.y);
  if (text_.empty()) return;
  cairo_save(cr);
  cairo_rectangle(cr, resource_.x, resource_.y, resource_.width, resource_.height);
  cairo_clip(cr);
  cairo_select_font_face(cr, kFace, CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  const double size =
      resource_.fontSize > 0.0 ? resource_.fontSize : resource_.height * kDefaultFontShare;
  cairo_set_font_size(cr, size);
  const uint32_t colour = resource_.textColour;
  cairo_set_source_rgba(cr, ((colour >> 16) & 0xff) / 255.0, ((colour >> 8) & 0xff) / 255.0,
                        (colour & 0xff) / 255.0, (colour >> 24) / 255.0);
  cairo_font_extents_t font;
  cairo_font_extents(cr, &font);
  const std::string utf8 = drawableText(text_);
  cairo_text_extents_t extents;
  cairo_text_extents(cr, utf8.c_str(), &extents);
  double x = resource_.x;
  if (resource_.align == 1) x += (resource_.width - extents.x_advance) / 2.0;
  if (resource_.align == 2) x += resource_.width - extents.x_advance;
  // The line's ascent and descent centred in the frame, whatever the letters.
  const double y =
      resource_.y + (resource_.height - font.ascent - font.descent) / 2.0 + font.ascent;
  cairo_move_to(cr, x, y);
  cairo_show_text(cr, utf8.c_str());
  cairo_restore(cr);
}

std::optional<std::string> formatNumber(const std::string& format, int32_t value) {
  // An embedded NUL would end the format early for printf but not for this check.
  if (format.find('\0') != std::string::npos) return std::nullopt;
  int conversions = 0;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') continue;
    ++i;
    if (i < format.size() && format[i] == '%') continue;
    while (i < format.size() && std::strchr("-+ #0", format[i]))
      ++i;
    // Widths and precisions of two digits at most, so the result stays small.
    for (int part = 0; part < 2; ++part) {
      if (part == 1) {
        if (i >= format.size() || format[i] != '.') break;
        ++i;
      }
      for (int digits = 0; i < format.size() && std::isdigit(uint8_t(format[i])); ++digits, ++i) {
        if (digits == 2) return std::nullopt;
      }
    }
    if (i >= format.size() || !std::strchr("diuxXo", format[i])) return std::nullopt;
    ++conversions;
  }
  if (conversions != 1) return std::nullopt;
  std::vector<char> text(format.size() + 128);
  std::snprintf(text.data(), text.size(), format.c_str(), value);
  return std::string(text.data());
}

void releaseFontCaches() {
  cairo_debug_reset_static_data();
  FcFini();
}

}  // namespace gui
