#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

// A sample clipped to [-1, 1] as a converter would. NaN, which a plain clamp passes (and an
// integer format then turns into full-scale negative), is silence.
inline float clipToFullScale(float x) {
  return std::isnan(x) ? 0.0f : std::clamp(x, -1.0f, 1.0f);
}

// Says what the non-finite rules did, when they did anything: the output is then not what the
// input alone would give.
inline void reportNonFinite(uint64_t inputSamples, uint64_t silencedBlocks) {
  if (inputSamples > 0) {
    std::printf("%llu non-finite samples in the input were treated as silence\n",
                static_cast<unsigned long long>(inputSamples));
  }
  if (silencedBlocks > 0) {
    std::printf("%llu blocks that came out non-finite were replaced by silence\n",
                static_cast<unsigned long long>(silencedBlocks));
  }
}
