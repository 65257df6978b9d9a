#include "skin/control_art.h"

#include <algorithm>
#include <cmath>

namespace skin {

namespace {

constexpr double kSweepDegrees = 300.0;
constexpr double kLightAngle = -2.4;  // radians: the light comes from the top left
constexpr Rgb kTunerRed = rgb(0xff3b24);
constexpr Rgb kTunerGreen = rgb(0x4dff6a);

double radians(double degrees) {
  return degrees * M_PI / 180.0;
}

// Draws frame after frame, each clipped to its own cell, with the origin at the cell's top left.
template <typename DrawFrame>
std::vector<uint8_t> strip(int width, int height, int frames, DrawFrame draw) {
  Canvas canvas(width, height * frames);
  cairo_t* cr = canvas.cr();
  for (int frame = 0; frame < frames; ++frame) {
    cairo_save(cr);
    cairo_rectangle(cr, 0, frame * height, width, height);
    cairo_clip(cr);
    cairo_translate(cr, 0, frame * height);
    draw(cr, frame);
    cairo_restore(cr);
  }
  return canvas.png();
}

// A soft round shadow under a control, offset down and to the right.
void dropShadow(cairo_t* cr, double cx, double cy, double radius, double alpha) {
  cairo_pattern_t* shadow =
      cairo_pattern_create_radial(cx + 1.5, cy + 3.0, radius * 0.6, cx + 1.5, cy + 3.0, radius);
  cairo_pattern_add_color_stop_rgba(shadow, 0.0, 0, 0, 0, alpha);
  cairo_pattern_add_color_stop_rgba(shadow, 1.0, 0, 0, 0, 0.0);
  cairo_arc(cr, cx + 1.5, cy + 3.0, radius, 0, 2 * M_PI);
  cairo_set_source(cr, shadow);
  cairo_fill(cr);
  cairo_pattern_destroy(shadow);
}

// A lit glow around (cx, cy).
void glow(cairo_t* cr, double cx, double cy, double radius, Rgb colour, double alpha) {
  cairo_pattern_t* halo = cairo_pattern_create_radial(cx, cy, 0, cx, cy, radius);
  cairo_pattern_add_color_stop_rgba(halo, 0.0, colour.r, colour.g, colour.b, alpha);
  cairo_pattern_add_color_stop_rgba(halo, 1.0, colour.r, colour.g, colour.b, 0.0);
  cairo_arc(cr, cx, cy, radius, 0, 2 * M_PI);
  cairo_set_source(cr, halo);
  cairo_fill(cr);
  cairo_pattern_destroy(halo);
}

// Turned metal seen from above: brightness that follows the light around the circle.
void turnedMetal(cairo_t* cr, double cx, double cy, double radius, Rgb base) {
  constexpr int kWedges = 90;
  for (int i = 0; i < kWedges; ++i) {
    const double a0 = 2 * M_PI * i / kWedges, a1 = 2 * M_PI * (i + 1) / kWedges;
    const double mid = (a0 + a1) / 2.0;
    const double light =
        0.55 * std::cos(2.0 * (mid - kLightAngle)) + 0.15 * std::cos(mid - kLightAngle);
    cairo_move_to(cr, cx, cy);
    cairo_arc(cr, cx, cy, radius, a0 - 0.01, a1 + 0.01);
    cairo_close_path(cr);
    setColour(cr, shade(base, 0.45 * light));
    cairo_fill(cr);
  }
  cairo_set_line_width(cr, 0.5);
  for (double r = radius * 0.2; r < radius; r += 1.3) {
    cairo_arc(cr, cx, cy, r, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.05);
    cairo_stroke(cr);
  }
}

void chromeGradient(cairo_t* cr, double x0, double y0, double x1, double y1) {
  cairo_pattern_t* chrome = cairo_pattern_create_linear(x0, y0, x1, y1);
  cairo_pattern_add_color_stop_rgb(chrome, 0.0, 0.95, 0.95, 0.96);
  cairo_pattern_add_color_stop_rgb(chrome, 0.45, 0.55, 0.56, 0.58);
  cairo_pattern_add_color_stop_rgb(chrome, 0.55, 0.35, 0.36, 0.38);
  cairo_pattern_add_color_stop_rgb(chrome, 1.0, 0.85, 0.86, 0.88);
  cairo_set_source(cr, chrome);
  cairo_pattern_destroy(chrome);
}

void drawKnob(cairo_t* cr, double size, double angle) {
  const double c = size / 2.0, r = size * 0.36;
  dropShadow(cr, c, c, r + 5.0, 0.55);
  // Skirt: black, its knurls turning with the knob.
  cairo_arc(cr, c, c, r, 0, 2 * M_PI);
  cairo_pattern_t* body = cairo_pattern_create_radial(c - r * 0.4, c - r * 0.5, 0, c, c, r * 1.1);
  cairo_pattern_add_color_stop_rgb(body, 0.0, 0.24, 0.24, 0.25);
  cairo_pattern_add_color_stop_rgb(body, 1.0, 0.04, 0.04, 0.05);
  cairo_set_source(cr, body);
  cairo_fill(cr);
  cairo_pattern_destroy(body);
  // A lit rim keeps the black knob apart from a dark plate.
  cairo_arc(cr, c, c, r - 0.5, radians(180.0), radians(300.0));
  cairo_set_line_width(cr, 1.0);
  cairo_set_source_rgba(cr, 1, 1, 1, 0.28);
  cairo_stroke(cr);
  constexpr int kKnurls = 40;
  cairo_set_line_width(cr, 1.1);
  for (int i = 0; i < kKnurls; ++i) {
    const double a = angle + 2 * M_PI * i / kKnurls;
    const double light = 0.5 + 0.5 * std::cos(a - M_PI / 2.0 - kLightAngle);
    cairo_move_to(cr, c + std::sin(a) * (r - 3.5), c - std::cos(a) * (r - 3.5));
    cairo_line_to(cr, c + std::sin(a) * (r - 0.5), c - std::cos(a) * (r - 0.5));
    cairo_set_source_rgba(cr, 1, 1, 1, 0.05 + 0.22 * light);
    cairo_stroke(cr);
  }
  // Cap: turned aluminium with a bevelled edge.
  const double capR = r * 0.64;
  turnedMetal(cr, c, c, capR, rgb(0x9da2a8));
  cairo_arc(cr, c, c, capR, 0, 2 * M_PI);
  cairo_set_line_width(cr, 1.2);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
  cairo_stroke(cr);
  // Pointer: white on the skirt, engraved on the cap.
  const double dx = std::sin(angle), dy = -std::cos(angle);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, 2.6);
  cairo_move_to(cr, c + dx * (capR + 1.5), c + dy * (capR + 1.5));
  cairo_line_to(cr, c + dx * (r - 1.5), c + dy * (r - 1.5));
  cairo_set_source_rgb(cr, 0.97, 0.96, 0.92);
  cairo_stroke(cr);
  cairo_set_line_width(cr, 1.8);
  cairo_move_to(cr, c + dx * capR * 0.25, c + dy * capR * 0.25);
  cairo_line_to(cr, c + dx * (capR - 1.5), c + dy * (capR - 1.5));
  cairo_set_source_rgba(cr, 0.05, 0.05, 0.05, 0.85);
  cairo_stroke(cr);
}

// The chicken-head outline pointing up, centred on the origin, in units of the knob radius.
void pointerShape(cairo_t* cr, double r) {
  cairo_move_to(cr, -0.42 * r, 0.0);
  cairo_curve_to(cr, -0.42 * r, -0.5 * r, -0.2 * r, -0.95 * r, -0.12 * r, -1.18 * r);
  cairo_arc(cr, 0.0, -1.18 * r, 0.12 * r, M_PI, 2 * M_PI);
  cairo_curve_to(cr, 0.2 * r, -0.95 * r, 0.42 * r, -0.5 * r, 0.42 * r, 0.0);
  cairo_curve_to(cr, 0.42 * r, 0.35 * r, 0.3 * r, 0.62 * r, 0.0, 0.62 * r);
  cairo_curve_to(cr, -0.3 * r, 0.62 * r, -0.42 * r, 0.35 * r, -0.42 * r, 0.0);
  cairo_close_path(cr);
}

void drawPointerKnob(cairo_t* cr, double size, double angle) {
  const double c = size / 2.0, r = size * 0.36;
  dropShadow(cr, c, c, r * 0.75, 0.5);
  // Black round base under the pointer.
  cairo_arc(cr, c, c, r * 0.62, 0, 2 * M_PI);
  cairo_set_source_rgb(cr, 0.06, 0.06, 0.07);
  cairo_fill(cr);
  cairo_save(cr);
  cairo_translate(cr, c, c);
  // The shadow of the pointer falls down and right whatever its angle.
  cairo_save(cr);
  cairo_translate(cr, 1.5, 2.5);
  cairo_rotate(cr, angle);
  pointerShape(cr, r);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
  cairo_fill(cr);
  cairo_restore(cr);
  cairo_rotate(cr, angle);
  pointerShape(cr, r);
  // Lit from the top left of the panel, whichever way the pointer faces.
  const double lx = std::cos(-angle - M_PI * 0.75) * r, ly = std::sin(-angle - M_PI * 0.75) * r;
  cairo_pattern_t* bakelite = cairo_pattern_create_linear(lx, ly, -lx, -ly);
  cairo_pattern_add_color_stop_rgb(bakelite, 0.0, 0.99, 0.96, 0.88);
  cairo_pattern_add_color_stop_rgb(bakelite, 1.0, 0.70, 0.64, 0.52);
  cairo_set_source(cr, bakelite);
  cairo_fill_preserve(cr);
  cairo_pattern_destroy(bakelite);
  cairo_set_line_width(cr, 0.9);
  cairo_set_source_rgba(cr, 0.25, 0.2, 0.12, 0.8);
  cairo_stroke(cr);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  cairo_set_line_width(cr, 1.8);
  cairo_move_to(cr, 0.0, -0.25 * r);
  cairo_line_to(cr, 0.0, -1.1 * r);
  cairo_set_source_rgb(cr, 0.08, 0.06, 0.05);
  cairo_stroke(cr);
  cairo_restore(cr);
}

}  // namespace

double knobAngle(int frame, int frames) {
  if (frames < 2) return 0.0;
  return -kSweepDegrees / 2.0 + kSweepDegrees * frame / (frames - 1);
}

std::vector<uint8_t> knobStrip(int size, int frames) {
  return strip(size, size, frames, [&](cairo_t* cr, int frame) {
    drawKnob(cr, size, radians(knobAngle(frame, frames)));
  });
}

std::vector<uint8_t> pointerKnobStrip(int size, const std::vector<double>& angles) {
  return strip(size, size, int(angles.size()), [&](cairo_t* cr, int frame) {
    drawPointerKnob(cr, size, radians(angles[size_t(frame)]));
  });
}

std::vector<uint8_t> toggleStrip(int width, int height) {
  return strip(width, height, 2, [&](cairo_t* cr, int frame) {
    const double cx = width / 2.0, cy = height / 2.0;
    dropShadow(cr, cx, cy, width * 0.38, 0.5);
    // Hex nut and bushing.
    cairo_new_path(cr);
    for (int i = 0; i < 6; ++i) {
      const double a = M_PI / 6.0 + i * M_PI / 3.0;
      cairo_line_to(cr, cx + std::cos(a) * width * 0.32, cy + std::sin(a) * width * 0.32);
    }
    cairo_close_path(cr);
    chromeGradient(cr, cx - 10, cy - 10, cx + 10, cy + 10);
    cairo_fill(cr);
    cairo_arc(cr, cx, cy, width * 0.17, 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.22);
    cairo_fill(cr);
    // Bat handle, seen from the front: tapering towards its ball end.
    const double direction = frame == 1 ? -1.0 : 1.0;
    const double tipY = cy + direction * height * 0.38;
    cairo_move_to(cr, cx - 3.0, cy);
    cairo_line_to(cr, cx - 2.0, tipY);
    cairo_line_to(cr, cx + 2.0, tipY);
    cairo_line_to(cr, cx + 3.0, cy);
    cairo_close_path(cr);
    chromeGradient(cr, cx - 3, 0, cx + 3, 0);
    cairo_fill(cr);
    cairo_arc(cr, cx, tipY, 3.6, 0, 2 * M_PI);
    cairo_pattern_t* ball = cairo_pattern_create_radial(cx - 1.2, tipY - 1.2, 0.3, cx, tipY, 3.6);
    cairo_pattern_add_color_stop_rgb(ball, 0.0, 1, 1, 1);
    cairo_pattern_add_color_stop_rgb(ball, 1.0, 0.45, 0.46, 0.5);
    cairo_set_source(cr, ball);
    cairo_fill(cr);
    cairo_pattern_destroy(ball);
  });
}

std::vector<uint8_t> lampStrip(int size, Rgb colour) {
  return strip(size, size, 2, [&](cairo_t* cr, int frame) {
    const double c = size / 2.0, bezel = size * 0.4, jewel = size * 0.28;
    if (frame == 1) glow(cr, c, c, size / 2.0, colour, 0.7);
    dropShadow(cr, c, c, bezel + 1.0, 0.45);
    cairo_arc(cr, c, c, bezel, 0, 2 * M_PI);
    chromeGradient(cr, c - bezel, c - bezel, c + bezel, c + bezel);
    cairo_fill(cr);
    cairo_arc(cr, c, c, jewel, 0, 2 * M_PI);
    cairo_pattern_t* glass = cairo_pattern_create_radial(c, c, 0, c, c, jewel);
    if (frame == 1) {
      cairo_pattern_add_color_stop_rgb(glass, 0.0, 1, 1, 0.95);
      cairo_pattern_add_color_stop_rgb(glass, 0.45, colour.r, colour.g, colour.b);
      const Rgb rim = shade(colour, -0.25);
      cairo_pattern_add_color_stop_rgb(glass, 1.0, rim.r, rim.g, rim.b);
    } else {
      const Rgb dark = shade(colour, -0.7), darker = shade(colour, -0.88);
      cairo_pattern_add_color_stop_rgb(glass, 0.0, dark.r, dark.g, dark.b);
      cairo_pattern_add_color_stop_rgb(glass, 1.0, darker.r, darker.g, darker.b);
    }
    cairo_set_source(cr, glass);
    cairo_fill(cr);
    cairo_pattern_destroy(glass);
    // Facets of the jewel and its highlight.
    cairo_set_line_width(cr, 0.6);
    for (int i = 0; i < 6; ++i) {
      const double a = i * M_PI / 3.0;
      cairo_move_to(cr, c, c);
      cairo_line_to(cr, c + std::cos(a) * jewel, c + std::sin(a) * jewel);
    }
    cairo_set_source_rgba(cr, 1, 1, 1, frame == 1 ? 0.25 : 0.12);
    cairo_stroke(cr);
    cairo_arc(cr, c - jewel * 0.35, c - jewel * 0.4, jewel * 0.28, 0, 2 * M_PI);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.55);
    cairo_fill(cr);
  });
}

std::vector<uint8_t> ledStrip(int width, int height, Rgb colour) {
  return strip(width, height, 2, [&](cairo_t* cr, int frame) {
    roundedRectangle(cr, 1, 1, width - 2, height - 2, 1.5);
    setColour(cr, frame == 1 ? colour : shade(colour, -0.78));
    cairo_fill(cr);
    if (frame == 1) {
      roundedRectangle(cr, 2, 2, width - 4, (height - 4) / 2.0, 1.0);
      cairo_set_source_rgba(cr, 1, 1, 1, 0.45);
      cairo_fill(cr);
    }
    roundedRectangle(cr, 0.5, 0.5, width - 1, height - 1, 1.5);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.7);
    cairo_stroke(cr);
  });
}

std::vector<uint8_t> noteStrip(int width, int height) {
  return strip(width, height, 8, [&](cairo_t* cr, int frame) {
    if (frame == 0) return;
    const std::string letter(1, char('A' + frame - 1));
    setFont(cr, Face::kSansBold, height * 0.8);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, letter.c_str(), &extents);
    const double x = (width - extents.width) / 2.0 - extents.x_bearing;
    const double y = (height - extents.height) / 2.0 - extents.y_bearing;
    // Glow first, then the bright letter.
    for (int spread = 3; spread >= 1; --spread) {
      cairo_save(cr);
      cairo_move_to(cr, x, y);
      cairo_text_path(cr, letter.c_str());
      cairo_set_line_width(cr, spread * 2.0);
      cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
      setColour(cr, kTunerRed, 0.12);
      cairo_stroke(cr);
      cairo_restore(cr);
    }
    cairo_move_to(cr, x, y);
    cairo_text_path(cr, letter.c_str());
    setColour(cr, shade(kTunerRed, 0.3));
    cairo_fill(cr);
  });
}

std::vector<uint8_t> sharpStrip(int width, int height) {
  return strip(width, height, 2, [&](cairo_t* cr, int frame) {
    setFont(cr, Face::kSansBold, height * 0.85);
    const std::string sharp = "\xe2\x99\xaf";  // U+266F MUSIC SHARP SIGN
    cairo_text_extents_t extents;
    cairo_text_extents(cr, sharp.c_str(), &extents);
    cairo_move_to(cr, (width - extents.width) / 2.0 - extents.x_bearing,
                  (height - extents.height) / 2.0 - extents.y_bearing);
    setColour(cr, frame == 1 ? shade(kTunerRed, 0.3) : kTunerRed, frame == 1 ? 1.0 : 0.14);
    cairo_show_text(cr, sharp.c_str());
  });
}

std::vector<uint8_t> needleStrip(int segments, int pitch, int height, int frames) {
  return strip(segments * pitch, height, frames, [&](cairo_t* cr, int frame) {
    const int centre = segments / 2;
    for (int i = 0; i < segments; ++i) {
      const Rgb colour = i == centre ? kTunerGreen : kTunerRed;
      const double inset = i == centre ? 1.0 : 4.0;
      const double x = i * pitch + 2.0, w = pitch - 4.0;
      if (i == frame) glow(cr, x + w / 2.0, height / 2.0, pitch * 1.1, colour, 0.45);
      roundedRectangle(cr, x, inset, w, height - 2 * inset, 1.5);
      setColour(cr, i == frame ? shade(colour, 0.35) : colour, i == frame ? 1.0 : 0.16);
      cairo_fill(cr);
    }
  });
}

std::vector<uint8_t> buttonStrip(int width, int height, ButtonFace face, const std::string& label) {
  return strip(width, height, 2, [&](cairo_t* cr, int frame) {
    const bool down = frame == 1;
    roundedRectangle(cr, 1.5, 2.5, width - 3, height - 3, 4);
    cairo_set_source_rgba(cr, 0, 0, 0, down ? 0.25 : 0.5);
    cairo_fill(cr);
    const double top = down ? 1.5 : 0.5;
    roundedRectangle(cr, 0.5, top, width - 1, height - 2.5, 4);
    cairo_pattern_t* cap = cairo_pattern_create_linear(0, top, 0, top + height - 2.5);
    cairo_pattern_add_color_stop_rgb(cap, 0.0, down ? 0.10 : 0.30, down ? 0.10 : 0.30,
                                     down ? 0.11 : 0.32);
    cairo_pattern_add_color_stop_rgb(cap, 1.0, down ? 0.16 : 0.09, down ? 0.16 : 0.09,
                                     down ? 0.17 : 0.10);
    cairo_set_source(cr, cap);
    cairo_fill_preserve(cr);
    cairo_pattern_destroy(cap);
    cairo_set_line_width(cr, 1.0);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.9);
    cairo_stroke(cr);
    const double cx = width / 2.0, cy = top + (height - 2.5) / 2.0;
    cairo_set_source_rgb(cr, 0.9, 0.88, 0.82);
    if (face == ButtonFace::kText) {
      setFont(cr, Face::kSansCondensedBold, 11.0);
      showCentred(cr, label, cx, cy + 4.0);
      return;
    }
    const double side = face == ButtonFace::kLeftArrow ? -1.0 : 1.0;
    cairo_move_to(cr, cx + side * 5.0, cy);
    cairo_line_to(cr, cx - side * 4.0, cy - 5.5);
    cairo_line_to(cr, cx - side * 4.0, cy + 5.5);
    cairo_close_path(cr);
    cairo_fill(cr);
  });
}

std::vector<uint8_t> vuMeterStrip(int width, int height, int frames) {
  return strip(width, height, frames, [&](cairo_t* cr, int frame) {
    // Bezel and paper face.
    roundedRectangle(cr, 0.5, 0.5, width - 1, height - 1, 5);
    cairo_set_source_rgb(cr, 0.08, 0.08, 0.09);
    cairo_fill(cr);
    roundedRectangle(cr, 4, 4, width - 8, height - 8, 3);
    cairo_pattern_t* paper = cairo_pattern_create_linear(0, 4, 0, height - 4);
    cairo_pattern_add_color_stop_rgb(paper, 0.0, 1.0, 0.93, 0.72);
    cairo_pattern_add_color_stop_rgb(paper, 1.0, 0.93, 0.80, 0.52);
    cairo_set_source(cr, paper);
    cairo_fill(cr);
    cairo_pattern_destroy(paper);
    const double px = width / 2.0, py = height * 1.05, radius = height * 0.78;
    constexpr double kHalfSweep = 48.0;
    cairo_set_line_width(cr, 1.0);
    for (int tick = 0; tick <= 10; ++tick) {
      const double a = radians(-kHalfSweep + 2.0 * kHalfSweep * tick / 10.0);
      const double inner = radius - (tick % 5 == 0 ? 7.0 : 4.0);
      cairo_move_to(cr, px + std::sin(a) * inner, py - std::cos(a) * inner);
      cairo_line_to(cr, px + std::sin(a) * radius, py - std::cos(a) * radius);
      if (tick >= 8)
        cairo_set_source_rgb(cr, 0.75, 0.1, 0.08);
      else
        cairo_set_source_rgb(cr, 0.15, 0.12, 0.1);
      cairo_stroke(cr);
    }
    cairo_arc(cr, px, py, radius, radians(-90 - kHalfSweep), radians(-90 + kHalfSweep * 0.6));
    cairo_set_source_rgb(cr, 0.15, 0.12, 0.1);
    cairo_stroke(cr);
    cairo_set_line_width(cr, 2.5);
    cairo_arc(cr, px, py, radius, radians(-90 + kHalfSweep * 0.6), radians(-90 + kHalfSweep));
    cairo_set_source_rgb(cr, 0.75, 0.1, 0.08);
    cairo_stroke(cr);
    setFont(cr, Face::kSerifBoldItalic, height * 0.2);
    cairo_set_source_rgb(cr, 0.15, 0.12, 0.1);
    showCentred(cr, "VU", px, height * 0.68);
    // Needle.
    const double a = radians(-kHalfSweep + 2.0 * kHalfSweep * frame / std::max(frames - 1, 1));
    cairo_set_line_width(cr, 1.2);
    cairo_move_to(cr, px + std::sin(a) * height * 0.25, py - std::cos(a) * height * 0.25);
    cairo_line_to(cr, px + std::sin(a) * (radius + 2.0), py - std::cos(a) * (radius + 2.0));
    cairo_set_source_rgb(cr, 0.05, 0.05, 0.05);
    cairo_stroke(cr);
    // Glass: a faint reflection across the top.
    roundedRectangle(cr, 4, 4, width - 8, (height - 8) * 0.4, 3);
    cairo_set_source_rgba(cr, 1, 1, 1, 0.12);
    cairo_fill(cr);
  });
}

}  // namespace skin
