#pragma once

#include <cmath>
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

namespace testsupport {

// A plucked string: harmonics of `hz` with falling amplitudes that decay faster the higher
// they are, peaking near `peak`. Deterministic.
inline std::vector<float> pluckedNote(double hz, double seconds, float peak,
                                      int sampleRate = 44100) {
  const int n = static_cast<int>(seconds * sampleRate);
  std::vector<float> v(n);
  const double twoPi = 6.283185307179586;
  for (int i = 0; i < n; ++i) {
    const double t = double(i) / sampleRate;
    double x = 0;
    for (int h = 1; h <= 8 && h * hz < sampleRate / 2.0; ++h) {
      x += std::exp(-t * (1.5 + 0.8 * h)) / h * std::sin(twoPi * h * hz * t + 0.3 * h);
    }
    v[i] = static_cast<float>(x * peak / 1.6);
  }
  return v;
}

}  // namespace testsupport
