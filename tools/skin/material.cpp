#include "skin/material.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "skin/noise.h"

namespace skin {

namespace {

// Pebbled vinyl: the relief of a fine bumpy surface, lit from the top left.
Rgb tolex(int x, int y, Rgb colour, uint32_t seed) {
  auto height = [seed](double px, double py) {
    return 0.65 * valueNoise(px / 2.1, py / 2.1, seed) +
           0.35 * valueNoise(px / 5.0, py / 5.0, seed + 1);
  };
  const double relief = height(x - 1, y - 1) - height(x + 1, y + 1);
  const double blotch = valueNoise(x / 70.0, y / 70.0, seed + 2) - 0.5;
  return shade(colour, 0.55 * relief + 0.06 * blotch);
}

// Diagonal twill of light and dark threads under yellowed lacquer.
Rgb tweed(int x, int y, Rgb light, Rgb dark, uint32_t seed) {
  const double across = (x + y) / 2.6;
  const auto thread = int32_t(std::floor(across));
  const auto stitch = int32_t(std::floor((x - y + 3 * (thread & 3)) / 6.0));
  const double round = std::sin(M_PI * (across - thread));
  const Rgb base = (thread & 1) ? dark : light;
  const double vary = hashNoise(thread, stitch, seed) - 0.5;
  const double age = valueNoise(x / 90.0, y / 90.0, seed + 1) - 0.5;
  return shade(base, 0.35 * (round - 1.0) + 0.18 * vary - 0.15 * age);
}

// Metal brushed from side to side: long streaks along x.
Rgb brushed(int x, int y, Rgb colour, uint32_t seed) {
  const double streak = 0.55 * valueNoise(x / 160.0, y * 0.8, seed) +
                        0.3 * valueNoise(x / 22.0, y * 1.6, seed + 1) +
                        0.15 * hashNoise(x, y, seed + 2);
  return shade(colour, 0.32 * (streak - 0.5));
}

// Long horizontal grain with growth rings and open pores.
Rgb wood(int x, int y, Rgb light, Rgb dark, uint32_t seed) {
  const double warp =
      18.0 * valueNoise(x / 140.0, y / 35.0, seed) + 5.0 * valueNoise(x / 35.0, y / 9.0, seed + 1);
  double ring = 0.5 + 0.5 * std::sin((y + warp) * 2.0 * M_PI / 14.0);
  ring = ring * ring * ring;
  const double fibre = valueNoise(x / 45.0, y / 1.4, seed + 2);
  const double pore = hashNoise(x / 3, y, seed + 3) > 0.93 ? 0.25 : 0.0;
  return mix(light, dark, std::clamp(0.75 * ring + 0.35 * (fibre - 0.3) + pore, 0.0, 1.0));
}

Rgb paint(int x, int y, Rgb colour, uint32_t seed) {
  return shade(colour, 0.05 * (valueNoise(x / 3.0, y / 3.0, seed) - 0.5));
}

uint32_t pixel(Rgb c) {
  auto channel = [](double v) { return uint32_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); };
  return 0xff000000u | (channel(c.r) << 16) | (channel(c.g) << 8) | channel(c.b);
}

}  // namespace

void paintMaterial(Canvas& canvas, Area area, Material material, Rgb colour, Rgb second,
                   uint32_t seed) {
  cairo_surface_t* surface = canvas.surface();
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  const int right = std::min(area.x + area.width, canvas.width());
  const int bottom = std::min(area.y + area.height, canvas.height());
  for (int y = std::max(area.y, 0); y < bottom; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + std::ptrdiff_t(y) * stride);
    for (int x = std::max(area.x, 0); x < right; ++x) {
      Rgb c;
      switch (material) {
        case Material::kTolex:
          c = tolex(x, y, colour, seed);
          break;
        case Material::kTweed:
          c = tweed(x, y, colour, second, seed);
          break;
        case Material::kBrushedMetal:
          c = brushed(x, y, colour, seed);
          break;
        case Material::kWood:
          c = wood(x, y, colour, second, seed);
          break;
        case Material::kPaint:
          c = paint(x, y, colour, seed);
          break;
      }
      row[x] = pixel(c);
    }
  }
  cairo_surface_mark_dirty(surface);
}

void lightFromAbove(cairo_t* cr, Area area, double strength) {
  cairo_pattern_t* light = cairo_pattern_create_linear(0, area.y, 0, area.y + area.height);
  cairo_pattern_add_color_stop_rgba(light, 0.0, 1, 1, 1, 0.10 * strength);
  cairo_pattern_add_color_stop_rgba(light, 0.35, 1, 1, 1, 0.0);
  cairo_pattern_add_color_stop_rgba(light, 1.0, 0, 0, 0, 0.22 * strength);
  cairo_rectangle(cr, area.x, area.y, area.width, area.height);
  cairo_set_source(cr, light);
  cairo_fill(cr);
  cairo_pattern_destroy(light);
}

}  // namespace skin
