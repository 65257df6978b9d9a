#pragma once

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

// What the rack and plug-in benchmarks share: their input and their per-sample counter.
namespace benchsignals {

constexpr int kRate = 44100;

// A second of plucked-string-like input, looped.
inline const std::vector<float>& guitar() {
  static const std::vector<float> signal = [] {
    std::vector<float> v(kRate);
    for (int i = 0; i < kRate; ++i) {
      const double t = double(i % (kRate / 4)) / kRate;
      double x = 0;
      for (int h = 1; h <= 6; ++h)
        x += std::exp(-t * 3 * h) / h * std::sin(6.2832 * 110 * h * t);
      v[i] = float(0.4 * x);
    }
    return v;
  }();
  return signal;
}

inline void perFrame(benchmark::State& state, int framesPerIteration) {
  state.counters["per_sample"] =
      benchmark::Counter(double(state.iterations()) * framesPerIteration,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

}  // namespace benchsignals
