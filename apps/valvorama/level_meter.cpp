#include "level_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

namespace {

// |x|, or 0 for NaN and the infinities, which fail the comparison.
float finiteMagnitude(float x) {
  const float a = std::fabs(x);
  return a < std::numeric_limits<float>::infinity() ? a : 0.0f;
}

}  // namespace

void LevelMeter::add(const float* samples, long count) {
  // Four running lanes in float, so the additions need not wait for each other, folded into
  // the double totals every kStretch samples, which keeps them as exact as the display needs.
  constexpr int kLanes = 4;
  constexpr long kStretch = 1024;
  for (long start = 0; start < count; start += kStretch) {
    const long n = std::min(kStretch, count - start);
    const float* x = samples + start;
    float peak[kLanes] = {}, sum[kLanes] = {};
    long i = 0;
    for (; i + kLanes <= n; i += kLanes) {
      for (int l = 0; l < kLanes; ++l) {
        const float v = finiteMagnitude(x[i + l]);
        peak[l] = std::max(peak[l], v);
        sum[l] += v * v;
      }
    }
    for (; i < n; ++i) {
      const float v = finiteMagnitude(x[i]);
      peak[0] = std::max(peak[0], v);
      sum[0] += v * v;
    }
    for (int l = 0; l < kLanes; ++l) {
      peak_ = std::max(peak_, double(peak[l]));
      sum_ += sum[l];
    }
  }
  count_ += count;
}

Levels LevelMeter::levels() const {
  const double rms = count_ > 0 ? std::sqrt(sum_ / double(count_)) : 0.0;
  return {20.0 * std::log10(peak_), 20.0 * std::log10(rms)};
}

Levels measure(const std::vector<float>& samples) {
  LevelMeter meter;
  meter.add(samples.data(), static_cast<long>(samples.size()));
  return meter.levels();
}

std::string dbText(double db) {
  char text[32];
  if (std::isinf(db)) return "-inf";
  std::snprintf(text, sizeof text, "%.1f", db);
  return text;
}
