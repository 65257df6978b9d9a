#pragma once

#include <array>

#include "skin/canvas.h"

namespace skin {

enum class Material { kTolex, kTweed, kBrushedMetal, kWood, kPaint };

// One of the eight looks of the front panel: the covering of the cabinet around the controls,
// the control plate the knobs sit on, and the colours printed on each.
struct SkinStyle {
  const char* name;
  Material covering;
  Rgb coveringColour;
  Rgb coveringSecond;  // the second thread of tweed, the dark grain of wood
  Material plate;
  Rgb plateColour;
  Rgb plateInk;     // labels on the plate
  Rgb coveringInk;  // labels on the covering
  Rgb piping;
  Rgb logoLight, logoDark;
};

inline constexpr int kSkinCount = 8;
extern const std::array<SkinStyle, kSkinCount> kSkins;

}  // namespace skin
