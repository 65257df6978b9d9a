#include "level_meter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void LevelMeter::add(const float* samples, long count, int stride) {
  for (long i = 0; i < count; ++i) {
    const double x = samples[i * stride];
    if (!std::isfinite(x)) continue;
    peak_ = std::max(peak_, std::fabs(x));
    sum_ += x * x;
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
