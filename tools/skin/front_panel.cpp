#include "skin/front_panel.h"

#include <cmath>
#include <string>
#include <vector>

#include "framework/four_cc.h"
#include "gui/epi_picture.h"
#include "plugin/parameter_descriptor.h"
#include "skin/control_art.h"
#include "skin/panel_art.h"

namespace skin {

namespace {

using gui::ControlKind;
using gui::ControlResource;

constexpr int kWidth = 1100, kHeight = 480;

enum Picture : uint32_t {
  kBackground = 100,
  kKnob,
  kListKnob,
  kSelector,
  kToggle,
  kRedLamp,
  kAmberLamp,
  kGreenLamp,
  kLed,
  kNote,
  kSharp,
  kNeedle,
  kButtonDown,
  kButtonUp,
  kButtonName,
  kButtonCancel,
  kButtonSkin,
  kButtonAbout,
};

constexpr int kKnobSize = 60, kListKnobSize = 72, kSelectorSize = 48;
constexpr int kKnobFrames = 129;  // one per control value 0..128
constexpr int kToggleWidth = 32, kToggleHeight = 48;
constexpr int kLampSize = 24;
constexpr int kNeedleSegments = 15, kNeedlePitch = 11, kNeedleHeight = 28;
constexpr int kNeedleFrames = 21;  // 0..14 on the scale; the window parks it at 20
constexpr uint32_t kLcdInk = 0xffffb347;

constexpr int kRowA = 250, kRowB = 390;  // knob centres of the two rows
constexpr Area kPlate{14, 180, kWidth - 28, kHeight - 194};
constexpr Area kDisplay{430, 18, 330, 96};
constexpr Area kTuner{790, 18, 276, 92};
constexpr Rgb kLcdGlass = rgb(0x140d06), kTunerGlass = rgb(0x0b0707);
constexpr Rgb kBezelInk = rgb(0x9a9894);

struct Knob {
  int control;
  int cx, cy;
  const char* label;
};

const Knob kKnobs[] = {
    {21, 82, kRowA, "LEVEL"},     {22, 290, kRowA, "POSITION"}, {25, 446, kRowA, "DIST"},
    {26, 522, kRowA, "TONE"},     {24, 598, kRowA, "LEVEL"},    {27, 742, kRowA, "TIME"},
    {28, 818, kRowA, "FEEDBACK"}, {29, 894, kRowA, "LEVEL"},    {16, 1004, kRowA, "LEVEL"},
    {17, 270, kRowB, "GAIN"},     {30, 346, kRowB, "LOW"},      {31, 422, kRowB, "MID"},
    {32, 498, kRowB, "HIGH"},     {33, 574, kRowB, "PRESENCE"}, {23, 650, kRowB, "REVERB"},
    {18, 726, kRowB, "VOLUME"},
};

// A pointer knob whose positions are printed around it: the list knobs and the tuner switch.
struct Selector {
  int control;
  ControlKind kind;
  int cx, cy, size;
  const char* label;
  Picture picture;
  int frames;
  int positions[3];  // the frames the choices show
  const char* choices[3];
};

const std::vector<double> kSelectorAngles = {-50.0, 0.0, 50.0};

const Selector kSelectors[] = {
    {8,
     ControlKind::kListKnob,
     196,
     kRowA,
     kSelectorSize,
     "MODE",
     kSelector,
     3,
     {0, 1, 2},
     {"manual", "off", "auto"}},
    // What a row drives is fixed by its rack id: row 20 (control 20) the amp model, row 19
    // (control 19) the cabinet; the labels follow that.
    {20,
     ControlKind::kListKnob,
     122,
     kRowB,
     kListKnobSize,
     "AMP",
     kListKnob,
     kKnobFrames,
     {8, 64, 120},
     {"clean", "lead", "crunch"}},
    {19,
     ControlKind::kListKnob,
     890,
     kRowB,
     kListKnobSize,
     "CABINET",
     kListKnob,
     kKnobFrames,
     {8, 64, 120},
     {"open back 1x12", "british 2x12", "mod closed 4x10"}},
    {10,
     ControlKind::kRotary,
     930,
     150,
     kSelectorSize,
     nullptr,
     kSelector,
     3,
     {0, 1, 2},
     {"mute", "off", "on"}},
};

struct Toggle {
  int control;
  int cx, cy;
};
const Toggle kToggles[] = {{13, 374, kRowA}, {11, 670, kRowA}, {12, 1046, kRowB}};

struct Section {
  const char* title;
  int left, right;
  int lamp;  // the section's pilot lamp, or -1
  Picture lampPicture;
};
const Section kSections[] = {
    {"GATE", 24, 140, 9, kRedLamp},
    {"WAH", 140, 340, 4, kAmberLamp},
    {"OVERDRIVE", 340, 636, 6, kRedLamp},
    {"STOMP DELAY", 636, 932, 5, kGreenLamp},
    {"OUTPUT", 932, kWidth - 24, -1, kRedLamp},
};
constexpr int kTitleBaseline = 201;
constexpr double kTitleSize = 11.0, kTitleSpacing = 2.0;

double angleOfFrame(const Selector& selector, int frame) {
  return selector.frames == 3 ? kSelectorAngles[size_t(frame)] : knobAngle(frame, selector.frames);
}

double radians(double degrees) {
  return degrees * M_PI / 180.0;
}

double titleWidth(const char* title) {
  Canvas scratch(1, 1);
  setFont(scratch.cr(), Face::kSansBold, kTitleSize);
  double width = 0.0;
  for (const char* c = title; *c; ++c)
    width += textWidth(scratch.cr(), std::string(1, *c)) + kTitleSpacing;
  return width - kTitleSpacing;
}

// The pilot lamp sits just after its section's title.
int lampLeft(const Section& section) {
  return int(
      std::lround((section.left + section.right) / 2.0 + titleWidth(section.title) / 2.0 + 6.0));
}

// The value control `number` shows for its parameter's default, as the window converts it.
int defaultControlValue(int number) {
  for (const auto& row : plugin::kParameterDescriptors) {
    if (row.controlId != number) continue;
    if (row.listNumber == 0 && row.maximum > 1)
      return int((row.defaultValue - row.minimum) * 128.0 / (row.maximum - row.minimum));
    return row.defaultValue;
  }
  return 0;
}

ControlResource control(int number, ControlKind kind, int x, int y, int width, int height,
                        uint32_t picture, int frames) {
  ControlResource c;
  c.number = number;
  c.kind = kind;
  c.x = x;
  c.y = y;
  c.width = width;
  c.height = height;
  c.picture = picture;
  c.frames = frames;
  return c;
}

ControlResource text(int number, int x, int y, int width, int height, double size, int align,
                     const std::string& initial) {
  ControlResource c = control(number, ControlKind::kText, x, y, width, height, 0, 1);
  c.fontSize = size;
  c.textColour = kLcdInk;
  c.align = align;
  c.text = initial;
  return c;
}

void withDefault(ControlResource& c) {
  c.properties.push_back({framework::fourCC("clDf"), defaultControlValue(c.number), 0});
}

gui::PanelResource layout() {
  gui::PanelResource panel;
  panel.width = kWidth;
  panel.height = kHeight;
  auto& controls = panel.controls;
  controls.push_back(
      control(0, ControlKind::kImageSelector, 0, 0, kWidth, kHeight, kBackground, kSkinCount));
  for (const auto& section : kSections) {
    if (section.lamp < 0) continue;
    controls.push_back(control(section.lamp, ControlKind::kImageSelector, lampLeft(section),
                               kTitleBaseline - 4 - kLampSize / 2, kLampSize, kLampSize,
                               section.lampPicture, 2));
  }
  controls.push_back(control(7, ControlKind::kImageSelector, 1046 - kLampSize / 2, 326, kLampSize,
                             kLampSize, kAmberLamp, 2));
  for (const auto& knob : kKnobs) {
    controls.push_back(control(knob.control, ControlKind::kRotary, knob.cx - kKnobSize / 2,
                               knob.cy - kKnobSize / 2, kKnobSize, kKnobSize, kKnob, kKnobFrames));
    withDefault(controls.back());
  }
  for (const auto& selector : kSelectors) {
    controls.push_back(control(selector.control, selector.kind, selector.cx - selector.size / 2,
                               selector.cy - selector.size / 2, selector.size, selector.size,
                               selector.picture, selector.frames));
    if (selector.kind == ControlKind::kListKnob) withDefault(controls.back());
    // The tuner switch: a firm 10 pixels of drag per position.
    if (selector.kind == ControlKind::kRotary)
      controls.back().properties.push_back({framework::fourCC("roDi"), 10, 0});
  }
  for (const auto& toggle : kToggles) {
    controls.push_back(control(toggle.control, ControlKind::kCheckButton,
                               toggle.cx - kToggleWidth / 2, toggle.cy - kToggleHeight / 2,
                               kToggleWidth, kToggleHeight, kToggle, 2));
  }
  // Input level: four LEDs beside the LCD.
  ControlResource meter = control(59, ControlKind::kLedMeter, 446, 34, 14, 8, kLed, 2);
  meter.ledCount = 4;
  meter.ledPitch = 11;
  controls.push_back(meter);
  // Tuner readout.
  controls.push_back(control(34, ControlKind::kImageSelector, 808, 30, 44, 64, kNote, 8));
  controls.push_back(control(35, ControlKind::kImageSelector, 852, 32, 20, 26, kSharp, 2));
  controls.push_back(control(14, ControlKind::kImageSelector,
                             880 + 7 * kNeedlePitch + (kNeedlePitch - kLampSize) / 2, 32, kLampSize,
                             kLampSize, kGreenLamp, 2));
  controls.push_back(control(48, ControlKind::kImageSelector, 880, 64,
                             kNeedleSegments * kNeedlePitch, kNeedleHeight, kNeedle,
                             kNeedleFrames));
  // Program buttons under the LCD, skin and about in the corner.
  controls.push_back(control(53, ControlKind::kButton, 430, 124, 44, 26, kButtonDown, 2));
  controls.push_back(control(54, ControlKind::kButton, 480, 124, 44, 26, kButtonUp, 2));
  controls.push_back(control(50, ControlKind::kButton, 530, 124, 110, 26, kButtonName, 2));
  controls.push_back(control(64, ControlKind::kButton, 646, 124, 114, 26, kButtonCancel, 2));
  controls.push_back(control(55, ControlKind::kButton, 996, 124, 70, 22, kButtonSkin, 2));
  controls.push_back(control(57, ControlKind::kButton, 996, 150, 70, 22, kButtonAbout, 2));
  // The LCD: program number, edited mark, naming hint, name or message.
  controls.push_back(text(60, 478, 30, 54, 34, 26.0, 0, ""));
  controls.push_back(text(65, 532, 30, 16, 34, 26.0, 0, "."));
  controls.push_back(text(63, 552, 30, 192, 34, 12.0, 2, "NAMING - ENTER STORES"));
  controls.push_back(text(61, 478, 68, 266, 34, 20.0, 0, ""));
  return panel;
}

// Tick marks of a knob's scale from -150 to +150 degrees.
void drawScale(cairo_t* cr, double cx, double cy, Rgb ink) {
  constexpr int kTicks = 11;
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  for (int i = 0; i < kTicks; ++i) {
    const double a = radians(knobAngle(i, kTicks));
    const bool major = i == 0 || i == kTicks / 2 || i == kTicks - 1;
    const double inner = 30.5, outer = major ? 36.0 : 34.0;
    cairo_move_to(cr, cx + std::sin(a) * inner, cy - std::cos(a) * inner);
    cairo_line_to(cr, cx + std::sin(a) * outer, cy - std::cos(a) * outer);
    cairo_set_line_width(cr, major ? 1.8 : 1.2);
    setColour(cr, ink, 0.9);
    cairo_stroke(cr);
  }
}

void drawChoices(cairo_t* cr, const Selector& selector, Rgb ink) {
  const double reach = selector.size * 0.5 + 4.0;
  setFont(cr, Face::kSansCondensedBold, 10.5);
  for (int i = 0; i < 3; ++i) {
    const double a = radians(angleOfFrame(selector, selector.positions[i]));
    const double sx = std::sin(a), sy = -std::cos(a);
    cairo_move_to(cr, selector.cx + sx * (reach - 5.0), selector.cy + sy * (reach - 5.0));
    cairo_line_to(cr, selector.cx + sx * (reach - 1.0), selector.cy + sy * (reach - 1.0));
    cairo_set_line_width(cr, 1.6);
    setColour(cr, ink, 0.9);
    cairo_stroke(cr);
    const double x = selector.cx + sx * (reach + 3.0);
    const double y = selector.cy + sy * (reach + 3.0) + 4.0 + (sy > 0.3 ? 4.0 : 0.0);
    setColour(cr, ink);
    const std::string name = selector.choices[i];
    if (sx < -0.3) {
      showRight(cr, name, x, y);
    } else if (sx > 0.3) {
      showText(cr, name, x, y);
    } else {
      showCentred(cr, name, x, y);
    }
  }
}

void drawFace(Canvas& canvas, const SkinStyle& style, uint32_t seed) {
  cairo_t* cr = canvas.cr();
  drawCovering(canvas, style, seed);
  drawPlate(canvas, kPlate, style, seed + 100);
  const Rgb ink = style.plateInk;

  // Row A: the stomp sections, titled and divided; row B: the amp.
  for (const auto& section : kSections) {
    drawLabel(cr, section.title, (section.left + section.right) / 2.0, kTitleBaseline, ink,
              Face::kSansBold, kTitleSize, kTitleSpacing);
    if (section.right < kPlate.x + kPlate.width - 20) {
      cairo_move_to(cr, section.right + 0.5, 190);
      cairo_line_to(cr, section.right + 0.5, 306);
      cairo_set_line_width(cr, 1.0);
      setColour(cr, ink, 0.35);
      cairo_stroke(cr);
    }
  }
  cairo_move_to(cr, 30, 318.5);
  cairo_line_to(cr, kWidth - 30, 318.5);
  setColour(cr, ink, 0.35);
  cairo_stroke(cr);

  for (const auto& knob : kKnobs) {
    drawScale(cr, knob.cx, knob.cy, ink);
    drawLabel(cr, knob.label, knob.cx, knob.cy + 50, ink, Face::kSansCondensedBold, 11.0, 1.0);
  }
  for (const auto& selector : kSelectors) {
    const bool onPlate = selector.cy > kPlate.y;
    drawChoices(cr, selector, onPlate ? ink : style.coveringInk);
    if (selector.label) {
      const double below = selector.size / 2.0 + (selector.size > 50 ? 18.0 : 20.0);
      drawLabel(cr, selector.label, selector.cx, selector.cy + below, ink, Face::kSansCondensedBold,
                11.0, 1.0);
    }
  }
  for (const auto& toggle : kToggles) {
    drawLabel(cr, "ON", toggle.cx, toggle.cy - 29, ink, Face::kSansCondensedBold, 9.5, 1.0);
    drawLabel(cr, "OFF", toggle.cx, toggle.cy + 37, ink, Face::kSansCondensedBold, 9.5, 1.0);
  }
  drawLabel(cr, "SPEAKER", 1046, kRowB + 50, ink, Face::kSansCondensedBold, 11.0, 1.0);

  // Header on the covering: logo, LCD unit with the input LEDs, tuner, switch.
  drawLogo(cr, style, 34, 80, 46);
  drawLabel(cr, "GUITAR AMPLIFIER", 190, 110, style.coveringInk, Face::kSansBold, 10.0, 3.0);
  drawDisplay(cr, kDisplay, 8, kLcdGlass);
  // The LEDs sit on the bezel, left of the glass; the glass starts after them.
  cairo_rectangle(cr, kDisplay.x + 8, kDisplay.y + 8, 32, kDisplay.height - 16);
  cairo_set_source_rgb(cr, 0.1, 0.1, 0.11);
  cairo_fill(cr);
  drawLabel(cr, "IN", 453, 96, kBezelInk, Face::kSansCondensedBold, 9.0, 1.0);
  drawDisplay(cr, kTuner, 8, kTunerGlass);
  setFont(cr, Face::kSansBold, 13.0);
  cairo_set_source_rgba(cr, 1.0, 0.23, 0.14, 0.55);
  showText(cr, "\xe2\x99\xad", 882, 60);    // flat
  showRight(cr, "\xe2\x99\xaf", 1044, 60);  // sharp
  drawLabel(cr, "TUNER", 866, 154, style.coveringInk, Face::kSansBold, 10.0, 2.0);
}

}  // namespace

void addFrontPanel(SkinBook& book) {
  Canvas strip(kWidth, kHeight * kSkinCount);
  for (int s = 0; s < kSkinCount; ++s) {
    Canvas face(kWidth, kHeight);
    drawFace(face, kSkins[size_t(s)], 1000u + uint32_t(s));
    cairo_set_source_surface(strip.cr(), face.surface(), 0, s * kHeight);
    cairo_paint(strip.cr());
    if (s == 0) book.addPicture(gui::kMainPictureId, face.png());
  }
  book.addPicture(kBackground, strip.png());

  std::vector<double> listAngles;
  for (int frame = 0; frame < kKnobFrames; ++frame)
    listAngles.push_back(knobAngle(frame, kKnobFrames));
  book.addPicture(kKnob, knobStrip(kKnobSize, kKnobFrames));
  book.addPicture(kListKnob, pointerKnobStrip(kListKnobSize, listAngles));
  book.addPicture(kSelector, pointerKnobStrip(kSelectorSize, kSelectorAngles));
  book.addPicture(kToggle, toggleStrip(kToggleWidth, kToggleHeight));
  book.addPicture(kRedLamp, lampStrip(kLampSize, rgb(0xff3020)));
  book.addPicture(kAmberLamp, lampStrip(kLampSize, rgb(0xffa020)));
  book.addPicture(kGreenLamp, lampStrip(kLampSize, rgb(0x40ff60)));
  book.addPicture(kLed, ledStrip(14, 8, rgb(0x5cff3c)));
  book.addPicture(kNote, noteStrip(44, 64));
  book.addPicture(kSharp, sharpStrip(20, 26));
  book.addPicture(kNeedle,
                  needleStrip(kNeedleSegments, kNeedlePitch, kNeedleHeight, kNeedleFrames));
  book.addPicture(kButtonDown, buttonStrip(44, 26, ButtonFace::kLeftArrow, ""));
  book.addPicture(kButtonUp, buttonStrip(44, 26, ButtonFace::kRightArrow, ""));
  book.addPicture(kButtonName, buttonStrip(110, 26, ButtonFace::kText, "NAME / STORE"));
  book.addPicture(kButtonCancel, buttonStrip(114, 26, ButtonFace::kText, "CANCEL"));
  book.addPicture(kButtonSkin, buttonStrip(70, 22, ButtonFace::kText, "SKIN"));
  book.addPicture(kButtonAbout, buttonStrip(70, 22, ButtonFace::kText, "ABOUT"));
  book.addPanel(kFrontPanelId, layout());
}

}  // namespace skin
