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

  // x1/y1 are the last input/output, x2/y2 the ones before (order 2 only). Runs whole steps
  // of four and returns how many frames it took; the caller finishes the rest sample by sample.
  int run(float* out, const float* in, int frames, float* x, float* y) const {
    float x1 = x[0], y1 = y[0];
    float x2 = kOrder == 2 ? x[1] : 0.0f, y2 = kOrder == 2 ? y[1] : 0.0f;
    int i = 0;
    for (; i + 4 <= frames; i += 4) {
      // Scalar loads broadcast straight into vectors; taking lanes out of one vector load
      // compiles to a detour through the integer registers.
      const float v0 = in[i], v1 = in[i + 1], v2 = in[i + 2], v3 = in[i + 3];
      Vec sum = (inputs_[0] * v0 + inputs_[1] * v1) + (inputs_[2] * v2 + inputs_[3] * v3);
      if constexpr (kOrder == 2) {
        sum += (pastInputs_[0] * x1 + pastInputs_[1] * x2) + pastOutputs_[1] * y2;
        x2 = v2;
      } else {
        sum += pastInputs_[0] * x1;
      }
      // Last, so everything else is ready when the previous step's output arrives.
      const Vec result = sum + pastOutputs_[0] * y1;
      std::memcpy(out + i, &result, sizeof result);
      x1 = v3;
      y1 = result[3];
      if constexpr (kOrder == 2) y2 = result[2];
    }
    x[0] = x1;
    y[0] = y1;
    if constexpr (kOrder == 2) {
      x[1] = x2;
      y[1] = y2;
    }
    return i;
  }

 private:
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
