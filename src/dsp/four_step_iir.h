#pragma once

#include <cstring>

namespace dsp {

// A recursive filter of order 1 or 2 run four samples per step. Each of the four outputs is
// written directly in the filter's state before the step and the step's four inputs, so one
// step waits on the previous one through a single multiply-add instead of four chained ones,
// and the four outputs are computed side by side in one vector. Same filter as the difference
// equation y = b0 x + b1 x1 (+ b2 x2) - a1 y1 (- a2 y2), up to float rounding.
template <int kOrder>
class FourStepIir {
 public:
  static_assert(kOrder == 1 || kOrder == 2);
  using Vec = float __attribute__((vector_size(16)));

  // b has kOrder + 1 entries, a has kOrder (a1, a2). Derived in double, stored as float.
  void design(const float* b, const float* a) {
    // An input at step position j adds the impulse response shifted by j.
    const Vec impulse = respond(b, a, {1, 0, 0, 0}, {}, {});
    for (int j = 0; j < 4; ++j) {
      for (int k = 0; k < 4; ++k)
        inputs_[j][k] = k >= j ? impulse[k - j] : 0.0f;
    }
    for (int m = 0; m < kOrder; ++m) {
      double past[kOrder] = {};
      past[m] = 1.0;
      pastInputs_[m] = respond(b, a, {}, past, {});
      pastOutputs_[m] = respond(b, a, {}, {}, past);
    }
  }

  // The last inputs and outputs, each spread over all four lanes: x1/y1 the latest, x2/y2
  // the ones before (order 2 only).
  struct Lanes {
    Vec x1, x2, y1, y2;
  };

  static Lanes load(const float* x, const float* y) {
    Lanes s{};
    s.x1 = Vec{} + x[0];
    s.y1 = Vec{} + y[0];
    if constexpr (kOrder == 2) {
      s.x2 = Vec{} + x[1];
      s.y2 = Vec{} + y[1];
    }
    return s;
  }

  static void store(const Lanes& s, float* x, float* y) {
    x[0] = s.x1[0];
    y[0] = s.y1[0];
    if constexpr (kOrder == 2) {
      x[1] = s.x2[0];
      y[1] = s.y2[0];
    }
  }

  // Four outputs from four inputs.
  Vec step(Vec v, Lanes& s) const {
    const Vec v0 = spread<0>(v), v1 = spread<1>(v), v2 = spread<2>(v), v3 = spread<3>(v);
    Vec sum = (inputs_[0] * v0 + inputs_[1] * v1) + (inputs_[2] * v2 + inputs_[3] * v3);
    if constexpr (kOrder == 2) {
      sum += (pastInputs_[0] * s.x1 + pastInputs_[1] * s.x2) + pastOutputs_[1] * s.y2;
      s.x2 = v2;
    } else {
      sum += pastInputs_[0] * s.x1;
    }
    // Last, so everything else is ready when the previous step's output arrives.
    const Vec result = sum + pastOutputs_[0] * s.y1;
    s.x1 = v3;
    s.y1 = spread<3>(result);
    if constexpr (kOrder == 2) s.y2 = spread<2>(result);
    return result;
  }

  // x and y hold the last inputs and outputs as scalars, latest first. Runs whole steps of
  // four and returns how many frames it took; the caller finishes the rest sample by sample.
  int run(float* out, const float* in, int frames, float* x, float* y) const {
    Lanes s = load(x, y);
    int i = 0;
    for (; i + 4 <= frames; i += 4)
      storeVec(out + i, step(loadVec(in + i), s));
    store(s, x, y);
    return i;
  }

  static Vec loadVec(const float* p) {
    Vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
  }

  static void storeVec(float* p, Vec v) { std::memcpy(p, &v, sizeof v); }

 private:
  template <int kLane>
  static Vec spread(Vec v) {
    return __builtin_shufflevector(v, v, kLane, kLane, kLane, kLane);
  }

  // Four outputs of the difference equation from the given inputs and past values.
  static Vec respond(const float* b, const float* a, const double (&x)[4],
                     const double (&pastX)[kOrder], const double (&pastY)[kOrder]) {
    double xs[4 + kOrder], ys[4 + kOrder];
    for (int m = 0; m < kOrder; ++m) {
      xs[kOrder - 1 - m] = pastX[m];
      ys[kOrder - 1 - m] = pastY[m];
    }
    Vec result;
    for (int k = 0; k < 4; ++k) {
      const int n = k + kOrder;
      xs[n] = x[k];
      double v = 0.0;
      for (int t = 0; t <= kOrder; ++t)
        v += double(b[t]) * xs[n - t];
      for (int t = 1; t <= kOrder; ++t)
        v -= double(a[t - 1]) * ys[n - t];
      ys[n] = v;
      result[k] = static_cast<float>(v);
    }
    return result;
  }

  Vec inputs_[4] = {};
  Vec pastInputs_[kOrder] = {};
  Vec pastOutputs_[kOrder] = {};
};

}  // namespace dsp
