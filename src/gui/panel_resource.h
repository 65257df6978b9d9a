#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "framework/four_cc.h"

namespace gui {

// Resource types of the skin in the application's resource file.
inline constexpr uint32_t kPictureType = framework::fourCC("PNGf");  // PNG file bytes
inline constexpr uint32_t kPanelType = framework::fourCC("PANL");    // serialised PanelResource

enum class ControlKind : int32_t {
  kImageSelector = 0,  // shows frame `value` of its strip (lamps: two frames)
  kRotary = 1,
  kListKnob = 2,
  kLedMeter = 3,
  kSegmentMeter = 4,
  kMeter = 5,
  kButton = 6,  // frame 0 up, frame 1 pressed
  kCheckButton = 7,
  kRadioButton = 8,
  kStaticPicture = 9,
  kText = 10,
  kScrollingText = 11,  // a picture scrolled vertically inside the control's frame
};

// A property set on a control by the skin: four-character code and one or two integers.
struct ControlProperty {
  uint32_t code = 0;
  int32_t a = 0;
  int32_t b = 0;
};

struct ControlResource {
  int32_t number = 0;
  ControlKind kind = ControlKind::kImageSelector;
  int32_t x = 0, y = 0;           // top-left on the panel
  int32_t width = 0, height = 0;  // one frame
  uint32_t picture = 0;           // kPictureType id of the strip; 0 = none (text)
  int32_t frames = 1;             // frames in the strip (stacked vertically)
  // LED meter: LEDs drawn upwards at this pitch, LED 0 at the bottom, (x, y) the top of the
  // column; segment meter: segments rightwards from (x, y). Strip frame 0 dark, 1 lit.
  int32_t ledCount = 0, ledPitch = 0;
  double fontSize = 0.0;             // text: font size in pixels
  uint32_t textColour = 0xff000000;  // ARGB
  int32_t align = 0;                 // text: 0 left, 1 centre, 2 right
  std::string text;                  // text: initial text
  std::vector<ControlProperty> properties;
};

// A panel: its size and its controls, drawn in this order (the background first).
struct PanelResource {
  int32_t width = 0, height = 0;
  std::vector<ControlResource> controls;
};

// The byte form stored under kPanelType; parse refuses anything malformed.
std::vector<uint8_t> serializePanel(const PanelResource& panel);
std::optional<PanelResource> parsePanel(std::span<const uint8_t> bytes);

}  // namespace gui
