#pragma once

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

namespace skin {

// Typefaces of the skin. Named families and fixed rendering options keep the pictures the same
// on every build, whatever the machine's font settings say.
enum class Face { kSans, kSansBold, kSansCondensedBold, kSerifBoldItalic, kMonoBold };

struct Rgb {
  double r = 0.0, g = 0.0, b = 0.0;
};

// 0xRRGGBB as a colour.
constexpr Rgb rgb(uint32_t hex) {
  return {((hex >> 16) & 0xff) / 255.0, ((hex >> 8) & 0xff) / 255.0, (hex & 0xff) / 255.0};
}
// `amount` -1 (black) .. 0 (the colour) .. +1 (white).
Rgb shade(Rgb colour, double amount);
Rgb mix(Rgb a, Rgb b, double t);

// A transparent ARGB picture to draw on with cairo, and its PNG bytes.
class Canvas {
 public:
  Canvas(int width, int height);
  ~Canvas();
  Canvas(const Canvas&) = delete;
  Canvas& operator=(const Canvas&) = delete;

  int width() const { return width_; }
  int height() const { return height_; }
  cairo_t* cr() const { return cr_; }
  cairo_surface_t* surface() const { return surface_; }
  std::vector<uint8_t> png() const;

 private:
  int width_, height_;
  cairo_surface_t* surface_;
  cairo_t* cr_;
};

void setColour(cairo_t* cr, Rgb colour, double alpha = 1.0);
void setFont(cairo_t* cr, Face face, double size);
double textWidth(cairo_t* cr, const std::string& text);
// Text with its baseline at y: left-aligned at x, centred on x, or right-aligned at x.
void showText(cairo_t* cr, const std::string& text, double x, double y);
void showCentred(cairo_t* cr, const std::string& text, double x, double y);
void showRight(cairo_t* cr, const std::string& text, double x, double y);
// Capitals with extra space between the letters, the way amp panels print their labels.
void showSpacedCentred(cairo_t* cr, const std::string& text, double x, double y, double spacing);
void roundedRectangle(cairo_t* cr, double x, double y, double width, double height, double radius);

}  // namespace skin
