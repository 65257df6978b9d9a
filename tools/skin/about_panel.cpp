#include "skin/about_panel.h"

#include <iterator>
#include <string>

#include "skin/control_art.h"
#include "skin/panel_art.h"

namespace skin {

namespace {

using gui::ControlKind;
using gui::ControlResource;

// The same size as the front panel: it is shown in its place.
constexpr int kWidth = 1100, kHeight = 480;

enum Picture : uint32_t { kBackground = 200, kMeter, kCreditsPicture, kCreditsFrame };

constexpr int kMeterWidth = 120, kMeterHeight = 72, kMeterFrames = 64;  // values 0..63
constexpr int kMeterLeft = 140, kMeterTop = 118, kMeterPitch = 140;
const char* const kMeterNames[6] = {"INPUT", "GATE", "DRIVE", "PREAMP", "POWER", "OUTPUT"};

constexpr Area kCreditsWindow{326, 236, 726, 196};
constexpr int kFrameBorder = 14;
constexpr int kScrollRange = 481;  // the window scrolls the credits up by 0..480 pixels
constexpr Area kPlaque{44, 300, 230, 104};
constexpr uint32_t kPlaqueInk = 0xffe8dcc0;

const char* const kCredits[] = {
    "VALVORAMA LIVE",
    "",
    "a guitar amplifier for the stage",
    "",
    "Three amp models",
    "clean  -  lead  -  crunch",
    "",
    "Three speaker cabinets",
    "open back 1x12  -  british 2x12  -  mod closed 4x10",
    "",
    "Noise gate, wah, overdrive and stomp delay",
    "in front of the preamp",
    "",
    "Passive tone stack with presence,",
    "power stage with sag, spring reverb",
    "",
    "128 programs, chromatic tuner",
    "MIDI foot controller with learned pedals",
    "",
    "Eight skins:",
    "black tolex, cream, tweed, brushed aluminium,",
    "red, blue, green and wood",
    "",
    "Click anywhere to return to the amp",
};

ControlResource control(int number, ControlKind kind, Area area, uint32_t picture, int frames) {
  ControlResource c;
  c.number = number;
  c.kind = kind;
  c.x = area.x;
  c.y = area.y;
  c.width = area.width;
  c.height = area.height;
  c.picture = picture;
  c.frames = frames;
  return c;
}

ControlResource text(int number, int y, const std::string& initial) {
  ControlResource c =
      control(number, ControlKind::kText, {kPlaque.x + 14, y, kPlaque.width - 28, 22}, 0, 1);
  c.fontSize = 15.0;
  c.textColour = kPlaqueInk;
  c.align = 1;
  c.text = initial;
  return c;
}

Area meterArea(int i) {
  return {kMeterLeft + i * kMeterPitch, kMeterTop, kMeterWidth, kMeterHeight};
}

Area frameArea() {
  return {kCreditsWindow.x - kFrameBorder, kCreditsWindow.y - kFrameBorder,
          kCreditsWindow.width + 2 * kFrameBorder, kCreditsWindow.height + 2 * kFrameBorder};
}

gui::PanelResource layout() {
  gui::PanelResource panel;
  panel.width = kWidth;
  panel.height = kHeight;
  auto& controls = panel.controls;
  controls.push_back(
      control(0, ControlKind::kImageSelector, {0, 0, kWidth, kHeight}, kBackground, kSkinCount));
  // The credits scroll under their frame, so the frame is drawn after them.
  controls.push_back(control(7, ControlKind::kScrollingText, kCreditsWindow, kCreditsPicture, 1));
  controls.push_back(
      control(8, ControlKind::kImageSelector, frameArea(), kCreditsFrame, kSkinCount));
  for (int i = 0; i < 6; ++i)
    controls.push_back(control(1 + i, ControlKind::kMeter, meterArea(i), kMeter, kMeterFrames));
  controls.push_back(text(9, kPlaque.y + 14, ""));
  // The window sets these two again when it opens the panel.
  controls.push_back(text(10, kPlaque.y + 40, "Version 1.0.3"));
  controls.push_back(text(11, kPlaque.y + 66, "14-09-2004"));
  return panel;
}

void drawFace(Canvas& canvas, const SkinStyle& style, uint32_t seed) {
  cairo_t* cr = canvas.cr();
  drawCovering(canvas, style, seed);
  drawLogo(cr, style, 330, 84, 58);
  for (int i = 0; i < 6; ++i) {
    const Area m = meterArea(i);
    roundedRectangle(cr, m.x + 1, m.y + 3, m.width, m.height, 5);
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_fill(cr);
    drawLabel(cr, kMeterNames[i], m.x + m.width / 2.0, m.y + m.height + 16, style.coveringInk,
              Face::kSansBold, 10.0, 2.0);
  }
  // A black plaque for the version texts, alike on every skin so their ink always reads.
  drawDisplay(cr, kPlaque, 6, rgb(0x101010));
  drawScrew(cr, kPlaque.x + 10, kPlaque.y + kPlaque.height / 2.0, 0.4);
  drawScrew(cr, kPlaque.x + kPlaque.width - 10, kPlaque.y + kPlaque.height / 2.0, 1.2);
}

// The bezel round the credits in the skin's piping colour, open in the middle.
void drawCreditsFrame(cairo_t* cr, const SkinStyle& style, Area area) {
  roundedRectangle(cr, area.x, area.y, area.width, area.height, 10);
  roundedRectangle(cr, area.x + kFrameBorder, area.y + kFrameBorder, area.width - 2 * kFrameBorder,
                   area.height - 2 * kFrameBorder, 3);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
  cairo_pattern_t* metal = cairo_pattern_create_linear(0, area.y, 0, area.y + area.height);
  const Rgb light = shade(style.piping, 0.35), dark = shade(style.piping, -0.45);
  cairo_pattern_add_color_stop_rgb(metal, 0.0, light.r, light.g, light.b);
  cairo_pattern_add_color_stop_rgb(metal, 1.0, dark.r, dark.g, dark.b);
  cairo_set_source(cr, metal);
  cairo_fill(cr);
  cairo_pattern_destroy(metal);
  cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
  roundedRectangle(cr, area.x + kFrameBorder - 1.5, area.y + kFrameBorder - 1.5,
                   area.width - 2 * kFrameBorder + 3, area.height - 2 * kFrameBorder + 3, 4);
  cairo_set_line_width(cr, 2.0);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.6);
  cairo_stroke(cr);
}

std::vector<uint8_t> creditsPicture() {
  Canvas canvas(kCreditsWindow.width, kCreditsWindow.height + kScrollRange);
  cairo_t* cr = canvas.cr();
  cairo_set_source_rgb(cr, 0.06, 0.05, 0.05);
  cairo_paint(cr);
  double y = 46.0;
  for (size_t i = 0; i < std::size(kCredits); ++i) {
    const char* line = kCredits[i];
    const bool title = i == 0;  // the product's name, set larger
    setFont(cr, title ? Face::kSerifBoldItalic : Face::kSans, title ? 26.0 : 15.0);
    cairo_set_source_rgb(cr, 0.96, 0.88, 0.66);
    showCentred(cr, line, kCreditsWindow.width / 2.0, y);
    y += title ? 30.0 : 24.0;
  }
  return canvas.png();
}

}  // namespace

void addAboutPanel(SkinBook& book) {
  Canvas background(kWidth, kHeight * kSkinCount);
  const Area frame = frameArea();
  Canvas frames(frame.width, frame.height * kSkinCount);
  for (int s = 0; s < kSkinCount; ++s) {
    const SkinStyle& style = kSkins[size_t(s)];
    Canvas face(kWidth, kHeight);
    drawFace(face, style, 2000u + uint32_t(s));
    cairo_set_source_surface(background.cr(), face.surface(), 0, s * kHeight);
    cairo_paint(background.cr());
    drawCreditsFrame(frames.cr(), style, {0, s * frame.height, frame.width, frame.height});
  }
  book.addPicture(kBackground, background.png());
  book.addPicture(kCreditsFrame, frames.png());
  book.addPicture(kMeter, vuMeterStrip(kMeterWidth, kMeterHeight, kMeterFrames));
  book.addPicture(kCreditsPicture, creditsPicture());
  book.addPanel(kAboutPanelId, layout());
}

}  // namespace skin
