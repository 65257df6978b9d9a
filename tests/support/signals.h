#pragma once

#include <random>
#include <vector>

namespace testsupport {

// Uniform white noise in [-amplitude, amplitude), reproducible from its seed.
inline std::vector<float> whiteNoise(int samples, float amplitude, unsigned seed = 7) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  std::vector<float> v(samples);
  for (float& x : v)
    x = dist(rng);
  return v;
}

}  // namespace testsupport
