#pragma once

#include <algorithm>
#include <cmath>

// A sample clipped to [-1, 1] as a converter would. NaN, which a plain clamp passes (and an
// integer format then turns into full-scale negative), is silence.
inline float clipToFullScale(float x) {
  return std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f);
}
