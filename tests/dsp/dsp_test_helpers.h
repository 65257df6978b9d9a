#pragma once

// Shared by every DSP suite: the framework, standard headers, effect probes and signal helpers.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <numeric>
#include <string>
#include <tuple>

#include "support/effect_probe.h"
#include "support/signals.h"

namespace dsptest {

constexpr int kRate = 44100;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// An effect of type Fx with its settings arrived and its audio state cleared.
template <class Fx>
std::unique_ptr<Fx> makeEffect(std::initializer_list<std::pair<int, int>> settings,
                               int channels = 1) {
  auto fx = std::make_unique<Fx>(nullptr, 0);
  fx->setFormat(channels, kRate);
  testsupport::settleWith(*fx, settings);
  return fx;
}

inline std::vector<float> sine(int frames, double hz, float amplitude) {
  std::vector<float> v(frames);
  for (int i = 0; i < frames; ++i)
    v[i] = amplitude * static_cast<float>(std::sin(kTwoPi * hz * i / kRate));
  return v;
}

// Amplitude of a whole number of Hz over the signal's last second, where it is an exact bin.
inline double amplitudeAt(const std::vector<float>& x, double hz) {
  const std::vector<float> last(x.end() - kRate, x.end());
  return 2.0 * std::abs(testsupport::dtft(last, hz)) / kRate;
}

// The digital frequency (Hz) onto which the bilinear transform, unwarped, maps w (rad/s).
inline double mappedHz(double w, int rate = kRate) {
  return std::atan(w / (2.0 * rate)) * rate / std::numbers::pi;
}

inline double dB(double ratio) {
  return 20.0 * std::log10(ratio);
}

inline float maxDifference(const std::vector<float>& a, const std::vector<float>& b) {
  float worst = 0.0f;
  for (size_t i = 0; i < a.size(); ++i)
    worst = std::max(worst, std::fabs(a[i] - b[i]));
  return worst;
}

inline double rms(const std::vector<float>& x) {
  double sum = 0;
  for (float v : x)
    sum += double(v) * v;
  return std::sqrt(sum / double(x.size()));
}

}  // namespace dsptest
