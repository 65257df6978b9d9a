#include "dsp/level_detect.h"

#include <algorithm>
#include <cmath>

namespace dsp {

void LevelDetect::setFormat(int channels, int /*sampleRate*/) {
  channels_ = channels;
}

float LevelDetect::measure(const float* buffer, int frames, float* left, float* right) const {
  const int channels = channels_ >= 2 ? 2 : 1;
  float level[2] = {0.0f, 0.0f};
  if (mode_ == 0) {
    // Four running maxima side by side: the order does not change a maximum, and one running
    // maximum would wait on itself every sample. A NaN is passed over either way.
    for (int c = 0; c < channels; ++c) {
      float peak[4] = {0.0f, 0.0f, 0.0f, 0.0f};
      int i = 0;
      for (; i + 4 <= frames; i += 4) {
        for (int k = 0; k < 4; ++k)
          peak[k] = std::max(peak[k], std::fabs(buffer[(i + k) * channels + c]));
      }
      for (; i < frames; ++i)
        peak[0] = std::max(peak[0], std::fabs(buffer[i * channels + c]));
      level[c] = std::max(std::max(peak[0], peak[1]), std::max(peak[2], peak[3]));
    }
  } else if (mode_ == 1) {
    for (int c = 0; c < channels; ++c) {
      float acc = 0.0f;
      for (int i = 0; i < frames; ++i) {
        const float x = buffer[i * channels + c];
        acc += x * x;
      }
      level[c] = std::sqrt(acc);
    }
  }
  if (channels == 1) level[1] = level[0];
  if (left) *left = level[0];
  if (right) *right = level[1];
  return std::max(level[0], level[1]);
}

}  // namespace dsp
