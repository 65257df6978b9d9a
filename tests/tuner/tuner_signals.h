#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <numbers>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "support/allocation_counter.h"
#include "tuner/chromatic_tuner.h"
#include "tuner/tuner_reading.h"

namespace tunertest {

constexpr int kRate = 44100, kBlock = 64;
constexpr double kPi = std::numbers::pi;

inline std::vector<float> sine(double hz, int samples) {
  std::vector<float> v(samples);
  for (int i = 0; i < samples; ++i)
    v[i] = 0.5f * static_cast<float>(std::sin(2.0 * kPi * hz * i / kRate));
  return v;
}

inline void addNoise(std::vector<float>& v, float amplitude, unsigned seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<float> dist(-amplitude, amplitude);
  for (float& x : v)
    x += dist(rng);
}

// A plucked string through a magnetic pickup: harmonics to 5 kHz, higher ones and higher strings
// decaying faster, peak 0.3. `at` and `pickup` are fractions of the string from the bridge.
inline std::vector<float> pluck(double hz, double seconds, double at, double pickup,
                                unsigned seed) {
  const int samples = static_cast<int>(seconds * kRate);
  const double tau = 2.0 * std::pow(82.41 / hz, 0.3);
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> phase(0.0, 2.0 * kPi);
  std::vector<double> sum(samples, 0.0);
  for (int k = 1; k <= 24 && k * hz < 5000.0; ++k) {
    const double level = std::fabs(std::sin(k * kPi * at) * std::sin(k * kPi * pickup));
    const std::complex<double> turn =
        std::polar(std::exp(-(0.7 + 0.3 * k) / (tau * kRate)), 2.0 * kPi * k * hz / kRate);
    std::complex<double> z = std::polar(level / k, phase(rng));
    for (int i = 0; i < samples; ++i, z *= turn)
      sum[i] += z.imag();
  }
  double peak = 1e-30;
  for (double x : sum)
    peak = std::max(peak, std::fabs(x));
  std::vector<float> v(samples);
  for (int i = 0; i < samples; ++i)  // 1 ms attack
    v[i] = static_cast<float>(0.3 * sum[i] / peak * std::min(1.0, i * 1000.0 / kRate));
  return v;
}

// A tuner fed as the rack feeds it (64-sample blocks, a reading after each), counting allocations.
struct TunerRig {
  struct Entry {
    double seconds;  // at the end of the block
    pseudoutils::TunerReading reading;
    bool pitched() const { return reading.valid && !reading.noPitch; }
  };

  TunerRig() = default;
  explicit TunerRig(const std::vector<float>& signal) { feed(signal); }

  void feed(const std::vector<float>& signal) {
    for (size_t pos = 0; pos + kBlock <= signal.size(); pos += kBlock) {
      bool found = false, voiced = false;
      float hz = 0.0f;
      int note = 0, cents = 0;
      testsupport::AllocationCounter counter;
      tuner->analyze(signal.data() + pos, kBlock, &found, &voiced, &hz, &note, &cents);
      reading = pseudoutils::nextReading(reading, found, voiced, note, cents);
      allocations += counter.count();
      log.push_back({double(log.size() + 1) * kBlock / kRate, reading});
    }
  }

  pseudoutils::Owned<pseudoutils::IChromaticTuner> tuner = pseudoutils::createChromaticTuner(kRate);
  pseudoutils::TunerReading reading;
  std::vector<Entry> log;
  size_t allocations = 0;
};

}  // namespace tunertest
