#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <complex>
#include <limits>
#include <map>
#include <memory>
#include <numbers>
#include <thread>
#include <tuple>
#include <vector>

#include "support/allocation_counter.h"
#include "support/signals.h"

namespace racktest {

constexpr int kRate = 44100;

// Runs `in` through a stage with process(out, in, frames) in calls of `block` frames.
template <class Stage>
std::vector<float> run(Stage& stage, const std::vector<float>& in, int block = 64) {
  std::vector<float> out(in.size());
  for (size_t i = 0; i < in.size(); i += block) {
    const int n = int(std::min<size_t>(block, in.size() - i));
    stage.process(out.data() + i, in.data() + i, n);
  }
  return out;
}

inline std::vector<float> impulse(int length) {
  std::vector<float> v(length, 0.0f);
  v[0] = 1.0f;
  return v;
}

inline std::vector<float> sine(double hz, int length) {
  std::vector<float> v(length);
  for (int i = 0; i < length; ++i)
    v[i] = static_cast<float>(0.5 * std::sin(2.0 * std::numbers::pi * hz * i / kRate));
  return v;
}

inline double rms(const std::vector<float>& v, size_t from = 0) {
  double sum = 0;
  for (size_t i = from; i < v.size(); ++i)
    sum += double(v[i]) * v[i];
  return std::sqrt(sum / double(v.size() - from));
}

inline float peak(const std::vector<float>& v, size_t from = 0) {
  float p = 0;
  for (size_t i = from; i < v.size(); ++i)
    p = std::max(p, std::fabs(v[i]));
  return p;
}

inline double db(std::complex<double> h) {
  return 20.0 * std::log10(std::abs(h));
}

}  // namespace racktest
