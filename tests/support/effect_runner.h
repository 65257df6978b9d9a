#pragma once

#include <algorithm>
#include <vector>

#include "dsp/automated_effect.h"

namespace testsupport {

// Runs interleaved `in` through an effect in the rack's 64-frame blocks.
inline std::vector<float> runInBlocks(dsp::TAutomatedEffect& fx, const std::vector<float>& in,
                                      int channels) {
  std::vector<float> out(in.size());
  const int frames = static_cast<int>(in.size()) / channels;
  for (int pos = 0; pos < frames; pos += 64) {
    const int n = std::min(64, frames - pos);
    fx.process(out.data() + pos * channels, in.data() + pos * channels, n);
  }
  return out;
}

}  // namespace testsupport
