#pragma once

#include <cmath>

namespace dsp {

// Magnitudes below this are inaudible (-280 dB) and are set to zero in feedback paths, so a
// decaying tail ends in exact zeros instead of slow denormal arithmetic.
inline constexpr float kFlushThreshold = 1e-14f;

inline float flushTiny(float x) {
  return std::fabs(x) < kFlushThreshold ? 0.0f : x;
}

}  // namespace dsp
