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
  if (mode_ == 0 || mode_ == 1) {
    for (int c = 0; c < channels; ++c) {
      float acc = 0.0f;
      for (int i = 0; i < frames; ++i) {
        const float x = buffer[i * channels + c];
        acc = mode_ == 0 ? std::max(acc, std::fabs(x)) : acc + x * x;
      }
      level[c] = mode_ == 0 ? acc : std::sqrt(acc);
    }
    if (channels == 1) level[1] = level[0];
  }
  if (left) *left = level[0];
  if (right) *right = level[1];
  return std::max(level[0], level[1]);
}

}  // namespace dsp
